// Sessions and the login throttle.
#include "web/sessions.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>

namespace tamsel::web {

namespace {

Clock OrSteady(Clock clock) {
  if (clock) return clock;
  return [] { return std::chrono::steady_clock::now(); };
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string RandomToken() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool SameSecret(const std::string& a, const std::string& b) {
  return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

void Session::SetNotice(std::string text, bool error) {
  std::lock_guard lock(noticeMutex_);
  notice_ = std::move(text);
  noticeIsError_ = error;
}

std::pair<std::string, bool> Session::TakeNotice() {
  std::lock_guard lock(noticeMutex_);
  return {std::exchange(notice_, {}), noticeIsError_};
}

std::optional<std::string> Session::Cached(const std::string& key, std::chrono::seconds maxAge,
                                           std::chrono::steady_clock::time_point now) {
  std::lock_guard lock(cacheMutex_);
  auto it = cache_.find(key);
  if (it == cache_.end() || now - it->second.first > maxAge) return std::nullopt;
  return it->second.second;
}

void Session::Cache(const std::string& key, std::string value,
                    std::chrono::steady_clock::time_point now) {
  std::lock_guard lock(cacheMutex_);
  cache_[key] = {now, std::move(value)};
}

void Session::ClearCache() {
  std::lock_guard lock(cacheMutex_);
  cache_.clear();
}

SessionStore::SessionStore(std::chrono::seconds idleTimeout, Clock clock)
    : idleTimeout_(idleTimeout), clock_(OrSteady(std::move(clock))) {}

std::shared_ptr<Session> SessionStore::Create(std::int32_t userId, std::int32_t roleId,
                                              const std::string& userName) {
  auto session = std::make_shared<Session>();
  session->token = RandomToken();
  session->csrf = RandomToken();
  session->userId = userId;
  session->roleId = roleId;
  session->userName = userName;
  const auto now = clock_();
  session->lastSeen = now;
  std::lock_guard lock(mutex_);
  DropIdle(now);
  sessions_[session->token] = session;
  return session;
}

std::shared_ptr<Session> SessionStore::Find(const std::string& token) {
  const auto now = clock_();
  std::shared_ptr<Session> dropped;  // an idle session's apartment stops outside the lock
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return nullptr;
  if (now - it->second->lastSeen > idleTimeout_) {
    dropped = std::move(it->second);
    sessions_.erase(it);
    return nullptr;
  }
  it->second->lastSeen = now;
  return it->second;
}

void SessionStore::Remove(const std::string& token) {
  std::shared_ptr<Session> dropped;
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return;
  dropped = std::move(it->second);
  sessions_.erase(it);
}

std::size_t SessionStore::Count() {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

void SessionStore::DropIdle(std::chrono::steady_clock::time_point now) {
  std::erase_if(sessions_,
                [&](const auto& entry) { return now - entry.second->lastSeen > idleTimeout_; });
}

LoginThrottle::LoginThrottle(int limit, std::chrono::seconds window, Clock clock)
    : limit_(limit), window_(window), clock_(OrSteady(std::move(clock))) {}

bool LoginThrottle::Blocked(const std::string& key, int limit,
                            std::chrono::steady_clock::time_point now) {
  auto it = counts_.find(key);
  if (it == counts_.end()) return false;
  if (now - it->second.first > window_) {
    counts_.erase(it);
    return false;
  }
  return it->second.failures >= limit;
}

void LoginThrottle::Add(const std::string& key, std::chrono::steady_clock::time_point now) {
  Count& count = counts_[key];
  if (count.failures == 0 || now - count.first > window_) count = Count{0, now};
  ++count.failures;
}

bool LoginThrottle::Allowed(const std::string& address, const std::string& userName) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  return !Blocked("user:" + Lower(userName), limit_, now) &&
         !Blocked("addr:" + address, 4 * limit_, now);
}

void LoginThrottle::Failed(const std::string& address, const std::string& userName) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  Add("user:" + Lower(userName), now);
  Add("addr:" + address, now);
}

void LoginThrottle::Succeeded(const std::string& userName) {
  std::lock_guard lock(mutex_);
  counts_.erase("user:" + Lower(userName));
}

}  // namespace tamsel::web
