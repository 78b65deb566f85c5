// Decoding a whole .evtx file into ordered classic records.
#include "platform/eventlog/evtx_records.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/eventlog/evtx_chunk.h"
#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx {

Win32Error EvtxRecords::Decode(std::span<const std::uint8_t> file) {
  blob_.clear();
  entries_.clear();
  skipped_ = 0;
  nextId_ = 1;
  if (file.size() < kFileHeaderBlock || !HasFileSignature(file)) return ERROR_EVENTLOG_FILE_CORRUPT;
  ChunkReader reader;
  std::vector<std::uint8_t> partial;
  bool ordered = true;
  auto sink = [&](const ModernEvent& event) {
    if (!entries_.empty() && event.recordId <= entries_.back().id) ordered = false;
    Entry entry{event.recordId, static_cast<std::uint32_t>(blob_.size()), 0};
    AppendAnsiRecord(event, blob_);
    entry.length = static_cast<std::uint32_t>(blob_.size() - entry.offset);
    entries_.push_back(entry);
  };
  // Header counters may be stale (a dirty file) or wrong: every chunk present is read.
  for (std::uint64_t at = kFileHeaderBlock; at < file.size(); at += kChunkSize) {
    const std::uint64_t available = std::min<std::uint64_t>(kChunkSize, file.size() - at);
    std::span<const std::uint8_t> chunk = file.subspan(at, available);
    if (available < kChunkSize) {
      partial.assign(kChunkSize, 0);
      std::memcpy(partial.data(), chunk.data(), available);
      chunk = partial;
    }
    ChunkReader::Outcome outcome = reader.Read(chunk, static_cast<std::uint32_t>(available), sink);
    skipped_ += outcome.skipped;
  }
  if (!ordered) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.id < b.id; });
    // A record met twice (a stale copy left by a wrap) is kept once.
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const Entry& a, const Entry& b) { return a.id == b.id; }),
                   entries_.end());
  }
  if (!entries_.empty()) nextId_ = entries_.back().id + 1;
  return ERROR_SUCCESS;
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
