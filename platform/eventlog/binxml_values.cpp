// Rendering and conversion of binary XML substitution values.
#include "platform/eventlog/binxml_values.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/eventlog/evtx_format.h"
#include "platform/network/utf16.h"

namespace tamsel::platform::eventlog::evtx {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kEpochDifference = 11644473600ULL;

template <typename T>
void AppendNumber(T number, std::string& out) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, number);
  out.append(text, result.ptr);
}

void AppendHex(std::uint64_t number, std::string& out) {
  char text[24];
  auto result = std::to_chars(text, text + sizeof text, number, 16);
  out += "0x";
  out.append(text, result.ptr);
}

void AppendFixedHex(std::uint64_t number, int digits, std::string& out) {
  for (int i = digits - 1; i >= 0; --i) out += kHexDigits[(number >> (4 * i)) & 0xF];
}

void AppendGuid(const std::uint8_t* at, std::string& out) {
  out += '{';
  AppendFixedHex(U32(at), 8, out);
  out += '-';
  AppendFixedHex(U16(at + 4), 4, out);
  out += '-';
  AppendFixedHex(U16(at + 6), 4, out);
  out += '-';
  for (int i = 8; i < 16; ++i) {
    if (i == 10) out += '-';
    AppendFixedHex(at[i], 2, out);
  }
  out += '}';
}

bool AppendSid(const std::uint8_t* at, std::uint32_t size, std::string& out) {
  if (size < 8 || size != 8 + 4u * at[1]) return false;
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | at[i];
  out += "S-";
  AppendNumber(at[0], out);
  out += '-';
  if (authority >> 32) {
    out += "0x";
    AppendFixedHex(authority, 12, out);
  } else {
    AppendNumber(authority, out);
  }
  for (std::uint32_t i = 0; i < at[1]; ++i) {
    out += '-';
    AppendNumber(U32(at + 8 + 4 * i), out);
  }
  return true;
}

void AppendFileTime(std::uint64_t fileTime, std::string& out) {
  std::time_t seconds = static_cast<std::time_t>(fileTime / kTicksPerSecond) -
                        static_cast<std::time_t>(kEpochDifference);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%07uZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<unsigned>(fileTime % kTicksPerSecond));
  out += text;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool CivilToFileTime(int year, int month, int day, int hour, int minute, int second,
                     std::uint64_t fraction, std::uint64_t& fileTime) {
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return false;
  }
  std::int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                         second + static_cast<std::int64_t>(kEpochDifference);
  fileTime = static_cast<std::uint64_t>(seconds) * kTicksPerSecond + fraction;
  return true;
}

std::uint32_t FixedItemSize(std::uint8_t base) {
  switch (base) {
    case kInt8Type:
    case kUInt8Type:
      return 1;
    case kInt16Type:
    case kUInt16Type:
      return 2;
    case kInt32Type:
    case kUInt32Type:
    case kReal32Type:
    case kBoolType:
    case kHexInt32Type:
      return 4;
    case kInt64Type:
    case kUInt64Type:
    case kReal64Type:
    case kFileTimeType:
    case kHexInt64Type:
      return 8;
    case kGuidType:
    case kSystemTimeType:
      return 16;
    default:
      return 0;
  }
}

}  // namespace

void AppendUtf16(const std::uint8_t* bytes, std::size_t units, std::string& out) {
  while (units > 0 && U16(bytes + 2 * (units - 1)) == 0) --units;
  std::size_t i = 0;
  for (; i < units; ++i) {
    std::uint16_t unit = U16(bytes + 2 * i);
    if (unit >= 0x80) break;
    out += static_cast<char>(unit);
  }
  if (i < units) out += network::Utf16LeToUtf8(bytes + 2 * i, units - i, U'?');
}

void SplitArray(const Value& value, std::vector<Value>& items) {
  items.clear();
  if (!value.IsArray()) {
    items.push_back(value);
    return;
  }
  const std::uint8_t base = value.type & ~kArrayFlag;
  const std::uint8_t* at = value.data;
  const std::uint8_t* end = value.data + value.size;
  if (base == kStringType) {
    for (const std::uint8_t* start = at; at + 2 <= end; at += 2) {
      if (U16(at) == 0) {
        items.push_back({base, start, static_cast<std::uint32_t>(at - start)});
        start = at + 2;
      }
    }
  } else if (base == kAnsiStringType) {
    for (const std::uint8_t* start = at; at < end; ++at) {
      if (*at == 0) {
        items.push_back({base, start, static_cast<std::uint32_t>(at - start)});
        start = at + 1;
      }
    }
  } else if (base == kSidType) {
    while (end - at >= 8 && static_cast<std::uint32_t>(end - at) >= 8u + 4u * at[1]) {
      std::uint32_t size = 8 + 4 * at[1];
      items.push_back({base, at, size});
      at += size;
    }
  } else if (base == kSizeTType || FixedItemSize(base) != 0) {
    std::uint32_t size = base == kSizeTType ? (value.size % 8 == 0 ? 8 : 4) : FixedItemSize(base);
    for (; static_cast<std::uint32_t>(end - at) >= size; at += size) {
      items.push_back({base, at, size});
    }
  }
}

