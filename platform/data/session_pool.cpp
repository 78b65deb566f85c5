// The process-wide pool of idle sessions, keyed by database file.
#include "platform/data/session_pool.h"

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

SessionHandle SessionPool::Acquire(const std::filesystem::path& file) {
  std::unique_ptr<Session> session;
  {
    std::lock_guard lock(PoolMutex());
    auto& idle = Idle()[file];
    if (!idle.empty()) {
      session = std::move(idle.back());
      idle.pop_back();
    }
  }
  // A pooled file that was deleted since (a test, `tamsel db` replacing it) must not be
  // served from memory: the open of a missing database fails.
  std::error_code error;
  if (session && !std::filesystem::exists(file, error)) session.reset();
  if (!session) session = Session::Open(file);
  return SessionHandle(session.release(), [this](Session* s) { Release(s); });
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
