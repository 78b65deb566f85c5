// The classic records of the few .evtx chunks in use. A reader goes through a log chunk by
// chunk, forwards or backwards, so a handful of decoded chunks serves it; the rest of the file
// stays on disk.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tamsel::platform::eventlog::evtx {

// One chunk's records in classic ANSI form, in the order the chunk holds them.
struct ClassicChunk {
  struct Record {
    std::uint64_t id;
    std::uint32_t offset;
    std::uint32_t length;
  };
  std::uint32_t index = 0;
  std::vector<std::uint8_t> blob;
  std::vector<Record> records;

  std::span<const std::uint8_t> Bytes(const Record& record) const {
    return {blob.data() + record.offset, record.length};
  }
};

class ChunkCache {
 public:
  static constexpr std::size_t kCapacity = 4;

  // The decoded chunk `index`, or null.
  const ClassicChunk* Find(std::uint32_t index);
  // The least recently used place, emptied (its storage kept) and given to chunk `index`.
  ClassicChunk& Replace(std::uint32_t index);
  std::size_t Size() const;

 private:
  std::array<ClassicChunk, kCapacity> chunks_;
  std::array<std::uint64_t, kCapacity> lastUse_{};  // 0: the place is empty
  std::uint64_t clock_ = 0;
};

}  // namespace tamsel::platform::eventlog::evtx
