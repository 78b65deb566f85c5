// Reading one .evtx chunk: checks, the record walk, template instances and their values.
#include "platform/eventlog/evtx_chunk.h"

#include <algorithm>

#include "platform/accounts/sid.h"
#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx {

namespace {

constexpr std::uint8_t kEndOfStream = 0x00;
constexpr std::uint8_t kOpenStart = 0x01;
constexpr std::uint8_t kTemplateInstance = 0x0C;
constexpr std::uint8_t kFragmentHeader = 0x0F;
constexpr std::uint8_t kMoreFlag = 0x40;
constexpr std::uint32_t kTemplateHeaderSize = 24;  // next, GUID, data size
constexpr std::uint8_t kMaxSubAuthorities = 15;
constexpr std::uint32_t kMaxRecordsPerChunk = (kChunkSize - kFirstRecordOffset) / kMinRecordSize;

bool AllZero(const std::uint8_t* bytes, std::size_t size) {
  return std::all_of(bytes, bytes + size, [](std::uint8_t byte) { return byte == 0; });
}

// The record count the chunk header announces, when it is believable.
std::uint32_t Announced(const std::uint8_t* chunk) {
  std::uint64_t first = U64(chunk + chunk_field::kFirstNumber);
  std::uint64_t last = U64(chunk + chunk_field::kLastNumber);
  if (last < first || last - first >= kMaxRecordsPerChunk) return 0;
  return static_cast<std::uint32_t>(last - first + 1);
}

}  // namespace

ChunkReader::Outcome ChunkReader::Read(std::span<const std::uint8_t> chunk, std::uint32_t available,
                                       const Sink& sink) {
  Outcome outcome;
  chunk_ = chunk;
  limit_ = std::min<std::uint32_t>(available, static_cast<std::uint32_t>(chunk.size()));
  templates_.clear();
  valueStack_.resize(kMaxNestedFragments + 2);
  const std::uint8_t* bytes = chunk.data();
  if (limit_ < kFirstRecordOffset || !HasChunkSignature(bytes)) {
    if (AllZero(bytes, limit_)) {
      outcome.empty = true;
    } else {
      // A chunk that is not one, or one cut off inside its header: nothing in it is trusted.
      outcome.skipped = limit_ >= chunk_field::kHeaderSize ? std::max(Announced(bytes), 1u) : 1;
    }
    return outcome;
  }
  const bool headerOk = ChunkHeaderChecksum(bytes) == U32(bytes + chunk_field::kHeaderChecksum);
  const std::uint32_t announced = headerOk ? Announced(bytes) : 0;
  std::uint32_t end = limit_;
  const std::uint32_t freeSpace = U32(bytes + chunk_field::kFreeSpaceOffset);
  if (headerOk && freeSpace >= kFirstRecordOffset && freeSpace <= kChunkSize) {
    end = std::min(end, freeSpace);
  }
  std::uint32_t failed = 0;
  std::uint32_t offset = kFirstRecordOffset;
  while (offset + kMinRecordSize <= end) {
    const std::uint32_t signature = U32(bytes + offset);
    const std::uint32_t size = U32(bytes + offset + 4);
    if (signature == 0 && size == 0) break;  // the rest is unused
    bool framed = signature == kRecordSignature && size >= kMinRecordSize && size <= end - offset &&
                  U32(bytes + offset + size - 4) == size;
    if (!framed) {
      // Look for the next whole record; what lies between is lost.
      ++failed;
      std::uint32_t next = offset + 1;
      for (; next + kMinRecordSize <= end; ++next) {
        std::uint32_t candidate = U32(bytes + next + 4);
        if (U32(bytes + next) == kRecordSignature && candidate >= kMinRecordSize &&
            candidate <= end - next && U32(bytes + next + candidate - 4) == candidate) {
          break;
        }
      }
      offset = next;
      continue;
    }
    if (DecodeRecord(offset, size)) {
      ++outcome.kept;
      sink(event_);
    } else {
      ++failed;
    }
    offset += size;
  }
  outcome.skipped = std::max(failed, announced > outcome.kept ? announced - outcome.kept : 0);
  return outcome;
}

