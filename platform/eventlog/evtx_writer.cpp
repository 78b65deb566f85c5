// The .evtx writer of modern machines: one template for classic events, chunks filled in
// turn and reused when the log is full.
#include "platform/eventlog/evtx_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>

#include "platform/eventlog/binxml_values.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evtx_classic.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/eventlog/file_io.h"
#include "platform/eventlog/text_conversion.h"

namespace tamsel::platform::eventlog::evtx {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kNeverOverwrite = 0xFFFFFFFF;
constexpr std::uint32_t kTemplateId = 0x7A3C5E01;  // the first four bytes of its GUID
// The definition follows the record header, the fragment header and the instance's own ten
// bytes in the first record of every chunk, so it lies at the same offset in all of them.
constexpr std::uint32_t kDefinitionOffset = kFirstRecordOffset + kRecordHeaderSize + 4 + 10;
constexpr std::uint8_t kLevelError = 2;
constexpr std::uint8_t kLevelWarning = 3;
constexpr std::uint8_t kLevelInformation = 4;

// The substitutions of the template, in value order.
enum Substitution : std::uint16_t {
  kProvider,
  kQualifiers,
  kEventId,
  kLevel,
  kTask,
  kKeywords,
  kTimeCreated,
  kRecordId,
  kChannel,
  kComputer,
  kUserId,
  kStrings,
  kBinaryData,
  kSubstitutionCount
};

void Add16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Add32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Binary XML of a template definition whose first byte lies at chunk offset `base`.
class TemplateWriter {
 public:
  explicit TemplateWriter(std::uint32_t base) : base_(base) {}
  Bytes& Out() { return out_; }

  std::size_t Open(std::string_view name, bool attributes) {
    out_.push_back(attributes ? 0x41 : 0x01);
    Add16(out_, 0xFFFF);  // no dependency
    std::size_t size = out_.size();
    Add32(out_, 0);
    Name(name);
    if (attributes) {
      attributeList_ = out_.size();
      Add32(out_, 0);
    }
    return size;
  }
  void Attribute(std::string_view name, Substitution index, std::uint8_t type, bool optional,
                 bool last) {
    out_.push_back(last ? 0x06 : 0x46);
    Name(name);
    Substitute(index, type, optional);
    if (last) Patch(attributeList_);
  }
  void Substitute(Substitution index, std::uint8_t type, bool optional) {
    out_.push_back(optional ? 0x0E : 0x0D);
    Add16(out_, index);
    out_.push_back(type);
  }
  void Text(std::string_view text) {
    out_.push_back(0x05);
    out_.push_back(kStringType);
    Add16(out_, static_cast<std::uint16_t>(text.size()));
    for (char c : text) Add16(out_, static_cast<std::uint8_t>(c));
  }
  void Start() { out_.push_back(0x02); }
  void End(std::size_t size) {
    out_.push_back(0x04);
    Patch(size);
  }
  void Empty(std::size_t size) {
    out_.push_back(0x03);
    Patch(size);
  }
  // <name>%index</name>
  void Leaf(std::string_view name, Substitution index, std::uint8_t type, bool optional = false) {
    std::size_t size = Open(name, false);
    Start();
    Substitute(index, type, optional);
    End(size);
  }

 private:
  void Patch(std::size_t at) {
    std::uint32_t size = static_cast<std::uint32_t>(out_.size() - at - 4);
    std::memcpy(&out_[at], &size, 4);
  }
  void Name(std::string_view name) {
    auto known = names_.find(std::string(name));
    if (known != names_.end()) {
      Add32(out_, known->second);
      return;
    }
    std::uint32_t offset = base_ + static_cast<std::uint32_t>(out_.size()) + 4;
    names_.emplace(std::string(name), offset);
    Add32(out_, offset);
    Bytes units;
    for (char c : name) Add16(units, static_cast<std::uint8_t>(c));
    Add32(out_, 0);
    Add16(out_, NameHash(units.data(), name.size()));
    Add16(out_, static_cast<std::uint16_t>(name.size()));
    out_.insert(out_.end(), units.begin(), units.end());
    Add16(out_, 0);
  }

