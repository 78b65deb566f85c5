// Encoding and validation of .evt headers and records.
#include "platform/eventlog/evt_format.h"

#include <cstring>

#include "platform/eventlog/text_conversion.h"

namespace tamsel::platform::eventlog {

namespace {

constexpr std::array<std::uint8_t, 20> kEofPattern = {0x28, 0,    0,    0,    0x11, 0x11, 0x11,
                                                      0x11, 0x22, 0x22, 0x22, 0x22, 0x33, 0x33,
                                                      0x33, 0x33, 0x44, 0x44, 0x44, 0x44};

void PadToFour(std::vector<std::uint8_t>& bytes) {
  while (bytes.size() % 4 != 0) bytes.push_back(0);
}

void AppendBytes(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t size) {
  out.insert(out.end(), bytes, bytes + size);
}

// Finds the UTF-16 NUL of a string starting at `at`, below `limit`; returns the number of
// code units before it, or false when the string runs into the limit.
bool ScanUtf16(std::span<const std::uint8_t> record, std::uint64_t at, std::uint64_t limit,
               std::size_t& units) {
  for (std::uint64_t pos = at; pos + 2 <= limit; pos += 2) {
    if (record[pos] == 0 && record[pos + 1] == 0) {
      units = static_cast<std::size_t>((pos - at) / 2);
      return true;
    }
  }
  return false;
}

bool ScanAnsi(std::span<const std::uint8_t> record, std::uint64_t at, std::uint64_t limit,
              std::size_t& length) {
  for (std::uint64_t pos = at; pos < limit; ++pos) {
    if (record[pos] == 0) {
      length = static_cast<std::size_t>(pos - at);
      return true;
    }
  }
  return false;
}

// A record's frame: length field, signature, 4-byte size and the trailing length copy.
bool FrameIsValid(std::span<const std::uint8_t> record) {
  std::size_t size = record.size();
  return size >= kMinRecordSize && size % 4 == 0 && GetU32(record.data()) == size &&
         GetU32(record.data() + field::kReserved) == kSignature &&
         GetU32(record.data() + size - 4) == size;
}

bool RangeInside(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
  return offset <= limit && length <= limit - offset;
}

// Where a record keeps its SID and its binary data.
struct Blobs {
  std::uint32_t sidLength = 0;
  std::uint32_t sidOffset = 0;
  std::uint32_t dataLength = 0;
  std::uint32_t dataOffset = 0;

  // Both lie before `limit` (an empty one anywhere).
  bool InsideOf(std::uint64_t limit) const {
    return (sidLength == 0 || RangeInside(sidOffset, sidLength, limit)) &&
           (dataLength == 0 || RangeInside(dataOffset, dataLength, limit));
  }
};

Blobs ReadBlobs(const std::uint8_t* record) {
  Blobs blobs;
  blobs.sidLength = GetU32(record + field::kUserSidLength);
  blobs.sidOffset = GetU32(record + field::kUserSidOffset);
  blobs.dataLength = GetU32(record + field::kDataLength);
  blobs.dataOffset = GetU32(record + field::kDataOffset);
  return blobs;
}

}  // namespace

std::uint16_t GetU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const LogState& state) {
  std::array<std::uint8_t, kHeaderSize> bytes{};
  const std::uint32_t fields[] = {kHeaderSize,
                                  kSignature,
                                  1,
                                  1,
                                  state.startOffset,
                                  state.endOffset,
                                  state.currentRecordNumber,
                                  state.oldestRecordNumber,
                                  state.maxSize,
                                  state.flags,
                                  state.retention,
                                  kHeaderSize};
  for (int i = 0; i < 12; ++i) PutU32(bytes.data() + 4 * i, fields[i]);
  return bytes;
}

bool DecodeHeader(const std::uint8_t* bytes, LogState& state) {
  if (GetU32(bytes) != kHeaderSize || GetU32(bytes + 4) != kSignature || GetU32(bytes + 8) != 1 ||
      GetU32(bytes + 12) != 1 || GetU32(bytes + 0x2C) != kHeaderSize) {
    return false;
  }
  state.startOffset = GetU32(bytes + 0x10);
  state.endOffset = GetU32(bytes + 0x14);
  state.currentRecordNumber = GetU32(bytes + 0x18);
  state.oldestRecordNumber = GetU32(bytes + 0x1C);
  state.maxSize = GetU32(bytes + 0x20);
  state.flags = GetU32(bytes + 0x24);
  state.retention = GetU32(bytes + 0x28);
  return true;
}

