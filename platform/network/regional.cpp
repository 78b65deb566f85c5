// Windows date/time pictures: formatting, and parsing of date text in the short-date order.
#include "platform/network/regional.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/network/network.h"

namespace tamsel::platform::network {

namespace {

constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};
constexpr std::array<const char*, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

std::string Number(int value, size_t width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", static_cast<int>(width), value);
  return buffer;
}

// Expands one run of a picture letter (e.g. "MMM", "tt").
std::string Field(char letter, size_t count, const std::tm& time, const RegionalFormats& formats) {
  int hour12 = time.tm_hour % 12 == 0 ? 12 : time.tm_hour % 12;
  switch (letter) {
    case 'd':
      if (count >= 4) return kDays[time.tm_wday % 7];
      if (count == 3) return std::string(kDays[time.tm_wday % 7]).substr(0, 3);
      return Number(time.tm_mday, count);
    case 'M':
      if (count >= 4) return kMonths[time.tm_mon % 12];
      if (count == 3) return std::string(kMonths[time.tm_mon % 12]).substr(0, 3);
      return Number(time.tm_mon + 1, count);
    case 'y': {
      int year = time.tm_year + 1900;
      if (count <= 2) return Number(year % 100, count);
      return Number(year, 4);
    }
    case 'h':
      return Number(hour12, std::min<size_t>(count, 2));
    case 'H':
      return Number(time.tm_hour, std::min<size_t>(count, 2));
    case 'm':
      return Number(time.tm_min, std::min<size_t>(count, 2));
    case 's':
      return Number(time.tm_sec, std::min<size_t>(count, 2));
    case 't': {
      const std::string& marker = time.tm_hour < 12 ? formats.am : formats.pm;
      return count == 1 ? marker.substr(0, 1) : marker;
    }
    default:
      return std::string(count, letter);
  }
}

std::string Format(const std::tm& time, std::string_view picture, const RegionalFormats& formats) {
  std::string out;
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    if (c == '\'') {  // quoted literal
      size_t end = picture.find('\'', i + 1);
      if (end == std::string_view::npos) end = picture.size();
      out.append(picture.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (std::string_view("dMyhHmst").find(c) == std::string_view::npos) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    out += Field(c, run, time, formats);
    i += run;
  }
  return out;
}

bool ValidDate(int year, int month, int day) {
  static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDaysIn[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Order of day, month and year in the short-date picture, e.g. "Mdy".
std::string DateOrder(std::string_view picture) {
  std::string order;
  for (char c : picture) {
    if ((c == 'd' || c == 'M' || c == 'y') && order.find(c) == std::string::npos) order += c;
  }
  return order.size() == 3 ? order : "Mdy";
}

struct Tokens {
  std::vector<int> numbers;
  std::vector<std::string> words;
};

Tokens Tokenize(std::string_view text) {
  Tokens tokens;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    if (std::isdigit(c)) {
      int value = 0;
      size_t start = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) &&
             i - start < 9) {
        value = value * 10 + (text[i++] - '0');
      }
      tokens.numbers.push_back(value);
    } else if (std::isalpha(c)) {
      std::string word;
      while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
        word += text[i++];
      tokens.words.push_back(ToUpper(word));
    } else {
      ++i;
    }
  }
  return tokens;
}

}  // namespace

std::tm BrokenDownTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm result{};
  result.tm_year = year - 1900;
  result.tm_mon = month - 1;
  result.tm_mday = day;
  result.tm_hour = hour;
  result.tm_min = minute;
  result.tm_sec = second;
  result.tm_isdst = -1;
  std::tm copy = result;
  timegm(&copy);  // fills the days of the week and of the year
  result.tm_wday = copy.tm_wday;
  result.tm_yday = copy.tm_yday;
  return result;
}

std::string FormatDate(const std::tm& time, std::string_view picture,
                       const RegionalFormats& formats) {
  return Format(time, picture, formats);
}

std::string FormatTime(const std::tm& time, std::string_view picture,
                       const RegionalFormats& formats) {
  return Format(time, picture, formats);
}

std::string FormatDateTime(const std::tm& time, const RegionalFormats& formats) {
  return Format(time, formats.shortDate, formats) + " " + Format(time, formats.timeFormat, formats);
}

namespace {

// Removes the machine's own AM/PM designator ("p.m." has dots a tokenizer would split) and
// tells which one it was.
std::optional<bool> TakeDesignator(std::string& text, const RegionalFormats& formats) {
  std::string upper = ToUpper(text);
  for (bool pm : {true, false}) {
    const std::string& marker = pm ? formats.pm : formats.am;
    if (marker.empty()) continue;
    size_t at = upper.find(ToUpper(marker));
    if (at == std::string::npos) continue;
    text.erase(at, marker.size());
    return pm;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::tm> ParseDateTime(std::string_view original, const RegionalFormats& formats) {
  std::string text(original);
  std::optional<bool> designator = TakeDesignator(text, formats);
  Tokens tokens = Tokenize(text);
  if (designator) tokens.words.push_back(*designator ? "PM" : "AM");
  if (tokens.numbers.size() < 3 || tokens.numbers.size() > 6 || tokens.words.size() > 1) {
    return std::nullopt;
  }
  bool iso = text.size() >= 10 && text[4] == '-' && text[7] == '-';
  std::string order = iso ? "yMd" : DateOrder(formats.shortDate);
  int year = 0, month = 0, day = 0;
  for (size_t i = 0; i < 3; ++i) {
    int value = tokens.numbers[i];
    if (order[i] == 'y') year = value;
    if (order[i] == 'M') month = value;
    if (order[i] == 'd') day = value;
  }
  if (year < 100) year += year < 50 ? 2000 : 1900;  // two-digit years as Windows' default window
  if (!ValidDate(year, month, day)) return std::nullopt;
  int hour = tokens.numbers.size() > 3 ? tokens.numbers[3] : 0;
  int minute = tokens.numbers.size() > 4 ? tokens.numbers[4] : 0;
  int second = tokens.numbers.size() > 5 ? tokens.numbers[5] : 0;
  if (!tokens.words.empty()) {
    const std::string& marker = tokens.words[0];
    bool pm = marker == ToUpper(formats.pm) || marker == "PM" || marker == "P";
    bool am = marker == ToUpper(formats.am) || marker == "AM" || marker == "A";
    if ((!pm && !am) || tokens.numbers.size() < 4 || hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return BrokenDownTime(year, month, day, hour, minute, second);
}

}  // namespace tamsel::platform::network
