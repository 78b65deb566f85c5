// The sender's clock: what "now" is when schedules are checked and mails are dated. The
// service reads the system clock; TAMSEL_ALERTS_CLOCK names a file holding a local time
// ("YYYY-MM-DD HH:MM:SS"), read at every call, so tests can move time while the service runs.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::alerting {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t Now() const = 0;
};

class SystemClock : public Clock {
 public:
  std::time_t Now() const override { return std::time(nullptr); }
};

// A clock that reads its time from a file; the system clock while the file is missing or
// does not hold a time.
class FileClock : public Clock {
 public:
  explicit FileClock(std::string path) : path_(std::move(path)) {}
  std::time_t Now() const override;

 private:
  std::string path_;
};

// FileClock when TAMSEL_ALERTS_CLOCK is set, else SystemClock.
std::unique_ptr<Clock> ClockFromEnvironment();

// "YYYY-MM-DD HH:MM:SS" in local time, the form the database stores dates in, and back.
std::string FormatLocalTime(std::time_t time);
std::optional<std::time_t> ParseLocalTime(std::string_view text);

}  // namespace tamsel::alerting
