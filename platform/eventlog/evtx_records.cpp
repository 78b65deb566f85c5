// Indexing an .evtx file into ordered records, and their classic form chunk by chunk.
#include "platform/eventlog/evtx_records.h"

#include <algorithm>

#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx {

Win32Error EvtxRecords::Decode(std::span<const std::uint8_t> file) {
  source_ = ChunkSource::FromBytes(file);
  return Index();
}

Win32Error EvtxRecords::Open(UniqueFd fd, std::uint64_t size) {
  source_ = ChunkSource::FromFile(std::move(fd), size);
  return Index();
}

Win32Error EvtxRecords::Index() {
  cache_ = ChunkCache();
  entries_.clear();
  skipped_ = 0;
  nextId_ = 1;
  if (!source_.HasFileHeader()) return ERROR_EVENTLOG_FILE_CORRUPT;
  bool ordered = true;
  std::uint32_t chunk = 0;
  std::uint32_t place = 0;
  auto sink = [&](const ModernEvent& event) {
    if (!entries_.empty() && event.recordId <= entries_.back().id) ordered = false;
    entries_.push_back({event.recordId, chunk, place++});
  };
  // Header counters may be stale (a dirty file) or wrong: every chunk present is read.
  const std::uint32_t chunks = source_.ChunkCount();
  for (; chunk < chunks; ++chunk) {
    std::uint32_t available = 0;
    std::span<const std::uint8_t> bytes = source_.Chunk(chunk, scratch_, available);
    if (bytes.empty()) return ERROR_EVENTLOG_FILE_CORRUPT;
    place = 0;
    skipped_ += reader_.Read(bytes, available, sink).skipped;
  }
  if (!ordered) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.id < b.id; });
    // A record met twice (a stale copy left by a wrap) is kept once.
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const Entry& a, const Entry& b) { return a.id == b.id; }),
                   entries_.end());
  }
  entries_.shrink_to_fit();
  if (!entries_.empty()) nextId_ = entries_.back().id + 1;
  return ERROR_SUCCESS;
}

const ClassicChunk* EvtxRecords::Decoded(std::uint32_t chunk) {
  if (const ClassicChunk* found = cache_.Find(chunk)) return found;
  std::uint32_t available = 0;
  std::span<const std::uint8_t> bytes = source_.Chunk(chunk, scratch_, available);
  if (bytes.empty()) return nullptr;
  ClassicChunk& decoded = cache_.Replace(chunk);
  reader_.Read(bytes, available, [&](const ModernEvent& event) {
    ClassicChunk::Record record{event.recordId, static_cast<std::uint32_t>(decoded.blob.size()), 0};
    AppendAnsiRecord(event, decoded.blob);
    record.length = static_cast<std::uint32_t>(decoded.blob.size() - record.offset);
    decoded.records.push_back(record);
  });
  return &decoded;
}

std::span<const std::uint8_t> EvtxRecords::Record(std::size_t index) {
  const Entry& entry = entries_[index];
  const ClassicChunk* chunk = Decoded(entry.chunk);
  // The same bytes decode to the same records: anything else means the file changed.
  if (chunk == nullptr || entry.place >= chunk->records.size() ||
      chunk->records[entry.place].id != entry.id) {
    return {};
  }
  return chunk->Bytes(chunk->records[entry.place]);
}

std::size_t EvtxRecords::Find(std::uint32_t number) const {
  // Numbers are the low 32 bits of ordered identifiers: look near the expected place first.
  if (!entries_.empty()) {
    std::uint32_t first = Number(0);
    std::size_t guess = number - first;
    if (guess < entries_.size() && Number(guess) == number) return guess;
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (Number(i) == number) return i;
  }
  return entries_.size();
}

}  // namespace tamsel::platform::eventlog::evtx