std::array<std::uint8_t, kEofRecordSize> EncodeEof(const LogState& state) {
  std::array<std::uint8_t, kEofRecordSize> bytes{};
  std::memcpy(bytes.data(), kEofPattern.data(), kEofPattern.size());
  PutU32(bytes.data() + 0x14, state.startOffset);
  PutU32(bytes.data() + 0x18, state.endOffset);
  PutU32(bytes.data() + 0x1C, state.currentRecordNumber);
  PutU32(bytes.data() + 0x20, state.oldestRecordNumber);
  PutU32(bytes.data() + 0x24, kEofRecordSize);
  return bytes;
}

bool DecodeEof(const std::uint8_t* bytes, LogState& state) {
  if (std::memcmp(bytes, kEofPattern.data(), kEofPattern.size()) != 0 ||
      GetU32(bytes + 0x24) != kEofRecordSize) {
    return false;
  }
  state.startOffset = GetU32(bytes + 0x14);
  state.endOffset = GetU32(bytes + 0x18);
  state.currentRecordNumber = GetU32(bytes + 0x1C);
  state.oldestRecordNumber = GetU32(bytes + 0x20);
  return true;
}

std::span<const std::uint8_t> EofPattern() { return kEofPattern; }

std::vector<std::uint8_t> BuildDiskRecord(const EventFields& fields) {
  std::vector<std::uint8_t> record(kFixedRecordSize, 0);
  AppendUtf16Le(fields.source, record);
  record.insert(record.end(), {0, 0});
  AppendUtf16Le(fields.computer, record);
  record.insert(record.end(), {0, 0});
  PadToFour(record);
  std::uint32_t sidOffset = static_cast<std::uint32_t>(record.size());
  AppendBytes(record, fields.userSid.data(), fields.userSid.size());
  std::uint32_t stringOffset = static_cast<std::uint32_t>(record.size());
  for (const std::string& text : fields.strings) {
    AppendUtf16Le(text, record);
    record.insert(record.end(), {0, 0});
  }
  std::uint32_t dataOffset = static_cast<std::uint32_t>(record.size());
  AppendBytes(record, fields.data.data(), fields.data.size());
  PadToFour(record);
  record.resize(record.size() + 4);
  auto length = static_cast<std::uint32_t>(record.size());
  std::uint8_t* at = record.data();
  PutU32(at + field::kLength, length);
  PutU32(at + field::kReserved, kSignature);
  PutU32(at + field::kTimeGenerated, fields.timeGenerated);
  PutU32(at + field::kEventId, fields.eventId);
  PutU16(at + field::kEventType, fields.eventType);
  PutU16(at + field::kNumStrings, static_cast<std::uint16_t>(fields.strings.size()));
  PutU16(at + field::kEventCategory, fields.category);
  PutU32(at + field::kStringOffset, stringOffset);
  PutU32(at + field::kUserSidLength, static_cast<std::uint32_t>(fields.userSid.size()));
  PutU32(at + field::kUserSidOffset, sidOffset);
  PutU32(at + field::kDataLength, static_cast<std::uint32_t>(fields.data.size()));
  PutU32(at + field::kDataOffset, dataOffset);
  PutU32(at + length - 4, length);
  return record;
}

