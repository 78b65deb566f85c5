// printf forms of inserts, for string, character and integer arguments.

#include "platform/messages/insert_spec.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string_view>

#include "platform/messages/utf_conversion.h"

namespace tamsel::platform::messages {
namespace {

bool ParseNumber(std::string_view spec, std::size_t& at, int& value) {
  if (at >= spec.size() || spec[at] < '0' || spec[at] > '9') return false;
  long long number = 0;
  while (at < spec.size() && spec[at] >= '0' && spec[at] <= '9') {
    number = number * 10 + (spec[at++] - '0');
    if (number > 1'000'000'000) number = 1'000'000'000;  // far beyond any output limit
  }
  value = static_cast<int>(number);
  return true;
}

bool IsWideString(const InsertSpec& spec) {
  using Size = InsertSpec::Size;
  if (spec.type == 'S' || spec.type == 'C') return spec.size != Size::kShort;
  return spec.size == Size::kLong || spec.size == Size::kWide;
}

std::string NarrowString(DWORD_PTR value) {
  const auto* text = reinterpret_cast<const char*>(value);
  return text == nullptr ? std::string("(null)") : AnsiEntryToUtf8(text);
}

std::string WideString(DWORD_PTR value) {
  const auto* text = reinterpret_cast<const char16_t*>(value);
  return text == nullptr ? std::string("(null)") : Utf16ToUtf8(std::u16string_view(text));
}

std::string Character(const InsertSpec& spec, DWORD_PTR value) {
  std::string out;
  if (IsWideString(spec)) {
    char16_t unit = static_cast<char16_t>(value);
    if (unit != 0) out = Utf16ToUtf8(std::u16string_view(&unit, 1));
  } else {
    char c = static_cast<char>(value);
    if (c != 0) out = AnsiEntryToUtf8(std::string_view(&c, 1));
  }
  return out;
}

// Applies precision (characters kept) and width (padding) to a string, in code points.
std::string Pad(std::string text, const InsertSpec& spec, int width, int precision) {
  if (precision >= 0 && Utf8Length(text) > static_cast<std::size_t>(precision)) {
    std::size_t i = 0;
    for (int seen = 0; i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == precision) break;
    }
    text.resize(i);
  }
  std::size_t length = Utf8Length(text);
  if (width > 0 && length < static_cast<std::size_t>(width)) {
    const std::size_t padding = static_cast<std::size_t>(width) - length;
    text.insert(spec.leftAlign ? text.size() : 0, padding, ' ');
  }
  return text;
}

std::string Integer(const InsertSpec& spec, DWORD_PTR value, int width, int precision) {
  using Size = InsertSpec::Size;
  std::string format = "%";
  if (spec.leftAlign) format += '-';
  if (spec.plusSign) format += '+';
  if (spec.spaceSign) format += ' ';
  if (spec.alternate) format += '#';
  if (spec.zeroPad) format += '0';
  if (width >= 0) format += std::to_string(width);
  if (precision >= 0) {
    format.push_back('.');
    format += std::to_string(precision);
  }
  format += "ll";
  format += spec.type == 'i' ? 'd' : spec.type;
  const bool wide = spec.size == Size::kInt64 || spec.size == Size::kPointer;
  const bool isSigned = spec.type == 'd' || spec.type == 'i';
  long long signedValue;
  unsigned long long unsignedValue;
  if (spec.size == Size::kShort) {
    signedValue = static_cast<std::int16_t>(value);
    unsignedValue = static_cast<std::uint16_t>(value);
  } else if (wide) {
    signedValue = static_cast<std::int64_t>(value);
    unsignedValue = static_cast<std::uint64_t>(value);
  } else {
    signedValue = static_cast<std::int32_t>(value);
    unsignedValue = static_cast<std::uint32_t>(value);
  }
  int needed = isSigned ? std::snprintf(nullptr, 0, format.c_str(), signedValue)
                        : std::snprintf(nullptr, 0, format.c_str(), unsignedValue);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed) + 1, '\0');
  if (isSigned) {
    std::snprintf(out.data(), out.size(), format.c_str(), signedValue);
  } else {
    std::snprintf(out.data(), out.size(), format.c_str(), unsignedValue);
  }
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

std::string Pointer(const InsertSpec& spec, DWORD_PTR value, int width) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016" PRIXPTR, static_cast<std::uintptr_t>(value));
  return Pad(digits, spec, width, -1);
}

}  // namespace