  std::uint32_t base_;
  Bytes out_;
  std::size_t attributeList_ = 0;
  std::map<std::string, std::uint32_t> names_;
};

// The definition (next offset, GUID, size, body) of the template of classic events:
// <Event><System><Provider Name/><EventID Qualifiers>…<Security UserID/></System>
// <EventData><Data>strings</Data><Binary>data</Binary></EventData></Event>
Bytes BuildDefinition() {
  constexpr std::uint32_t kBodyOffset = kDefinitionOffset + 24;
  TemplateWriter xml(kBodyOffset);
  xml.Out() = {0x0F, 0x01, 0x01, 0x00};
  std::size_t event = xml.Open("Event", false);
  xml.Start();
  std::size_t system = xml.Open("System", false);
  xml.Start();
  std::size_t provider = xml.Open("Provider", true);
  xml.Attribute("Name", kProvider, kStringType, false, true);
  xml.Empty(provider);
  std::size_t eventId = xml.Open("EventID", true);
  xml.Attribute("Qualifiers", kQualifiers, kUInt16Type, false, true);
  xml.Start();
  xml.Substitute(kEventId, kUInt16Type, false);
  xml.End(eventId);
  xml.Leaf("Level", kLevel, kUInt8Type);
  xml.Leaf("Task", kTask, kUInt16Type);
  xml.Leaf("Keywords", kKeywords, kHexInt64Type);
  std::size_t time = xml.Open("TimeCreated", true);
  xml.Attribute("SystemTime", kTimeCreated, kFileTimeType, false, true);
  xml.Empty(time);
  xml.Leaf("EventRecordID", kRecordId, kUInt64Type);
  xml.Leaf("Channel", kChannel, kStringType);
  xml.Leaf("Computer", kComputer, kStringType);
  std::size_t security = xml.Open("Security", true);
  xml.Attribute("UserID", kUserId, kSidType, true, true);
  xml.Empty(security);
  xml.End(system);
  std::size_t data = xml.Open("EventData", false);
  xml.Start();
  xml.Leaf("Data", kStrings, kStringType | kArrayFlag, true);
  xml.Leaf("Binary", kBinaryData, kBinaryType, true);
  xml.End(data);
  xml.End(event);
  xml.Out().push_back(0x00);

  Bytes definition;
  Add32(definition, 0);  // no next definition in the bucket
  const std::uint8_t guid[16] = {0x01, 0x5E, 0x3C, 0x7A, 0x2B, 0x91, 0x4E, 0x4D,
                                 0x8A, 0x17, 0x54, 0x61, 0x6D, 0x73, 0x65, 0x6C};
  definition.insert(definition.end(), guid, guid + 16);
  Add32(definition, static_cast<std::uint32_t>(xml.Out().size()));
  definition.insert(definition.end(), xml.Out().begin(), xml.Out().end());
  return definition;
}

const Bytes& Definition() {
  static const Bytes definition = BuildDefinition();
  return definition;
}

struct Level {
  std::uint8_t level;
  std::uint64_t keywords;
};

// Classic types as modern logs keep them: audits by keyword, the rest by level.
Level LevelOf(std::uint16_t type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE:
      return {kLevelError, kClassicKeyword};
    case EVENTLOG_WARNING_TYPE:
      return {kLevelWarning, kClassicKeyword};
    case EVENTLOG_AUDIT_SUCCESS:
      return {0, kClassicKeyword | kAuditSuccessKeyword};
    case EVENTLOG_AUDIT_FAILURE:
      return {0, kClassicKeyword | kAuditFailureKeyword};
    default:
      return {kLevelInformation, kClassicKeyword};
  }
}

template <typename T>
void AddNumber(std::vector<std::pair<std::uint8_t, Bytes>>& values, std::uint8_t type, T number) {
  Bytes bytes(sizeof(T));
  std::memcpy(bytes.data(), &number, sizeof(T));
  values.emplace_back(type, std::move(bytes));
}

void AddText(std::vector<std::pair<std::uint8_t, Bytes>>& values, const std::string& text) {
  Bytes units;
  AppendUtf16Le(text, units);
  values.emplace_back(kStringType, std::move(units));
}

}  // namespace