Win32Error ConvertToAnsi(std::span<const std::uint8_t> disk, std::vector<std::uint8_t>& ansi) {
  if (!FrameIsValid(disk)) return ERROR_EVENTLOG_FILE_CORRUPT;
  const std::uint8_t* at = disk.data();
  const std::uint64_t limit = disk.size() - 4;
  std::size_t sourceUnits = 0;
  std::size_t computerUnits = 0;
  if (!ScanUtf16(disk, kFixedRecordSize, limit, sourceUnits) ||
      !ScanUtf16(disk, kFixedRecordSize + 2 * sourceUnits + 2, limit, computerUnits)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  Blobs blobs = ReadBlobs(at);
  if (!blobs.InsideOf(limit)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  ansi.assign(at, at + kFixedRecordSize);
  std::string source = Utf16LeToAnsi(at + kFixedRecordSize, sourceUnits);
  std::string computer = Utf16LeToAnsi(at + kFixedRecordSize + 2 * sourceUnits + 2, computerUnits);
  ansi.insert(ansi.end(), source.begin(), source.end());
  ansi.push_back(0);
  ansi.insert(ansi.end(), computer.begin(), computer.end());
  ansi.push_back(0);
  PadToFour(ansi);
  auto newSidOffset = static_cast<std::uint32_t>(ansi.size());
  if (blobs.sidLength != 0) AppendBytes(ansi, at + blobs.sidOffset, blobs.sidLength);
  auto newStringOffset = static_cast<std::uint32_t>(ansi.size());
  std::uint64_t pos = GetU32(at + field::kStringOffset);
  for (std::uint16_t i = 0, n = GetU16(at + field::kNumStrings); i < n; ++i) {
    std::size_t units = 0;
    if (pos % 2 != 0 || !ScanUtf16(disk, pos, limit, units)) return ERROR_EVENTLOG_FILE_CORRUPT;
    std::string text = Utf16LeToAnsi(at + pos, units);
    ansi.insert(ansi.end(), text.begin(), text.end());
    ansi.push_back(0);
    pos += 2 * units + 2;
  }
  auto newDataOffset = static_cast<std::uint32_t>(ansi.size());
  if (blobs.dataLength != 0) AppendBytes(ansi, at + blobs.dataOffset, blobs.dataLength);
  PadToFour(ansi);
  ansi.resize(ansi.size() + 4);
  auto length = static_cast<std::uint32_t>(ansi.size());
  PutU32(ansi.data() + field::kLength, length);
  PutU32(ansi.data() + field::kUserSidOffset, newSidOffset);
  PutU32(ansi.data() + field::kStringOffset, newStringOffset);
  PutU32(ansi.data() + field::kDataOffset, newDataOffset);
  PutU32(ansi.data() + length - 4, length);
  return ERROR_SUCCESS;
}

bool ParseAnsiRecord(std::span<const std::uint8_t> ansi, ParsedRecord& record) {
  if (ansi.size() < kFixedRecordSize + 4 || ansi.size() % 4 != 0 ||
      GetU32(ansi.data()) != ansi.size() || GetU32(ansi.data() + field::kReserved) != kSignature) {
    return false;
  }
  const std::uint8_t* at = ansi.data();
  const std::uint64_t limit = ansi.size() - 4;
  std::size_t sourceLength = 0;
  std::size_t computerLength = 0;
  if (!ScanAnsi(ansi, kFixedRecordSize, limit, sourceLength) ||
      !ScanAnsi(ansi, kFixedRecordSize + sourceLength + 1, limit, computerLength)) {
    return false;
  }
  Blobs blobs = ReadBlobs(at);
  if (!blobs.InsideOf(limit)) {
    return false;
  }
  record = ParsedRecord{};
  record.recordNumber = GetU32(at + field::kRecordNumber);
  record.timeGenerated = GetU32(at + field::kTimeGenerated);
  record.timeWritten = GetU32(at + field::kTimeWritten);
  record.eventId = GetU32(at + field::kEventId);
  record.eventType = GetU16(at + field::kEventType);
  record.category = GetU16(at + field::kEventCategory);
  const char* text = reinterpret_cast<const char*>(at);
  record.source.assign(text + kFixedRecordSize, sourceLength);
  record.computer.assign(text + kFixedRecordSize + sourceLength + 1, computerLength);
  if (blobs.sidLength != 0) {
    record.userSid.assign(at + blobs.sidOffset, at + blobs.sidOffset + blobs.sidLength);
  }
  std::uint64_t pos = GetU32(at + field::kStringOffset);
  for (std::uint16_t i = 0, n = GetU16(at + field::kNumStrings); i < n; ++i) {
    std::size_t length = 0;
    if (!ScanAnsi(ansi, pos, limit, length)) return false;
    record.strings.emplace_back(text + pos, length);
    pos += length + 1;
  }
  if (blobs.dataLength != 0) {
    record.data.assign(at + blobs.dataOffset, at + blobs.dataOffset + blobs.dataLength);
  }
  return true;
}

}  // namespace tamsel::platform::eventlog