bool ChunkReader::DecodeRecord(std::uint32_t offset, std::uint32_t size) {
  event_.Clear();
  slotsLeft_ = kMaxSlotsPerRecord;
  event_.recordId = U64(chunk_.data() + offset + 8);
  event_.writtenTime = U64(chunk_.data() + offset + 16);
  return Fragment(offset + kRecordHeaderSize, offset + size - 4, Context::kTop, 0);
}

bool ChunkReader::Fragment(std::uint32_t begin, std::uint32_t end, Context context, int depth) {
  if (depth > kMaxNestedFragments) return false;
  std::uint32_t pos = begin;
  while (pos < end) {
    const std::uint8_t token = chunk_[pos];
    if (token == kEndOfStream) return true;
    if (token == kFragmentHeader) {
      pos += 4;
    } else if (token == kTemplateInstance) {
      if (!TemplateInstance(pos, end, context, depth)) return false;
    } else if ((token & ~kMoreFlag) == kOpenStart) {
      // Elements written straight into the stream carry their own text and no substitutions.
      Program program;
      if (!CompileFragment(chunk_.first(limit_), pos, end, false, context, program, pos)) {
        return false;
      }
      static const std::vector<Value> kNoValues;
      if (!Run(program, kNoValues, context, depth)) return false;
    } else {
      return false;
    }
  }
  return pos == end;
}

bool ChunkReader::TemplateInstance(std::uint32_t& pos, std::uint32_t end, Context context,
                                   int depth) {
  if (end - pos < 10) return false;
  const std::uint32_t definition = U32(chunk_.data() + pos + 6);
  std::uint32_t at = pos + 10;
  std::uint32_t definitionEnd = 0;
  if (definition > at) return false;  // defined later in the chunk: not to be trusted
  const Program* program = Template(definition, definitionEnd, context);
  if (program == nullptr) return false;
  if (definition == at) {
    if (definitionEnd > end) return false;
    at = definitionEnd;
  }
  if (end - at < 4) return false;
  const std::uint32_t count = U32(chunk_.data() + at);
  at += 4;
  if (count > (end - at) / 4) return false;
  std::vector<Value>& values = valueStack_[depth];
  values.clear();
  std::uint32_t data = at + 4 * count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* descriptor = chunk_.data() + at + 4 * i;
    const std::uint32_t size = U16(descriptor);
    if (size > end - data) return false;
    values.push_back({descriptor[2], chunk_.data() + data, size});
    data += size;
  }
  pos = data;
  return Run(*program, values, context, depth);
}

const Program* ChunkReader::Template(std::uint32_t offset, std::uint32_t& definitionEnd,
                                     Context context) {
  const std::uint64_t key = (std::uint64_t{offset} << 8) | static_cast<std::uint8_t>(context);
  auto found = templates_.find(key);
  if (found == templates_.end()) {
    Cached cached;
    if (offset >= kFirstRecordOffset && offset <= limit_ - kTemplateHeaderSize) {
      const std::uint64_t end =
          std::uint64_t{offset} + kTemplateHeaderSize + U32(chunk_.data() + offset + 20);
      std::uint32_t stop = 0;
      cached.ok =
          end <= limit_ &&
          CompileFragment(chunk_.first(limit_), offset + kTemplateHeaderSize,
                          static_cast<std::uint32_t>(end), true, context, cached.program, stop);
      cached.definitionEnd = static_cast<std::uint32_t>(end);
    }
    found = templates_.emplace(key, std::move(cached)).first;
  }
  definitionEnd = found->second.definitionEnd;
  return found->second.ok ? &found->second.program : nullptr;
}

bool ChunkReader::Run(const Program& program, const std::vector<Value>& values, Context context,
                      int depth) {
  for (const Slot& slot : program.slots) {
    if (!Fill(slot, values, depth)) return false;
  }
  return true;
}

