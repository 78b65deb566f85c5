// Regional date and time formats in Windows' picture syntax ("M/d/yyyy", "h:mm:ss tt"):
// formatting and parsing. The patterns come from the machine's International settings
// (see platform/registry/regional_settings.h); en-US when absent.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::network {

struct RegionalFormats {
  std::string shortDate = "M/d/yyyy";
  std::string timeFormat = "h:mm:ss tt";
  std::string am = "AM";
  std::string pm = "PM";
};

// A broken-down time from its fields, with the days of the week and of the year filled in by
// the calendar alone (no time zone; tm_isdst -1, "not known").
std::tm BrokenDownTime(int year, int month, int day, int hour, int minute, int second);

// Broken-down local time, as from localtime_r.
std::string FormatDate(const std::tm& time, std::string_view picture,
                       const RegionalFormats& formats);
std::string FormatTime(const std::tm& time, std::string_view picture,
                       const RegionalFormats& formats);
// Short date, a blank, long time.
std::string FormatDateTime(const std::tm& time, const RegionalFormats& formats);

// Parses a date, optionally followed by a time, in the short date order of the formats (the
// separators are not required to match; AM/PM honoured; ISO "yyyy-mm-dd[ hh:mm:ss]" is
// accepted too). Returns nothing for text that is not a valid date.
std::optional<std::tm> ParseDateTime(std::string_view text, const RegionalFormats& formats);

}  // namespace tamsel::platform::network