bool ParseInsertSpec(std::string_view spec, InsertSpec& parsed) {
  using Size = InsertSpec::Size;
  parsed = InsertSpec{};
  std::size_t at = 0;
  for (; at < spec.size(); ++at) {
    char c = spec[at];
    if (c == '-') {
      parsed.leftAlign = true;
    } else if (c == '+') {
      parsed.plusSign = true;
    } else if (c == ' ') {
      parsed.spaceSign = true;
    } else if (c == '#') {
      parsed.alternate = true;
    } else if (c == '0') {
      parsed.zeroPad = true;
    } else {
      break;
    }
  }
  if (at < spec.size() && spec[at] == '*') {
    parsed.widthFromArgument = true;
    ++at;
  } else {
    ParseNumber(spec, at, parsed.width);
  }
  if (at < spec.size() && spec[at] == '.') {
    ++at;
    if (at < spec.size() && spec[at] == '*') {
      parsed.precisionFromArgument = true;
      ++at;
    } else if (!ParseNumber(spec, at, parsed.precision)) {
      parsed.precision = 0;  // "." alone means precision 0, as in printf
    }
  }
  std::string_view rest = spec.substr(at);
  auto take = [&rest](std::string_view prefix) {
    if (rest.substr(0, prefix.size()) != prefix) return false;
    rest.remove_prefix(prefix.size());
    return true;
  };
  if (take("I64") || take("ll")) {
    parsed.size = Size::kInt64;
  } else if (take("I32")) {
    parsed.size = Size::kInt32;
  } else if (take("I")) {
    parsed.size = Size::kPointer;
  } else if (take("h")) {
    parsed.size = Size::kShort;
  } else if (take("l")) {
    parsed.size = Size::kLong;
  } else if (take("w")) {
    parsed.size = Size::kWide;
  }
  if (rest.size() != 1) return false;
  parsed.type = rest[0];
  return std::string_view("sScCdiuxXop").find(parsed.type) != std::string_view::npos;
}

Win32Error FormatInsert(const InsertSpec& spec, std::size_t number,
                        const MessageArguments& arguments, std::size_t& highestSlot,
                        std::size_t limit, std::string& out) {
  // Slots in the order printf would consume them: width, precision, value.
  std::size_t needed = 1 + (spec.widthFromArgument ? 1 : 0) + (spec.precisionFromArgument ? 1 : 0);
  std::size_t slots[3];
  std::size_t highest = highestSlot > number ? highestSlot : number;
  slots[0] = number;
  for (std::size_t k = 1; k < needed; ++k) slots[k] = ++highest;
  for (std::size_t k = 0; k < needed; ++k) {
    if (slots[k] == 0 || slots[k] > arguments.count || arguments.values == nullptr) {
      return ERROR_NOT_FOUND;
    }
  }
  highestSlot = highest;

  std::size_t next = 0;
  int width = spec.width;
  int precision = spec.precision;
  if (spec.widthFromArgument) {
    width = static_cast<int>(static_cast<std::int32_t>(arguments.values[slots[next++] - 1]));
  }
  if (spec.precisionFromArgument) {
    precision = static_cast<int>(static_cast<std::int32_t>(arguments.values[slots[next++] - 1]));
  }
  InsertSpec effective = spec;
  if (spec.widthFromArgument && width < 0) {  // negative: left alignment, as in printf
    effective.leftAlign = true;
    width = width == INT_MIN ? INT_MAX : -width;
  }
  if (precision < 0) precision = -1;  // a negative precision from an argument means none
  if (static_cast<std::size_t>(width < 0 ? 0 : width) > limit ||
      static_cast<std::size_t>(precision < 0 ? 0 : precision) > limit) {
    return ERROR_MORE_DATA;
  }
  const DWORD_PTR value = arguments.values[slots[next] - 1];

  switch (spec.type) {
    case 's':
    case 'S':
      out = Pad(IsWideString(spec) ? WideString(value) : NarrowString(value), effective, width,
                precision);
      break;
    case 'c':
    case 'C':
      out = Pad(Character(spec, value), effective, width, -1);
      break;
    case 'p':
      out = Pointer(effective, value, width);
      break;
    default:
      out = Integer(effective, value, width, precision);
      break;
  }
  return ERROR_SUCCESS;
}

}  // namespace tamsel::platform::messages
