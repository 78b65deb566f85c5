// Date literals of the filter language read in every form the database accepts.
#include "reports/browse/date_literal.h"

#include <cstdio>
#include <ctime>

#include "platform/network/network.h"
#include "platform/network/regional.h"
#include "platform/registry/regional_settings.h"

namespace tamsel::reports::browse {
namespace {

using platform::network::EqualsIgnoreCase;

// The month names of the machine's regional language (en-US, the only one its settings
// carry), full or in their three-letter form.
constexpr std::string_view kMonthNames[] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool fraction = false;  // a non-zero fraction of a second
};

Fields FieldsOf(const std::tm& time) {
  Fields fields;
  fields.year = time.tm_year + 1900;
  fields.month = time.tm_mon + 1;
  fields.day = time.tm_mday;
  fields.hour = time.tm_hour;
  fields.minute = time.tm_min;
  fields.second = time.tm_sec;
  return fields;
}

bool ValidDay(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  // The range of the database's date type.
  if (year < 1753 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A cursor over the literal's text.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  std::size_t Position() const { return pos_; }
  void Rewind(std::size_t pos) { pos_ = pos; }
  std::string_view Since(std::size_t start) const { return text_.substr(start, pos_ - start); }

  bool Char(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  bool Blanks() {
    const std::size_t start = pos_;
    while (IsBlank(Peek())) ++pos_;
    return pos_ > start;
  }
  // Between `min` and `max` digits; nothing when there are fewer or more.
  std::optional<int> Digits(std::size_t min, std::size_t max, std::size_t* count = nullptr) {
    const std::size_t start = pos_;
    int value = 0;
    while (IsDigit(Peek())) {
      if (pos_ - start < 9) value = value * 10 + (text_[pos_] - '0');
      ++pos_;
    }
    const std::size_t n = pos_ - start;
    if (count) *count = n;
    if (n < min || n > max) {
      pos_ = start;
      return std::nullopt;
    }
    return value;
  }
  std::string_view Word() {
    const std::size_t start = pos_;
    while (IsLetter(Peek())) ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

std::optional<int> MonthNumber(std::string_view word) {
  for (int i = 0; i < 12; ++i) {
    const std::string_view name = kMonthNames[i];
    if (EqualsIgnoreCase(word, name) || EqualsIgnoreCase(word, name.substr(0, 3))) return i + 1;
  }
  return std::nullopt;
}

// "AM" or "PM" (or the machine's own designators) after an hour of 1 to 12.
bool ApplyDesignator(Scanner& in, Fields& fields) {
  const std::size_t start = in.Position();
  in.Blanks();
  const std::string_view word = in.Word();
  if (word.empty()) {
    in.Rewind(start);
    return true;
  }
  const platform::network::RegionalFormats formats = platform::registry::LoadRegionalFormats();
  const bool pm = EqualsIgnoreCase(word, "PM") || EqualsIgnoreCase(word, formats.pm);
  const bool am = EqualsIgnoreCase(word, "AM") || EqualsIgnoreCase(word, formats.am);
  if ((!am && !pm) || fields.hour < 1 || fields.hour > 12) return false;
  fields.hour = fields.hour % 12 + (pm ? 12 : 0);
  return true;
}

// h[:mm[:ss[.fraction]]] [AM|PM], where an hour alone needs its designator.
bool ParseTime(Scanner& in, Fields& fields) {
  std::optional<int> hour = in.Digits(1, 2);
  if (!hour) return false;
  fields.hour = *hour;
  if (in.Char(':')) {
    std::optional<int> minute = in.Digits(2, 2);
    if (!minute) return false;
    fields.minute = *minute;
    if (in.Char(':')) {
      std::optional<int> second = in.Digits(2, 2);
      if (!second) return false;
      fields.second = *second;
      if (in.Char('.') || in.Char(':')) {
        const std::size_t start = in.Position();
        if (!in.Digits(1, 9)) return false;
        fields.fraction = in.Since(start).find_first_not_of('0') != std::string_view::npos;
      }
    }
    if (!ApplyDesignator(in, fields)) return false;
  } else {
    const std::size_t before = in.Position();
    in.Blanks();
    if (in.Word().empty()) return false;
    in.Rewind(before);
    if (!ApplyDesignator(in, fields)) return false;
  }
  return fields.hour < 24 && fields.minute < 60 && fields.second < 60;
}

// What may follow a date: nothing, or blanks (or the ISO "T") and a time.
bool ParseTimeTail(Scanner& in, Fields& fields) {
  if (in.AtEnd()) return true;
  if (!in.Char('T') && !in.Blanks()) return false;
  return ParseTime(in, fields) && in.AtEnd();
}

// yyyy-m-d, yyyy/m/d, yyyy.m.d or yyyymmdd.
bool ParseYearFirst(Scanner& in, Fields& fields) {
  std::size_t count = 0;
  std::optional<int> leading = in.Digits(4, 8, &count);
  if (!leading) return false;
  if (count == 8) {
    fields.year = *leading / 10000;
    fields.month = *leading / 100 % 100;
    fields.day = *leading % 100;
    return true;
  }
  if (count != 4) return false;
  fields.year = *leading;
  const char separator = in.Peek();
  if (separator != '-' && separator != '/' && separator != '.') return false;
  in.Char(separator);
  std::optional<int> month = in.Digits(1, 2);
  if (!month || !in.Char(separator)) return false;
  std::optional<int> day = in.Digits(1, 2);
  if (!day) return false;
  fields.month = *month;
  fields.day = *day;
  return true;
}

// Separators between the parts of a date written with a month name.
void SkipNameSeparators(Scanner& in) {
  while (IsBlank(in.Peek()) || in.Peek() == ',' || in.Peek() == '-' || in.Peek() == '/' ||
         in.Peek() == '.') {
    in.Char(in.Peek());
  }
}

// "Jan 31 2003", "January 31, 2003", "31 January 2003", "2003 January 31", "January 2003".
bool ParseWithMonthName(Scanner& in, Fields& fields) {
  std::optional<int> numbers[2];
  std::size_t digitCounts[2] = {0, 0};
  int found = 0;
  std::optional<int> month;
  while (!in.AtEnd() && (found < 2 || !month)) {
    if (IsLetter(in.Peek())) {
      if (month) return false;
      month = MonthNumber(in.Word());
      if (!month) return false;
    } else if (IsDigit(in.Peek())) {
      if (found == 2) return false;
      numbers[found] = in.Digits(1, 4, &digitCounts[found]);
      if (!numbers[found]) return false;
      ++found;
    } else {
      return false;
    }
    // The time follows the year after a blank: stop once the date is whole.
    if (month && found == 2) break;
    if (month && found == 1 && digitCounts[0] == 4 && !numbers[1]) {
      const std::size_t here = in.Position();
      SkipNameSeparators(in);
      if (!IsDigit(in.Peek())) {
        in.Rewind(here);
        break;
      }
      in.Rewind(here);
    }
    SkipNameSeparators(in);
  }
  if (!month || found == 0) return false;
  fields.month = *month;
  if (found == 1) {  // a month and a year: its first day
    if (digitCounts[0] != 4) return false;
    fields.year = *numbers[0];
    fields.day = 1;
    return true;
  }
  const bool yearFirst = digitCounts[0] == 4;
  if (!yearFirst && digitCounts[1] != 4) return false;
  if (digitCounts[yearFirst ? 1 : 0] > 2) return false;
  fields.year = *numbers[yearFirst ? 0 : 1];
  fields.day = *numbers[yearFirst ? 1 : 0];
  return true;
}

// A date in the machine's short-date order, with its time ("1/31/2003 2:30 PM").
std::optional<Fields> ParseRegional(std::string_view text) {
  for (char c : text) {
    const bool allowed = IsLetter(c) || IsDigit(c) || IsBlank(c) ||
                         std::string_view("/.:-,").find(c) != std::string_view::npos;
    if (!allowed) return std::nullopt;
  }
  std::optional<std::tm> parsed =
      platform::network::ParseDateTime(text, platform::registry::LoadRegionalFormats());
  if (!parsed) return std::nullopt;
  return FieldsOf(*parsed);
}

std::optional<Fields> ParseFields(std::string_view text) {
  Fields fields;
  Scanner in(text);
  // A date that starts with its year is read here alone: the regional reading below would
  // take nearly any digits apart.
  if (ParseYearFirst(in, fields)) {
    if (ParseTimeTail(in, fields)) return fields;
    return std::nullopt;
  }
  fields = Fields();
  in.Rewind(0);
  bool named = false;
  for (char c : text) named = named || IsLetter(c);
  if (named && ParseWithMonthName(in, fields)) {
    if (ParseTimeTail(in, fields)) return fields;
    return std::nullopt;
  }
  return ParseRegional(text);
}

std::string Format(const Fields& fields) {
  char buffer[80];  // room for any int in every field, so optimised builds see no truncation
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", fields.year, fields.month,
                fields.day, fields.hour, fields.minute, fields.second);
  return buffer;
}

// The next whole second, across the day, month and year when it must.
Fields NextSecond(const Fields& fields) {
  std::tm time = platform::network::BrokenDownTime(fields.year, fields.month, fields.day,
                                                   fields.hour, fields.minute, fields.second + 1);
  timegm(&time);
  return FieldsOf(time);
}

}  // namespace

std::optional<std::string> StoredDate(std::string_view text, DateBound bound) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::optional<Fields> fields = ParseFields(text);
  if (!fields || !ValidDay(fields->year, fields->month, fields->day)) return std::nullopt;
  if (fields->fraction && bound == DateBound::Lower) {
    fields = NextSecond(*fields);
    if (fields->year > 9999) return std::nullopt;
  }
  return Format(*fields);
}

bool IsStoredDate(std::string_view text) {
  return text.size() == 19 && StoredDate(text, DateBound::Upper) == text;
}

}  // namespace tamsel::reports::browse
