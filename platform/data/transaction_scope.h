// The transaction of one component call: while a scope is active on a thread, every
// connection that thread opens (nested calls included) joins its one transaction, which
// the scope commits or rolls back as a whole.
//
//   TransactionScope scope;          // the call's transaction begins
//   ... open connections, run procedures ...
//   scope.Commit();                  // or let it go out of scope: everything rolls back
//
// A scope created while another is active on the thread is nested: it joins the outer one,
// its Commit() only agrees, and ending it without Commit() (or calling Abort()) dooms the
// outer transaction, which then rolls back at its Commit().
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/data/session_pool.h"

namespace tamsel::platform::data {

class TransactionScope {
 public:
  TransactionScope();
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

  // The active scope of the calling thread, or nullptr (autocommit).
  static TransactionScope* Current();

  // Commits everything done in the scope; returns false (and rolls back) when the scope was
  // doomed by Abort() or a nested scope. A nested scope only records its agreement.
  bool Commit();
  // Rolls back now (the root) or dooms the root (a nested scope).
  void Abort();
  bool IsDoomed() const;
  bool IsNested() const { return outer_ != nullptr; }

  // The session of `file` in this transaction: the one already enlisted, else a pooled one on
  // which the transaction begins at its first write. Used by Connection::Open.
  SessionHandle Enlist(const std::filesystem::path& file);
  // The same for a server database, keyed by its login.
  SessionHandle Enlist(const ServerLogin& login);

 private:
  void Finish(bool commit);

  struct Enlisted {
    std::filesystem::path file;
    SessionHandle session;
  };
  TransactionScope* outer_;
  std::vector<Enlisted> sessions_;
  bool doomed_ = false;
  bool finished_ = false;
};

}  // namespace tamsel::platform::data
