// Visual Basic's conversion and comparison rules for the automation value, and the OLE
// automation date arithmetic they rest on.
#include "platform/com/variant.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/com_error.h"

namespace tamsel::platform::com {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

const std::int64_t kOaEpoch = DaysFromCivil(1899, 12, 30);
constexpr double kMinOaDate = -657434.0;         // 1 January 100
constexpr double kMaxOaDate = 2958465.99999999;  // 31 December 9999

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::optional<double> ParseRadix(std::string_view digits, int radix) {
  if (digits.empty() || digits.size() > (radix == 16 ? 8u : 11u)) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (radix == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= radix) return std::nullopt;
    value = value * radix + digit;
  }
  // &H literals of up to four hex digits are Integers, longer ones Longs: &HFFFF is -1.
  if (value <= 0xFFFF && (radix == 16 ? digits.size() <= 4 : value <= 0xFFFF)) {
    return static_cast<double>(static_cast<std::int16_t>(value));
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

[[noreturn]] void Raise(std::int32_t number) { throw ComError::Vb(number); }

double RoundToEven(double value) { return std::nearbyint(value); }

std::int64_t ToInteger(double value, double low, double high) {
  if (std::isnan(value)) Raise(kVbOverflow);
  const double rounded = RoundToEven(value);
  if (rounded < low || rounded > high) Raise(kVbOverflow);
  return static_cast<std::int64_t>(rounded);
}

// Reads a number of digits; returns -1 when there is none.
int ReadInt(std::string_view& text, int maxDigits) {
  int value = 0;
  int count = 0;
  while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front())) &&
         count < maxDigits) {
    value = value * 10 + (text.front() - '0');
    text.remove_prefix(1);
    ++count;
  }
  return count == 0 ? -1 : value;
}

// "h[:mm[:ss]][ AM|PM]" -> fraction of a day.
std::optional<double> ParseTime(std::string_view text) {
  text = Trim(text);
  int hour = ReadInt(text, 2);
  if (hour < 0 || text.empty() || text.front() != ':') return std::nullopt;
  text.remove_prefix(1);
  const int minute = ReadInt(text, 2);
  if (minute < 0) return std::nullopt;
  int second = 0;
  if (!text.empty() && text.front() == ':') {
    text.remove_prefix(1);
    second = ReadInt(text, 2);
    if (second < 0) return std::nullopt;
  }
  text = Trim(text);
  if (!text.empty()) {
    const bool pm = EqualsNoCase(text, "PM") || EqualsNoCase(text, "P");
    const bool am = EqualsNoCase(text, "AM") || EqualsNoCase(text, "A");
    if ((!pm && !am) || hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::optional<double> DateFromFields(int year, int month, int day) {
  if (year < 0 || month < 1 || month > 12 || day < 1) return std::nullopt;
  if (year < 30) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  if (year > 9999 || day > DaysInMonth(year, month)) return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, month, day) - kOaEpoch);
}

std::optional<double> ParseDatePart(std::string_view text) {
  int first = ReadInt(text, 4);
  if (first < 0 || text.empty()) return std::nullopt;
  const char separator = text.front();
  if (separator != '/' && separator != '-' && separator != '.') return std::nullopt;
  text.remove_prefix(1);
  const int second = ReadInt(text, 2);
  if (second < 0 || text.empty() || text.front() != separator) return std::nullopt;
  text.remove_prefix(1);
  const int third = ReadInt(text, 4);
  if (third < 0 || !text.empty()) return std::nullopt;
  if (first >= 100) return DateFromFields(first, second, third);  // ISO order
  return DateFromFields(third, first, second);                    // month/day/year
}

}  // namespace

double OaDateFromParts(const DateParts& p) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
      p.minute > 59 || p.second < 0 || p.second > 59) {
    Raise(kVbInvalidCall);
  }
  const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kOaEpoch);
  const double time = (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0;
  return days >= 0 ? days + time : days - time;
}

