// The values of binary XML substitutions: their types, their text as an event viewer shows
// it, arrays split into items, and the numbers, times and bytes the classic record needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel::platform::eventlog::evtx {

enum ValueType : std::uint8_t {
  kNullType = 0x00,
  kStringType = 0x01,
  kAnsiStringType = 0x02,
  kInt8Type = 0x03,
  kUInt8Type = 0x04,
  kInt16Type = 0x05,
  kUInt16Type = 0x06,
  kInt32Type = 0x07,
  kUInt32Type = 0x08,
  kInt64Type = 0x09,
  kUInt64Type = 0x0A,
  kReal32Type = 0x0B,
  kReal64Type = 0x0C,
  kBoolType = 0x0D,
  kBinaryType = 0x0E,
  kGuidType = 0x0F,
  kSizeTType = 0x10,
  kFileTimeType = 0x11,
  kSystemTimeType = 0x12,
  kSidType = 0x13,
  kHexInt32Type = 0x14,
  kHexInt64Type = 0x15,
  kBinXmlType = 0x21,
  kArrayFlag = 0x80,
};

// One value of a template instance: its type as the instance describes it and its bytes,
// which stay in the chunk they were read from.
struct Value {
  std::uint8_t type = kNullType;
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;

  bool IsNull() const { return type == kNullType; }
  bool IsArray() const { return (type & kArrayFlag) != 0; }
};

// Appends UTF-16LE text (trailing NULs dropped) as UTF-8.
void AppendUtf16(const std::uint8_t* bytes, std::size_t units, std::string& out);

// Appends the text of a value (arrays as their items joined by ", "); binary XML and unknown
// types add nothing.
void AppendValueText(const Value& value, std::string& out);

// The items of an array value, each with the array's item type; a value that is no array is
// its own single item.
void SplitArray(const Value& value, std::vector<Value>& items);

// Integers of every width, hex integers, SizeT and Bool; false for other types or sizes.
bool ValueAsInteger(const Value& value, std::uint64_t& number);
// FILETIME and SYSTEMTIME values as FILETIME.
bool ValueAsFileTime(const Value& value, std::uint64_t& fileTime);

// "2024-01-02T03:04:05.5000000Z" and the like (any fraction) to FILETIME.
bool ParseIsoTime(const std::string& text, std::uint64_t& fileTime);
// Decimal or 0x hexadecimal text.
bool ParseInteger(const std::string& text, std::uint64_t& number);
// Two hex digits per byte; false for anything else.
bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes);

}  // namespace tamsel::platform::eventlog::evtx
