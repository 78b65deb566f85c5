// The system clock, the file clock of tests, and local time texts.
#include "alerting/alert_clock.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tamsel::alerting {

std::time_t FileClock::Now() const {
  std::ifstream file(path_);
  std::string text;
  std::getline(file, text);
  std::optional<std::time_t> time = ParseLocalTime(text);
  return time ? *time : std::time(nullptr);
}

std::unique_ptr<Clock> ClockFromEnvironment() {
  const char* path = std::getenv("TAMSEL_ALERTS_CLOCK");
  if (path != nullptr && *path != '\0') return std::make_unique<FileClock>(path);
  return std::make_unique<SystemClock>();
}

std::string FormatLocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::optional<std::time_t> ParseLocalTime(std::string_view text) {
  std::tm local{};
  char rest = 0;
  std::string copy(text);
  int read = std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &local.tm_year, &local.tm_mon,
                         &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &rest);
  if (read != 6 || local.tm_mon < 1 || local.tm_mon > 12 || local.tm_mday < 1 ||
      local.tm_mday > 31 || local.tm_hour > 23 || local.tm_min > 59 || local.tm_sec > 60) {
    return std::nullopt;
  }
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  std::time_t time = std::mktime(&local);
  if (time == static_cast<std::time_t>(-1)) return std::nullopt;
  return time;
}

}  // namespace tamsel::alerting
