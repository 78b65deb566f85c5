// The clock that stamps the records written to a log (seconds since 1970, UTC). Tests put in
// their own to write records that share their seconds.
#pragma once

#include <cstdint>
#include <functional>

namespace tamsel::platform::eventlog {

std::uint32_t EventClockNow();

class ScopedEventClock {
 public:
  explicit ScopedEventClock(std::function<std::uint32_t()> clock);
  ~ScopedEventClock();
  ScopedEventClock(const ScopedEventClock&) = delete;
  ScopedEventClock& operator=(const ScopedEventClock&) = delete;

 private:
  std::function<std::uint32_t()> saved_;
};

}  // namespace tamsel::platform::eventlog
