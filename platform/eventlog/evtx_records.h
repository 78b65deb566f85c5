// Every record of an .evtx file in the classic ANSI form, oldest first: all chunks present in
// the file are read whatever the (possibly stale) file header says, records are put in order
// of their identifiers (a wrapped log keeps its chunks out of order), repeated identifiers are
// dropped, and what had to be skipped is counted.
//
// Only an index is held (identifier, chunk, place in the chunk), built by decoding each chunk
// once; a record asked for is decoded again with the rest of its chunk, and the few chunks in
// use are kept. Memory follows the number of records, not the size of the file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/eventlog/evtx_chunk.h"
#include "platform/eventlog/evtx_chunk_cache.h"
#include "platform/eventlog/evtx_chunk_source.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog::evtx {

class EvtxRecords {
 public:
  // Indexes a copy of `file`. ERROR_EVENTLOG_FILE_CORRUPT when the bytes are no .evtx file
  // (signature, or shorter than its header block).
  Win32Error Decode(std::span<const std::uint8_t> file);
  // Indexes the first `size` bytes of the file open on `fd`, which is kept for reading records;
  // ERROR_EVENTLOG_FILE_CORRUPT as for Decode, or when the file cannot be read.
  Win32Error Open(UniqueFd fd, std::uint64_t size);

  std::size_t Count() const { return entries_.size(); }
  // The record in classic form, valid until the next call; empty when the file no longer
  // holds it (changed or cut short since it was indexed).
  std::span<const std::uint8_t> Record(std::size_t index);
  std::uint32_t Number(std::size_t index) const {
    return static_cast<std::uint32_t>(entries_[index].id);
  }
  // The index of the record with that number, or Count().
  std::size_t Find(std::uint32_t number) const;
  // Records the file announced or held that could not be read.
  std::uint32_t Skipped() const { return skipped_; }
  // One more than the largest record identifier read (1 for an empty log).
  std::uint64_t NextRecordId() const { return nextId_; }
  // Chunks held in classic form at the moment.
  std::size_t DecodedChunks() const { return cache_.Size(); }

 private:
  struct Entry {
    std::uint64_t id;
    std::uint32_t chunk;
    std::uint32_t place;  // among the records the chunk yields
  };

  Win32Error Index();
  const ClassicChunk* Decoded(std::uint32_t chunk);

  ChunkSource source_;
  ChunkReader reader_;
  std::vector<std::uint8_t> scratch_;  // one chunk read from the file
  ChunkCache cache_;
  std::vector<Entry> entries_;
  std::uint32_t skipped_ = 0;
  std::uint64_t nextId_ = 1;
};

}  // namespace tamsel::platform::eventlog::evtx
