// The classic record of a modern event.
#include "platform/eventlog/evtx_classic.h"

#include <cstring>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx {

namespace {

constexpr std::uint8_t kLevelCritical = 1;
constexpr std::uint8_t kLevelError = 2;
constexpr std::uint8_t kLevelWarning = 3;

void Append(std::vector<std::uint8_t>& out, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + size);
}

void AppendText(std::vector<std::uint8_t>& out, const std::string& text) {
  // An ANSI record's strings end at their first NUL; one inside the text would cut it short.
  std::size_t length = std::min(text.size(), std::strlen(text.c_str()));
  Append(out, text.data(), length);
  out.push_back(0);
}

void PadToFour(std::vector<std::uint8_t>& out, std::size_t start) {
  while ((out.size() - start) % 4 != 0) out.push_back(0);
}

}  // namespace

void ModernEvent::Clear() {
  recordId = 0;
  writtenTime = 0;
  createdTime = 0;
  eventId = 0;
  qualifiers = 0;
  level = 0;
  task = 0;
  keywords = 0;
  provider.clear();
  sourceName.clear();
  computer.clear();
  userSid.clear();
  binary.clear();
  stringCount_ = 0;
}

std::string& ModernEvent::AddString() {
  if (stringCount_ == strings_.size()) strings_.emplace_back();
  std::string& text = strings_[stringCount_++];
  text.clear();
  return text;
}

std::uint16_t ClassicType(std::uint8_t level, std::uint64_t keywords) {
  if (keywords & kAuditFailureKeyword) return EVENTLOG_AUDIT_FAILURE;
  if (keywords & kAuditSuccessKeyword) return EVENTLOG_AUDIT_SUCCESS;
  if (level == kLevelCritical || level == kLevelError) return EVENTLOG_ERROR_TYPE;
  if (level == kLevelWarning) return EVENTLOG_WARNING_TYPE;
  return EVENTLOG_INFORMATION_TYPE;
}

void AppendAnsiRecord(const ModernEvent& event, std::vector<std::uint8_t>& out) {
  const std::size_t start = out.size();
  out.resize(start + kFixedRecordSize, 0);
  AppendText(out, event.sourceName.empty() ? event.provider : event.sourceName);
  AppendText(out, event.computer);
  PadToFour(out, start);
  const auto sidOffset = static_cast<std::uint32_t>(out.size() - start);
  Append(out, event.userSid.data(), event.userSid.size());
  const auto stringOffset = static_cast<std::uint32_t>(out.size() - start);
  const std::size_t strings = std::min<std::size_t>(event.StringCount(), 0xFFFF);
  for (std::size_t i = 0; i < strings; ++i) AppendText(out, event.String(i));
  const auto dataOffset = static_cast<std::uint32_t>(out.size() - start);
  Append(out, event.binary.data(), event.binary.size());
  PadToFour(out, start);
  out.resize(out.size() + 4, 0);
  const auto length = static_cast<std::uint32_t>(out.size() - start);

  const std::uint32_t written = FileTimeToUnix(event.writtenTime);
  const std::uint32_t created = FileTimeToUnix(event.createdTime);
  std::uint8_t* at = out.data() + start;
  PutU32(at + field::kLength, length);
  PutU32(at + field::kReserved, kSignature);
  PutU32(at + field::kRecordNumber, static_cast<std::uint32_t>(event.recordId));
  PutU32(at + field::kTimeGenerated, event.createdTime != 0 ? created : written);
  PutU32(at + field::kTimeWritten, event.writtenTime != 0 ? written : created);
  PutU32(at + field::kEventId, (std::uint32_t{event.qualifiers} << 16) | event.eventId);
  PutU16(at + field::kEventType, ClassicType(event.level, event.keywords));
  PutU16(at + field::kNumStrings, static_cast<std::uint16_t>(strings));
  PutU16(at + field::kEventCategory, event.task);
  PutU32(at + field::kStringOffset, stringOffset);
  PutU32(at + field::kUserSidLength, static_cast<std::uint32_t>(event.userSid.size()));
  PutU32(at + field::kUserSidOffset, sidOffset);
  PutU32(at + field::kDataLength, static_cast<std::uint32_t>(event.binary.size()));
  PutU32(at + field::kDataOffset, dataOffset);
  PutU32(at + length - 4, length);
}

}  // namespace tamsel::platform::eventlog::evtx
