// Pooling of physical connections per database file, as the OLE DB provider pools them:
// closing a Connection returns its session here, the next open of the same file takes it.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/data/session.h"

namespace tamsel::platform::data {

// A pooled session: the deleter rolls back anything left open and gives it back.
using SessionHandle = std::shared_ptr<Session>;

class SessionPool {
 public:
  static SessionPool& Instance();

  // A session on an existing database file; raises the provider's error when it cannot be
  // opened.
  SessionHandle Acquire(const std::filesystem::path& file);
  // A session on a server database, pooled by the login's key.
  SessionHandle Acquire(const ServerLogin& login);

  // Drops every idle session (tests, and `tamsel db` before it replaces a file).
  void Clear();

 private:
  SessionPool() = default;
  SessionHandle Handle(std::unique_ptr<Session> session);
  std::unique_ptr<Session> TakeIdle(const std::filesystem::path& key);
  void Release(Session* session);
};

}  // namespace tamsel::platform::data
