// The component's local clock. Tests replace it for a scope to put calls at chosen moments
// (the last second of a year, say); nothing else may.
#pragma once

#include <ctime>
#include <functional>

namespace tamsel::reports {

// The local date and time now, broken down.
std::tm LocalNow();

class ScopedClockForTesting {
 public:
  explicit ScopedClockForTesting(std::function<std::tm()> clock);
  ~ScopedClockForTesting();
  ScopedClockForTesting(const ScopedClockForTesting&) = delete;
  ScopedClockForTesting& operator=(const ScopedClockForTesting&) = delete;

 private:
  std::function<std::tm()> saved_;
};

// A broken-down time from its fields (for tests and callers that build moments).
std::tm MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace tamsel::reports
