// The process-wide pool of idle sessions, keyed by database file.
#include "platform/data/session_pool.h"

#include <libpq-fe.h>

#include <map>
#include <mutex>
#include <vector>

namespace tamsel::platform::data {
namespace {

constexpr size_t kIdlePerFile = 8;

std::mutex& PoolMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::filesystem::path, std::vector<std::unique_ptr<Session>>>& Idle() {
  static auto* idle = new std::map<std::filesystem::path, std::vector<std::unique_ptr<Session>>>;
  return *idle;
}

}  // namespace

SessionPool& SessionPool::Instance() {
  static SessionPool pool;
  return pool;
}

std::unique_ptr<Session> SessionPool::TakeIdle(const std::filesystem::path& key) {
  std::lock_guard lock(PoolMutex());
  auto& idle = Idle()[key];
  if (idle.empty()) return nullptr;
  std::unique_ptr<Session> session = std::move(idle.back());
  idle.pop_back();
  return session;
}

SessionHandle SessionPool::Handle(std::unique_ptr<Session> session) {
  return SessionHandle(session.release(), [this](Session* s) { Release(s); });
}

SessionHandle SessionPool::Acquire(const std::filesystem::path& file) {
  std::unique_ptr<Session> session = TakeIdle(file);
  // A pooled file that was deleted since (a test, `tamsel db` replacing it) must not be
  // served from memory: the open of a missing database fails.
  std::error_code error;
  if (session && !std::filesystem::exists(file, error)) session.reset();
  if (!session) session = Session::Open(file);
  return Handle(std::move(session));
}

SessionHandle SessionPool::Acquire(const ServerLogin& login) {
  std::unique_ptr<Session> session = TakeIdle(login.Key());
  // A pooled connection the server dropped meanwhile is not served again.
  if (session && PQstatus(session->Server()->Handle()) != CONNECTION_OK) session.reset();
  if (!session) session = Session::OpenServer(login);
  return Handle(std::move(session));
}

void SessionPool::Release(Session* raw) {
  std::unique_ptr<Session> session(raw);
  session->StopAwaitingWrite();
  if (session->InTransaction()) {
    try {
      session->Execute("ROLLBACK");
    } catch (...) {
      return;  // a session that cannot roll back is not reused
    }
  }
  std::lock_guard lock(PoolMutex());
  auto& idle = Idle()[session->File()];
  if (idle.size() < kIdlePerFile) idle.push_back(std::move(session));
}

void SessionPool::Clear() {
  std::lock_guard lock(PoolMutex());
  Idle().clear();
}

}  // namespace tamsel::platform::data
