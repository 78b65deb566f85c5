// The .evt file format: log header, end-of-file record and event records, as Windows NT keeps
// them on disk (little-endian, UTF-16LE strings), and the ANSI form ReadEventLogA returns.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog {

inline constexpr std::uint32_t kHeaderSize = 0x30;
inline constexpr std::uint32_t kSignature = 0x654C664C;  // "LfLe"
inline constexpr std::uint32_t kFixedRecordSize = 0x38;
inline constexpr std::uint32_t kMinRecordSize = 0x40;
inline constexpr std::uint32_t kEofRecordSize = 0x28;
inline constexpr std::uint32_t kFillerWord = 0x27;
inline constexpr std::uint32_t kAllocationStep = 0x10000;
inline constexpr std::uint32_t kDefaultMaxSize = 0x80000;
inline constexpr std::size_t kMaxStringChars = 32767;

inline constexpr std::uint32_t ELF_LOGFILE_HEADER_DIRTY = 0x0001;
inline constexpr std::uint32_t ELF_LOGFILE_HEADER_WRAP = 0x0002;
inline constexpr std::uint32_t ELF_LOGFILE_LOGFULL_WRITTEN = 0x0004;
inline constexpr std::uint32_t ELF_LOGFILE_ARCHIVE_SET = 0x0008;

// Field offsets inside a record.
namespace field {
inline constexpr std::uint32_t kLength = 0x00;
inline constexpr std::uint32_t kReserved = 0x04;
inline constexpr std::uint32_t kRecordNumber = 0x08;
inline constexpr std::uint32_t kTimeGenerated = 0x0C;
inline constexpr std::uint32_t kTimeWritten = 0x10;
inline constexpr std::uint32_t kEventId = 0x14;
inline constexpr std::uint32_t kEventType = 0x18;
inline constexpr std::uint32_t kNumStrings = 0x1A;
inline constexpr std::uint32_t kEventCategory = 0x1C;
inline constexpr std::uint32_t kStringOffset = 0x24;
inline constexpr std::uint32_t kUserSidLength = 0x28;
inline constexpr std::uint32_t kUserSidOffset = 0x2C;
inline constexpr std::uint32_t kDataLength = 0x30;
inline constexpr std::uint32_t kDataOffset = 0x34;
}  // namespace field

std::uint16_t GetU16(const std::uint8_t* at);
std::uint32_t GetU32(const std::uint8_t* at);
void PutU16(std::uint8_t* at, std::uint16_t value);
void PutU32(std::uint8_t* at, std::uint32_t value);

// The header fields that describe the ring; the EOF record repeats the first four.
struct LogState {
  std::uint32_t startOffset = kHeaderSize;
  std::uint32_t endOffset = kHeaderSize;
  std::uint32_t currentRecordNumber = 1;
  std::uint32_t oldestRecordNumber = 0;
  std::uint32_t maxSize = kDefaultMaxSize;
  std::uint32_t flags = 0;
  std::uint32_t retention = 0;

  std::uint32_t Count() const {
    return oldestRecordNumber == 0 ? 0 : currentRecordNumber - oldestRecordNumber;
  }
};

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const LogState& state);
// Checks sizes, signature and version; offsets are checked against the file by the caller.
bool DecodeHeader(const std::uint8_t* bytes, LogState& state);
std::array<std::uint8_t, kEofRecordSize> EncodeEof(const LogState& state);
// Takes the four ring fields from an EOF record; false when the bytes are not one.
bool DecodeEof(const std::uint8_t* bytes, LogState& state);
// The 20 bytes that start every EOF record.
std::span<const std::uint8_t> EofPattern();

// What a caller reports; the service adds the record number and the time written.
struct EventFields {
  std::uint32_t timeGenerated = 0;
  std::uint32_t eventId = 0;
  std::uint16_t eventType = 0;
  std::uint16_t category = 0;
  std::string source;
  std::string computer;
  std::vector<std::uint8_t> userSid;
  std::vector<std::string> strings;  // UTF-8
  std::vector<std::uint8_t> data;
};

// The on-disk record (UTF-16LE strings) with record number and time written left 0.
std::vector<std::uint8_t> BuildDiskRecord(const EventFields& fields);

// Validates an on-disk record (every offset and string inside it) and builds its ANSI form.
// ERROR_EVENTLOG_FILE_CORRUPT when anything points outside the record.
Win32Error ConvertToAnsi(std::span<const std::uint8_t> disk, std::vector<std::uint8_t>& ansi);

// An ANSI record split into its parts (for our own readers); false when it is malformed.
struct ParsedRecord {
  std::uint32_t recordNumber = 0;
  std::uint32_t timeGenerated = 0;
  std::uint32_t timeWritten = 0;
  std::uint32_t eventId = 0;
  std::uint16_t eventType = 0;
  std::uint16_t category = 0;
  std::string source;
  std::string computer;
  std::vector<std::uint8_t> userSid;
  std::vector<std::string> strings;
  std::vector<std::uint8_t> data;
};
bool ParseAnsiRecord(std::span<const std::uint8_t> ansi, ParsedRecord& record);

}  // namespace tamsel::platform::eventlog
