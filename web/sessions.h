// Signed-in sessions: a random 256-bit token (the cookie), the user and role from the login,
// a CSRF token for the forms, the apartment thread that owns the session's component objects,
// and the idle timeout after which a session is gone.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "web/apartment.h"

namespace tamsel::web {

using Clock = std::function<std::chrono::steady_clock::time_point()>;

// 32 random bytes as 64 lower-case hex digits (libsodium's generator).
std::string RandomToken();

// Compares two secrets in time independent of where they differ.
bool SameSecret(const std::string& a, const std::string& b);

inline constexpr std::int32_t kAdministratorRole = 1;

struct Session {
  std::string token;
  std::string csrf;
  std::int32_t userId = 0;
  std::int32_t roleId = 0;
  std::string userName;
  std::chrono::steady_clock::time_point lastSeen;
  Apartment apartment;

  // A message for the next page after a change ("Server added."), shown once.
  void SetNotice(std::string text, bool error);
  std::pair<std::string, bool> TakeNotice();

  bool IsAdministrator() const { return roleId == kAdministratorRole; }

  // Answers that change rarely (the navigation tree, the lookup lists) kept for `maxAge`, so a
  // page view does not ask for them every time; a change made in this session clears them.
  std::optional<std::string> Cached(const std::string& key, std::chrono::seconds maxAge,
                                    std::chrono::steady_clock::time_point now);
  void Cache(const std::string& key, std::string value, std::chrono::steady_clock::time_point now);
  void ClearCache();

 private:
  std::mutex cacheMutex_;
  std::map<std::string, std::pair<std::chrono::steady_clock::time_point, std::string>> cache_;
  std::mutex noticeMutex_;
  std::string notice_;
  bool noticeIsError_ = false;
};

class SessionStore {
 public:
  explicit SessionStore(std::chrono::seconds idleTimeout, Clock clock = {});

  std::shared_ptr<Session> Create(std::int32_t userId, std::int32_t roleId,
                                  const std::string& userName);
  // The live session of `token`, its idle time restarted; nothing for an unknown or idle one.
  std::shared_ptr<Session> Find(const std::string& token);
  void Remove(const std::string& token);
  std::size_t Count();

 private:
  void DropIdle(std::chrono::steady_clock::time_point now);

  std::chrono::seconds idleTimeout_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Session>> sessions_;
};

// Repeated failed sign-ins: after `limit` failures of one name, or 4 × `limit` from one
// address, within the window, further attempts are refused until the window has passed.
class LoginThrottle {
 public:
  LoginThrottle(int limit, std::chrono::seconds window, Clock clock = {});

  bool Allowed(const std::string& address, const std::string& userName);
  void Failed(const std::string& address, const std::string& userName);
  void Succeeded(const std::string& userName);

 private:
  struct Count {
    int failures = 0;
    std::chrono::steady_clock::time_point first;
  };
  bool Blocked(const std::string& key, int limit, std::chrono::steady_clock::time_point now);
  void Add(const std::string& key, std::chrono::steady_clock::time_point now);

  int limit_;
  std::chrono::seconds window_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Count> counts_;
};

}  // namespace tamsel::web