std::vector<std::uint8_t> EventStream(const EventFields& fields, std::uint64_t recordId,
                                      std::uint64_t createdTime, const std::string& channel,
                                      bool defineTemplate) {
  std::vector<std::pair<std::uint8_t, Bytes>> values;
  const Level level = LevelOf(fields.eventType);
  AddText(values, fields.source);
  AddNumber<std::uint16_t>(values, kUInt16Type, static_cast<std::uint16_t>(fields.eventId >> 16));
  AddNumber<std::uint16_t>(values, kUInt16Type, static_cast<std::uint16_t>(fields.eventId));
  AddNumber<std::uint8_t>(values, kUInt8Type, level.level);
  AddNumber<std::uint16_t>(values, kUInt16Type, fields.category);
  AddNumber<std::uint64_t>(values, kHexInt64Type, level.keywords);
  AddNumber<std::uint64_t>(values, kFileTimeType, createdTime);
  AddNumber<std::uint64_t>(values, kUInt64Type, recordId);
  AddText(values, channel);
  AddText(values, fields.computer);
  values.emplace_back(fields.userSid.empty() ? kNullType : kSidType, fields.userSid);
  Bytes strings;
  for (const std::string& text : fields.strings) {
    AppendUtf16Le(text, strings);
    strings.insert(strings.end(), {0, 0});
  }
  values.emplace_back(fields.strings.empty() ? kNullType : kStringType | kArrayFlag,
                      std::move(strings));
  values.emplace_back(fields.data.empty() ? kNullType : kBinaryType, fields.data);

  Bytes stream = {0x0F, 0x01, 0x01, 0x00, 0x0C, 0x01};
  Add32(stream, kTemplateId);
  Add32(stream, kDefinitionOffset);
  if (defineTemplate) stream.insert(stream.end(), Definition().begin(), Definition().end());
  Add32(stream, kSubstitutionCount);
  for (const auto& [type, bytes] : values) {
    if (bytes.size() > 0xFFFF) return {};  // a value the format cannot describe
    Add16(stream, static_cast<std::uint16_t>(bytes.size()));
    stream.push_back(type);
    stream.push_back(0);
  }
  for (const auto& value : values)
    stream.insert(stream.end(), value.second.begin(), value.second.end());
  stream.push_back(0x00);
  return stream;
}

Win32Error WriteEmptyLog(const std::filesystem::path& path) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, path);
  Bytes file(kFileHeaderBlock, 0);
  auto header = EncodeFileHeader(0, 0, 1, 0, 0);
  std::memcpy(file.data(), header.data(), header.size());
  if (Win32Error status = WriteAll(fd.Get(), 0, file.data(), file.size())) return status;
  if (fsync(fd.Get()) != 0) return ErrnoToWin32(errno, path);
  return ERROR_SUCCESS;
}

std::uint64_t EvtxWriter::ChunkOffset(std::uint64_t index) const {
  return kFileHeaderBlock + index * kChunkSize;
}

