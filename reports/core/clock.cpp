// The replaceable local clock.
#include "reports/core/clock.h"

#include <mutex>

#include "platform/network/regional.h"

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
  std::tm time = platform::network::BrokenDownTime(year, month, day, hour, minute, second);
  std::mktime(&time);  // normalised in the local zone: daylight saving and offset
  return time;
}

}  // namespace tamsel::reports