bool ValueAsInteger(const Value& value, std::uint64_t& number) {
  const std::uint8_t* at = value.data;
  switch (value.type) {
    case kInt8Type:
      if (value.size < 1) return false;
      number = static_cast<std::uint64_t>(static_cast<std::int8_t>(at[0]));
      return true;
    case kUInt8Type:
      if (value.size < 1) return false;
      number = at[0];
      return true;
    case kInt16Type:
      if (value.size < 2) return false;
      number = static_cast<std::uint64_t>(static_cast<std::int16_t>(U16(at)));
      return true;
    case kUInt16Type:
      if (value.size < 2) return false;
      number = U16(at);
      return true;
    case kInt32Type:
      if (value.size < 4) return false;
      number = static_cast<std::uint64_t>(static_cast<std::int32_t>(U32(at)));
      return true;
    case kUInt32Type:
    case kHexInt32Type:
      if (value.size < 4) return false;
      number = U32(at);
      return true;
    case kBoolType:
      if (value.size < 1) return false;
      number = value.size >= 4 ? U32(at) != 0 : at[0] != 0;
      return true;
    case kInt64Type:
    case kUInt64Type:
    case kHexInt64Type:
      if (value.size < 8) return false;
      number = U64(at);
      return true;
    case kSizeTType:
      if (value.size == 8) {
        number = U64(at);
      } else if (value.size == 4) {
        number = U32(at);
      } else {
        return false;
      }
      return true;
    default:
      return false;
  }
}

bool ValueAsFileTime(const Value& value, std::uint64_t& fileTime) {
  if (value.type == kFileTimeType && value.size >= 8) {
    fileTime = U64(value.data);
    return true;
  }
  if (value.type == kSystemTimeType && value.size >= 16) {
    const std::uint8_t* at = value.data;
    return CivilToFileTime(U16(at), U16(at + 2), U16(at + 6), U16(at + 8), U16(at + 10),
                           U16(at + 12), std::uint64_t{U16(at + 14)} % 1000 * 10000, fileTime);
  }
  return false;
}

void AppendValueText(const Value& value, std::string& out) {
  if (value.IsArray()) {
    std::vector<Value> items;
    SplitArray(value, items);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i > 0) out += ", ";
      AppendValueText(items[i], out);
    }
    return;
  }
  const std::uint8_t* at = value.data;
  std::uint64_t number = 0;
  switch (value.type) {
    case kStringType:
      AppendUtf16(at, value.size / 2, out);
      return;
    case kAnsiStringType: {
      std::uint32_t size = value.size;
      while (size > 0 && at[size - 1] == 0) --size;
      out.append(reinterpret_cast<const char*>(at), size);
      return;
    }
    case kInt8Type:
    case kInt16Type:
    case kInt32Type:
    case kInt64Type:
      if (ValueAsInteger(value, number)) AppendNumber(static_cast<std::int64_t>(number), out);
      return;
    case kUInt8Type:
    case kUInt16Type:
    case kUInt32Type:
    case kUInt64Type:
      if (ValueAsInteger(value, number)) AppendNumber(number, out);
      return;
    case kHexInt32Type:
    case kHexInt64Type:
    case kSizeTType:
      if (ValueAsInteger(value, number)) AppendHex(number, out);
      return;
    case kBoolType:
      if (ValueAsInteger(value, number)) out += number ? "true" : "false";
      return;
    case kReal32Type:
    case kReal64Type: {
      double real = 0;
      if (value.type == kReal32Type && value.size >= 4) {
        float single;
        std::memcpy(&single, at, sizeof single);
        real = single;
      } else if (value.type == kReal64Type && value.size >= 8) {
        std::memcpy(&real, at, sizeof real);
      } else {
        return;
      }
      char text[40];
      std::snprintf(text, sizeof text, "%.*g", value.type == kReal32Type ? 9 : 17, real);
      out += text;
      return;
    }
    case kBinaryType:
      for (std::uint32_t i = 0; i < value.size; ++i) {
        out += kHexDigits[at[i] >> 4];
        out += kHexDigits[at[i] & 0xF];
      }
      return;
    case kGuidType:
      if (value.size >= 16) AppendGuid(at, out);
      return;
    case kFileTimeType:
    case kSystemTimeType: {
      std::uint64_t fileTime = 0;
      if (ValueAsFileTime(value, fileTime)) AppendFileTime(fileTime, out);
      return;
    }
    case kSidType:
      AppendSid(at, value.size, out);
      return;
    default:
      return;
  }
}

bool ParseInteger(const std::string& text, std::uint64_t& number) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    begin += 2;
    base = 16;
  }
  auto result = std::from_chars(begin, end, number, base);
  return begin != end && result.ec == std::errc() && result.ptr == end;
}

bool ParseIsoTime(const std::string& text, std::uint64_t& fileTime) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &used) != 6) {
    return false;
  }
  std::uint64_t fraction = 0;
  std::size_t pos = static_cast<std::size_t>(used);
  if (pos < text.size() && text[pos] == '.') {
    std::uint64_t scale = kTicksPerSecond;
    for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      scale /= 10;
      fraction += static_cast<std::uint64_t>(text[pos] - '0') * scale;
    }
  }
  return CivilToFileTime(year, month, day, hour, minute, second, fraction, fileTime);
}

bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    std::uint8_t byte = 0;
    auto result = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (result.ec != std::errc() || result.ptr != text.data() + i + 2) return false;
    bytes.push_back(byte);
  }
  return true;
}

}  // namespace tamsel::platform::eventlog::evtx