bool ChunkReader::Fill(const Slot& slot, const std::vector<Value>& values, int depth) {
  if (slotsLeft_ == 0) return false;
  --slotsLeft_;
  static const Value kNull;
  auto valueOf = [&](std::int32_t index) -> const Value& {
    return index >= 0 && static_cast<std::size_t>(index) < values.size() ? values[index] : kNull;
  };
  for (std::uint16_t dependency : slot.dependencies) {
    if (valueOf(dependency).IsNull()) return true;  // the element is not there
  }
  for (const Piece& piece : slot.pieces) {
    if (piece.optional && valueOf(piece.substitution).IsNull()) return true;
  }
  auto nested = [&](const Value& value) {
    auto begin = static_cast<std::uint32_t>(value.data - chunk_.data());
    return Fragment(begin, begin + value.size, slot.context, depth + 1);
  };
  if (slot.role == Role::kNested) {
    for (const Piece& piece : slot.pieces) {
      const Value& value = valueOf(piece.substitution);
      if (value.type == kBinXmlType && !nested(value)) return false;
    }
    return true;
  }
  const Value* single = slot.pieces.size() == 1 && slot.pieces[0].substitution != kNoSubstitution
                            ? &valueOf(slot.pieces[0].substitution)
                            : nullptr;
  if (single && single->type == kBinXmlType) return nested(*single);
  auto render = [&](std::string& out) {
    for (const Piece& piece : slot.pieces) {
      if (piece.substitution == kNoSubstitution) {
        out += piece.literal;
      } else {
        AppendValueText(valueOf(piece.substitution), out);
      }
    }
  };
  auto number = [&](std::uint64_t& result) {
    if (single && ValueAsInteger(*single, result)) return true;
    text_.clear();
    render(text_);
    return ParseInteger(text_, result);
  };
  auto bytes = [&](std::vector<std::uint8_t>& out) {
    if (single && single->type == kBinaryType) {
      out.assign(single->data, single->data + single->size);
      return;
    }
    text_.clear();
    render(text_);
    if (!ParseHexBytes(text_, out)) out.clear();
  };
  std::uint64_t result = 0;
  switch (slot.role) {
    case Role::kString:
      if (single && single->IsArray() && slot.element) {
        SplitArray(*single, items_);
        if (items_.empty()) event_.AddString();
        for (const Value& item : items_) AppendValueText(item, event_.AddString());
      } else {
        render(event_.AddString());
      }
      break;
    case Role::kEventId:
      if (number(result)) event_.eventId = static_cast<std::uint16_t>(result);
      break;
    case Role::kQualifiers:
      if (number(result)) event_.qualifiers = static_cast<std::uint16_t>(result);
      break;
    case Role::kLevel:
      if (number(result)) event_.level = static_cast<std::uint8_t>(result);
      break;
    case Role::kTask:
      if (number(result)) event_.task = static_cast<std::uint16_t>(result);
      break;
    case Role::kKeywords:
      if (number(result)) event_.keywords = result;
      break;
    case Role::kTimeCreated:
      if (!(single && ValueAsFileTime(*single, event_.createdTime))) {
        text_.clear();
        render(text_);
        if (!ParseIsoTime(text_, event_.createdTime)) event_.createdTime = 0;
      }
      break;
    case Role::kUserId:
      if (single && single->type == kSidType) {
        const std::uint8_t* sid = single->data;
        if (single->size >= 8 && sid[0] == 1 && sid[1] <= kMaxSubAuthorities &&
            single->size == 8u + 4u * sid[1]) {
          event_.userSid.assign(sid, sid + single->size);
        }
      } else {
        text_.clear();
        render(text_);
        if (auto sid = accounts::Sid::FromString(text_)) event_.userSid = sid->Bytes();
      }
      break;
    case Role::kBinary:
      bytes(event_.binary);
      break;
    case Role::kPayloadBinary:
      if (event_.binary.empty()) bytes(event_.binary);
      break;
    case Role::kProviderName:
      event_.provider.clear();
      render(event_.provider);
      break;
    case Role::kSourceName:
      event_.sourceName.clear();
      render(event_.sourceName);
      break;
    case Role::kComputer:
      event_.computer.clear();
      render(event_.computer);
      break;
    case Role::kNone:
    case Role::kNested:
      break;
  }
  return true;
}

}  // namespace tamsel::platform::eventlog::evtx
