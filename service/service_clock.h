// The sleep of the service's work loop. The shipped program sleeps for real; tests put in a
// clock of their own so a five-second tick costs them nothing.
#pragma once

#include <cstdint>
#include <functional>

namespace tamsel::service {

// Sleep(milliseconds) through the current sleeper.
void Sleep(std::uint32_t milliseconds);

// Replaces the sleeper for a scope.
class ScopedSleeper {
 public:
  explicit ScopedSleeper(std::function<void(std::uint32_t)> sleeper);
  ~ScopedSleeper();
  ScopedSleeper(const ScopedSleeper&) = delete;
  ScopedSleeper& operator=(const ScopedSleeper&) = delete;

 private:
  std::function<void(std::uint32_t)> saved_;
};

}  // namespace tamsel::service
