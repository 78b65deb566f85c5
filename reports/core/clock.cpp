// The replaceable local clock.
#include "reports/core/clock.h"

#include <mutex>

namespace tamsel::reports {

namespace {

std::mutex clockMutex;
std::function<std::tm()> replacement;

}  // namespace

std::tm LocalNow() {
  {
    std::lock_guard lock(clockMutex);
    if (replacement) return replacement();
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

ScopedClockForTesting::ScopedClockForTesting(std::function<std::tm()> clock) {
  std::lock_guard lock(clockMutex);
  saved_ = std::move(replacement);
  replacement = std::move(clock);
}

ScopedClockForTesting::~ScopedClockForTesting() {
  std::lock_guard lock(clockMutex);
  replacement = std::move(saved_);
}

std::tm MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time.tm_isdst = -1;
  std::tm normalised = time;
  std::mktime(&normalised);  // fills the weekday and day of the year
  return normalised;
}

}  // namespace tamsel::reports