DateParts OaDateToParts(double date) {
  if (!(date >= kMinOaDate && date < kMaxOaDate + 1)) Raise(kVbOverflow);
  std::int64_t days = static_cast<std::int64_t>(std::trunc(date));
  std::int64_t seconds = std::llround(std::fabs(date - static_cast<double>(days)) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  DateParts parts;
  CivilFromDays(days + kOaEpoch, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

Variant Variant::Date(double oaDate) {
  Variant value(VarType::Date);
  value.real_ = oaDate;
  return value;
}

Variant Variant::FromInt64(std::int64_t value) {
  if (value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return Variant(static_cast<std::int32_t>(value));
  }
  return Variant(static_cast<double>(value));
}

bool Variant::IsNumeric() const {
  switch (type_) {
    case VarType::Empty:
    case VarType::I2:
    case VarType::I4:
    case VarType::R8:
    case VarType::Bool:
      return true;
    case VarType::BStr:
      return ParseVbNumber(text_).has_value();
    default:
      return false;
  }
}

double Variant::CDbl() const {
  switch (type_) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      Raise(kVbInvalidUseOfNull);
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool:
      return integer_;
    case VarType::R8:
    case VarType::Date:
      return real_;
    case VarType::BStr:
      if (auto number = ParseVbNumber(text_)) return *number;
      Raise(kVbTypeMismatch);
  }
  Raise(kVbTypeMismatch);
}

std::int16_t Variant::CInt() const {
  return static_cast<std::int16_t>(ToInteger(CDbl(), -32768, 32767));
}

std::int32_t Variant::CLng() const {
  return static_cast<std::int32_t>(ToInteger(CDbl(), -2147483648.0, 2147483647.0));
}

bool Variant::CBool() const {
  if (type_ == VarType::BStr) {
    const std::string_view text = Trim(text_);
    if (EqualsNoCase(text, "True")) return true;
    if (EqualsNoCase(text, "False")) return false;
  }
  return CDbl() != 0;
}

double Variant::CDate() const {
  double date;
  if (type_ == VarType::BStr) {
    auto parsed = ParseVbDate(text_);
    if (!parsed) Raise(kVbTypeMismatch);
    date = *parsed;
  } else {
    date = CDbl();
  }
  if (!(date >= kMinOaDate && date < kMaxOaDate + 1)) Raise(kVbOverflow);
  return date;
}

std::string Variant::CStr() const {
  switch (type_) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      Raise(kVbInvalidUseOfNull);
    case VarType::I2:
    case VarType::I4:
      return std::to_string(integer_);
    case VarType::R8:
      return FormatVbDouble(real_);
    case VarType::Date:
      return FormatVbDate(real_);
    case VarType::Bool:
      return integer_ ? "True" : "False";
    case VarType::BStr:
      return text_;
  }
  return {};
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::R8:
    case VarType::Date:
      return real_ == other.real_;
    case VarType::BStr:
      return text_ == other.text_;
    default:
      return integer_ == other.integer_;
  }
}

std::optional<int> Compare(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  const bool aText = a.Type() == VarType::BStr;
  const bool bText = b.Type() == VarType::BStr;
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (aText || bText) {
    if (aText && bText) return sign(a.CStr(), b.CStr());
    // Empty against text compares as "", a number against text is the smaller one.
    if (a.IsEmpty() || b.IsEmpty()) return sign(a.CStr(), b.CStr());
    return aText ? 1 : -1;
  }
  return sign(a.CDbl(), b.CDbl());
}

std::optional<int> CompareWithNumber(const Variant& value, double number) {
  if (value.IsNull()) return std::nullopt;
  const double own = value.CDbl();
  return own < number ? -1 : (number < own ? 1 : 0);
}

std::optional<double> ParseVbNumber(std::string_view text) {
  text = Trim(text);
  if (text.size() > 2 && text[0] == '&') {
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
    if (kind == 'H') return ParseRadix(text.substr(2), 16);
    if (kind == 'O') return ParseRadix(text.substr(2), 8);
    return std::nullopt;
  }
  std::string plain;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
  bool digits = false;
  for (; i < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[i])) || (text[i] == ',' && digits));
       ++i) {
    if (text[i] != ',') plain += text[i];
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    plain += text[i++];
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
      plain += text[i];
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && std::strchr("eEdD", text[i]) != nullptr) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    bool expDigits = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
      plain += text[i];
      expDigits = true;
    }
    if (!expDigits) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  const double value = std::strtod(plain.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<double> ParseVbDate(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  const size_t split = text.find_first_of(" T");
  const std::string_view first = text.substr(0, split);
  if (first.find(':') != std::string_view::npos) return ParseTime(text);  // time alone
  auto date = ParseDatePart(first);
  if (!date) return std::nullopt;
  if (split == std::string_view::npos) return date;
  auto time = ParseTime(text.substr(split + 1));
  if (!time) return std::nullopt;
  return *date >= 0 ? *date + *time : *date - *time;
}

std::string FormatVbDouble(double value) {
  if (value == 0) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

std::string FormatVbDate(double oaDate) {
  const DateParts p = OaDateToParts(oaDate);
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%d/%d/%d", p.month, p.day, p.year);
  std::snprintf(time, sizeof time, "%d:%02d:%02d %s", p.hour % 12 == 0 ? 12 : p.hour % 12, p.minute,
                p.second, p.hour < 12 ? "AM" : "PM");
  const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
  const bool dayZero = p.year == 1899 && p.month == 12 && p.day == 30;
  if (dayZero) return time;
  if (midnight) return date;
  return std::string(date) + " " + time;
}

}  // namespace tamsel::platform::com
