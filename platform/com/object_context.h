// The COM+ object context of a call: whether it runs in a transaction, and the votes that
// decide the transaction's fate. A root call (one made from outside the component) creates
// the context; calls made through the public interface while it runs join it.
#pragma once

#include <functional>
#include <memory>

#include "platform/com/com_error.h"

namespace tamsel::platform::com {

// The resource a transactional context commits or aborts at the end of its root call. The
// component supplies it (its data layer's transaction), so this runtime knows nothing of
// databases.
class TransactionResource {
 public:
  virtual ~TransactionResource() = default;
  virtual void Commit() = 0;  // may raise ComError
  virtual void Abort() noexcept = 0;
};
using TransactionFactory = std::function<std::unique_ptr<TransactionResource>()>;

// Installs what a transactional root call begins; without one, a transaction has no resource.
void SetTransactionFactory(TransactionFactory factory);

class ObjectContext {
 public:
  bool IsInTransaction() const { return inTransaction_; }
  // The caller's vote: done and consistent.
  void SetComplete();
  // The caller's vote: done and inconsistent; dooms the transaction whoever casts it.
  void SetAbort();

  // Outcome so far: the root's own vote, and whether anyone voted abort.
  bool RootVotedComplete() const { return rootVotedComplete_; }
  bool Doomed() const { return doomed_; }
  int Depth() const { return depth_; }

 private:
  friend class ContextCall;
  explicit ObjectContext(bool inTransaction) : inTransaction_(inTransaction) {}

  bool inTransaction_;
  bool rootVotedComplete_ = false;
  bool doomed_ = false;
  int depth_ = 0;  // calls of this context under way; 1 while only the root runs
  std::unique_ptr<TransactionResource> resource_;
};

// GetObjectContext: the context of the call running on this thread, or nullptr (Nothing)
// outside any call.
ObjectContext* GetObjectContext();

// The runtime's side of one call through the public interface. The first on a thread creates
// the context (in a transaction when `transactional`, i.e. the component is installed in
// COM+ with transactions required) and begins the transaction resource; nested ones join it.
// The root's End() commits when the root voted complete and no one voted abort, and aborts
// otherwise; a failed commit raises CONTEXT_E_ABORTED.
class ContextCall {
 public:
  explicit ContextCall(bool transactional);
  ~ContextCall();  // aborts a root that did not reach End()
  ContextCall(const ContextCall&) = delete;
  ContextCall& operator=(const ContextCall&) = delete;

  bool IsRoot() const { return root_ != nullptr; }
  void End();

 private:
  std::unique_ptr<ObjectContext> root_;  // owned by the root call
  bool ended_ = false;
};

}  // namespace tamsel::platform::com
