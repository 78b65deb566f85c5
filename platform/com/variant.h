// The automation value that travels between pages, the component and the data layer: a
// VARIANT subset (empty, Null, 16/32-bit integers, double, string, boolean, date) with
// Visual Basic's conversion and comparison rules and error numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::com {

// VARTYPE numbers, as automation uses them.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  I2 = 2,
  I4 = 3,
  R8 = 5,
  Date = 7,
  BStr = 8,
  Bool = 11,
};

// Calendar fields of an OLE automation date.
struct DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// OLE automation date: days since 1899-12-30, the fraction being the time of day (for dates
// before 1899-12-30 the fraction still counts forward from midnight). Raises 5 for fields
// out of range; seconds are rounded to whole ones when splitting.
double OaDateFromParts(const DateParts& parts);
DateParts OaDateToParts(double date);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(std::int16_t value) : type_(VarType::I2), integer_(value) {}
  Variant(std::int32_t value) : type_(VarType::I4), integer_(value) {}
  Variant(double value) : type_(VarType::R8), real_(value) {}
  Variant(bool value) : type_(VarType::Bool), integer_(value ? -1 : 0) {}
  Variant(std::string value) : type_(VarType::BStr), text_(std::move(value)) {}
  Variant(std::string_view value) : type_(VarType::BStr), text_(value) {}
  Variant(const char* value) : type_(VarType::BStr), text_(value) {}

  static Variant Null() { return Variant(VarType::Null); }
  static Variant Date(double oaDate);
  static Variant Date(const DateParts& parts) { return Date(OaDateFromParts(parts)); }
  // A 64-bit number as the narrowest of I4 and R8 that holds it.
  static Variant FromInt64(std::int64_t value);

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsNumeric() const;  // VB's IsNumeric: numbers, booleans, Empty, numeric text

  // VB conversions. Null raises 94; text that is not a number raises 13; a value outside
  // the target's range raises 6. Doubles round half to even, as CInt/CLng do.
  std::int16_t CInt() const;
  std::int32_t CLng() const;
  double CDbl() const;
  bool CBool() const;
  double CDate() const;  // as an OLE automation date
  // CStr: Empty gives "", Null raises 94, booleans "True"/"False", dates M/d/yyyy h:mm:ss AM.
  std::string CStr() const;

  // Exact identity of type and value (for tests and caches), not VB's "=".
  bool operator==(const Variant& other) const;

 private:
  explicit Variant(VarType type) : type_(type) {}

  VarType type_ = VarType::Empty;
  std::int32_t integer_ = 0;  // I2, I4, Bool (-1 / 0)
  double real_ = 0;           // R8, Date
  std::string text_;          // BStr
};

// VB's comparison of two Variants: numbers numerically, text to text by binary comparison,
// a number against text always the smaller one, Empty as 0 or "". Returns -1, 0 or 1; nothing
// when either side is Null (VB's Null result).
std::optional<int> Compare(const Variant& a, const Variant& b);

// VB's comparison of a Variant with a numeric literal (`If v = -1`): the literal is no Variant,
// so text compares by its numeric value (13 when it is not a number) and Empty as 0.
std::optional<int> CompareWithNumber(const Variant& value, double number);

// Parses VB numeric text (blanks around it, sign, thousands commas, fraction, exponent,
// &H / &O prefixes). Nothing for text that is not a number.
std::optional<double> ParseVbNumber(std::string_view text);

// Parses date text "M/d/yyyy[ h:mm[:ss][ AM|PM]]", ISO "yyyy-mm-dd[ hh:mm:ss]" or a time
// alone. Nothing for text that is not a valid date.
std::optional<double> ParseVbDate(std::string_view text);

// VB's text of a double: up to 15 significant digits, "1E+20" style for large and tiny.
std::string FormatVbDouble(double value);
// VB's text of a date: date alone at midnight, time alone on day 0.
std::string FormatVbDate(double oaDate);

}  // namespace tamsel::platform::com
