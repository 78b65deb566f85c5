// The record clock of the event log service.
#include "platform/eventlog/event_clock.h"

#include <ctime>

namespace tamsel::platform::eventlog {

namespace {

std::function<std::uint32_t()>& Clock() {
  static std::function<std::uint32_t()> clock = [] {
    return static_cast<std::uint32_t>(std::time(nullptr));
  };
  return clock;
}

}  // namespace

std::uint32_t EventClockNow() { return Clock()(); }

ScopedEventClock::ScopedEventClock(std::function<std::uint32_t()> clock)
    : saved_(std::move(Clock())) {
  Clock() = std::move(clock);
}

ScopedEventClock::~ScopedEventClock() { Clock() = std::move(saved_); }

}  // namespace tamsel::platform::eventlog