Win32Error EvtxWriter::ReadState(State& state) const {
  std::uint8_t header[kFileHeaderSize];
  if (!ReadExact(fd_, 0, header, sizeof header) || !HasFileSignature(header)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  state.first = U64(header + file_field::kFirstChunk);
  state.last = U64(header + file_field::kLastChunk);
  state.nextId = U64(header + file_field::kNextRecordId);
  state.count = U16(header + file_field::kChunkCount);
  state.flags = U32(header + file_field::kFlags);
  if (state.nextId == 0) state.nextId = 1;
  if (state.count > 0 && (state.first >= state.count || state.last >= state.count)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  return ERROR_SUCCESS;
}

Win32Error EvtxWriter::StartChunk(State& state, std::uint32_t slots, std::uint32_t retention,
                                  std::uint32_t now, std::uint64_t& index) {
  if (state.count == 0) {
    index = state.first = state.last = 0;
    state.count = 1;
    return ERROR_SUCCESS;
  }
  if (state.count < slots && state.last + 1 == state.count) {
    index = state.last + 1;
    ++state.count;
    return ERROR_SUCCESS;
  }
  // Full: the oldest chunk is reused if retention allows.
  bool protect = retention == kNeverOverwrite;
  if (!protect && retention != 0) {
    std::uint8_t head[kChunkHeaderSize];
    std::uint8_t record[kRecordHeaderSize];
    if (!ReadExact(fd_, ChunkOffset(state.first), head, sizeof head)) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    std::uint32_t last = U32(head + chunk_field::kLastRecordOffset);
    if (last >= kFirstRecordOffset && last <= kChunkSize - kRecordHeaderSize &&
        ReadExact(fd_, ChunkOffset(state.first) + last, record, sizeof record)) {
      protect = now - FileTimeToUnix(U64(record + 16)) < retention;
    }
  }
  if (protect) {
    auto header = EncodeFileHeader(state.first, state.last, state.nextId, state.count,
                                   state.flags | kFileFull);
    WriteAll(fd_, 0, header.data(), header.size());
    return ERROR_LOG_FILE_FULL;
  }
  index = state.first;
  state.first = (state.first + 1) % state.count;
  return ERROR_SUCCESS;
}

Win32Error EvtxWriter::Append(const EventFields& fields, const std::string& channel,
                              std::uint32_t maxSize, std::uint32_t retention, std::uint32_t now) {
  State state;
  if (Win32Error status = ReadState(state)) return status;
  const std::uint64_t created = UnixToFileTime(fields.timeGenerated);
  const std::uint64_t id = state.nextId;
  auto frame = [&](bool define) {
    Bytes stream = EventStream(fields, id, created, channel, define);
    if (stream.empty()) return stream;
    std::uint32_t size = (kRecordHeaderSize + stream.size() + 4 + 7) / 8 * 8;
    Bytes record(size, 0);
    Put32(record.data(), kRecordSignature);
    Put32(record.data() + 4, size);
    Put64(record.data() + 8, id);
    Put64(record.data() + 16, UnixToFileTime(now));
    std::memcpy(record.data() + kRecordHeaderSize, stream.data(), stream.size());
    Put32(record.data() + size - 4, size);
    return record;
  };

  std::uint8_t head[kFirstRecordOffset] = {};
  std::uint64_t index = state.last;
  bool fresh = true;
  Bytes record = frame(false);
  if (record.empty()) return ERROR_LOG_FILE_FULL;
  if (state.count > 0) {
    if (!ReadExact(fd_, ChunkOffset(index), head, sizeof head) || !HasChunkSignature(head)) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    std::uint32_t free = U32(head + chunk_field::kFreeSpaceOffset);
    fresh = free < kFirstRecordOffset || free > kChunkSize || record.size() > kChunkSize - free;
  }
  std::uint32_t at = U32(head + chunk_field::kFreeSpaceOffset);
  if (fresh) {
    const std::uint32_t slots = std::max<std::uint32_t>(
        1, maxSize > kFileHeaderBlock ? (maxSize - kFileHeaderBlock) / kChunkSize : 1);
    record = frame(true);
    if (record.empty() || record.size() > kChunkSize - kFirstRecordOffset) {
      return ERROR_LOG_FILE_FULL;
    }
    if (Win32Error status =
            StartChunk(state, std::max<std::uint32_t>(slots, 1), retention, now, index)) {
      return status;
    }
    std::memset(head, 0, sizeof head);
    std::memcpy(head, kChunkSignature.data(), kChunkSignature.size());
    Put64(head + chunk_field::kFirstNumber, id);
    Put64(head + chunk_field::kFirstId, id);
    Put32(head + chunk_field::kHeaderSize, kChunkHeaderSize);
    at = kFirstRecordOffset;
    // The whole chunk is written afresh, so nothing of a reused one survives as slack.
    Bytes blank(kChunkSize - kFirstRecordOffset, 0);
    if (Win32Error status =
            WriteAll(fd_, ChunkOffset(index) + kFirstRecordOffset, blank.data(), blank.size())) {
      return status;
    }
  }
  const std::uint32_t crc = at == kFirstRecordOffset ? 0 : U32(head + chunk_field::kDataChecksum);
  if (Win32Error status = WriteAll(fd_, ChunkOffset(index) + at, record.data(), record.size())) {
    return status;
  }
  Put64(head + chunk_field::kLastNumber, id);
  Put64(head + chunk_field::kLastId, id);
  Put32(head + chunk_field::kLastRecordOffset, at);
  Put32(head + chunk_field::kFreeSpaceOffset, at + static_cast<std::uint32_t>(record.size()));
  Put32(head + chunk_field::kDataChecksum, Crc32(record.data(), record.size(), crc));
  Put32(head + chunk_field::kHeaderChecksum, ChunkHeaderChecksum(head));
  if (Win32Error status = WriteAll(fd_, ChunkOffset(index), head, sizeof head)) return status;
  state.last = index;
  auto header = EncodeFileHeader(state.first, state.last, id + 1, state.count,
                                 state.flags & ~(kFileDirty | kFileFull));
  return WriteAll(fd_, 0, header.data(), header.size());
}

}  // namespace tamsel::platform::eventlog::evtx
