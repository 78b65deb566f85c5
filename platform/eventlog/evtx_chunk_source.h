// Where the chunks of an .evtx file come from: bytes held in memory, or an open descriptor read
// one chunk at a time, so that a large log never has to be held whole.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/eventlog/file_io.h"

namespace tamsel::platform::eventlog::evtx {

class ChunkSource {
 public:
  ChunkSource() = default;
  // A copy of `file`: the source does not depend on the caller's buffer.
  static ChunkSource FromBytes(std::span<const std::uint8_t> file);
  // `size` bytes of the regular file behind `fd`, as it was when it was opened.
  static ChunkSource FromFile(UniqueFd fd, std::uint64_t size);

  std::uint64_t Size() const { return size_; }
  // The file begins with an .evtx file header.
  bool HasFileHeader() const;
  // Chunks present, the last one possibly cut short.
  std::uint32_t ChunkCount() const;

  // Chunk `index` as kChunkSize bytes, zero past the end of the file, either in place or in
  // `scratch`; `available` tells how many came from the file. Empty when it cannot be read.
  std::span<const std::uint8_t> Chunk(std::uint32_t index, std::vector<std::uint8_t>& scratch,
                                      std::uint32_t& available) const;

 private:
  bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const;

  std::vector<std::uint8_t> bytes_;  // FromBytes
  UniqueFd fd_;                      // FromFile
  std::uint64_t size_ = 0;
};

}  // namespace tamsel::platform::eventlog::evtx
