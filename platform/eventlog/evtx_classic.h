// What a modern event gives the classic record: the fields gathered from its XML, the rules
// that turn level, keywords, qualifiers and provider into the classic type, event id and
// source, and the ANSI record ReadEventLogA hands out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel::platform::eventlog::evtx {

// Keyword bits of audit events.
inline constexpr std::uint64_t kAuditFailureKeyword = 0x0010000000000000ULL;
inline constexpr std::uint64_t kAuditSuccessKeyword = 0x0020000000000000ULL;
inline constexpr std::uint64_t kClassicKeyword = 0x0080000000000000ULL;

// The fields of one event as its XML gives them. Reused from record to record, so strings
// keep their storage.
struct ModernEvent {
  std::uint64_t recordId = 0;
  std::uint64_t writtenTime = 0;  // FILETIME of the record header
  std::uint64_t createdTime = 0;  // TimeCreated, 0 when absent
  std::uint16_t eventId = 0;
  std::uint16_t qualifiers = 0;  // 0 when absent, as for manifest providers
  std::uint8_t level = 0;
  std::uint16_t task = 0;
  std::uint64_t keywords = 0;
  std::string provider;
  std::string sourceName;  // EventSourceName, empty when absent
  std::string computer;
  std::vector<std::uint8_t> userSid;
  std::vector<std::uint8_t> binary;  // EventData/Binary, else BinaryEventData

  void Clear();
  // The next insertion string, emptied.
  std::string& AddString();
  std::size_t StringCount() const { return stringCount_; }
  const std::string& String(std::size_t index) const { return strings_[index]; }

 private:
  std::vector<std::string> strings_;
  std::size_t stringCount_ = 0;
};

// The classic type: audit keywords first, then the level.
std::uint16_t ClassicType(std::uint8_t level, std::uint64_t keywords);

// Appends the event in the ANSI record form of ReadEventLogA (4-byte aligned, length at both
// ends).
void AppendAnsiRecord(const ModernEvent& event, std::vector<std::uint8_t>& out);

}  // namespace tamsel::platform::eventlog::evtx
