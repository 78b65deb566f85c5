// Chunks of an .evtx file from memory or from its descriptor.
#include "platform/eventlog/evtx_chunk_source.h"

#include <algorithm>
#include <cstring>

#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx {

ChunkSource ChunkSource::FromBytes(std::span<const std::uint8_t> file) {
  ChunkSource source;
  source.bytes_.assign(file.begin(), file.end());
  source.size_ = file.size();
  return source;
}

ChunkSource ChunkSource::FromFile(UniqueFd fd, std::uint64_t size) {
  ChunkSource source;
  source.fd_ = std::move(fd);
  source.size_ = size;
  return source;
}

bool ChunkSource::HasFileHeader() const {
  std::uint8_t signature[kFileSignature.size()];
  return size_ >= kFileHeaderBlock && ReadAt(0, signature, sizeof signature) &&
         HasFileSignature(signature);
}

std::uint32_t ChunkSource::ChunkCount() const {
  if (size_ <= kFileHeaderBlock) return 0;
  return static_cast<std::uint32_t>((size_ - kFileHeaderBlock + kChunkSize - 1) / kChunkSize);
}

std::span<const std::uint8_t> ChunkSource::Chunk(std::uint32_t index,
                                                 std::vector<std::uint8_t>& scratch,
                                                 std::uint32_t& available) const {
  const std::uint64_t at = kFileHeaderBlock + std::uint64_t{index} * kChunkSize;
  available = 0;
  if (at >= size_) return {};
  available = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSize, size_ - at));
  if (!fd_ && available == kChunkSize) return {bytes_.data() + at, kChunkSize};
  scratch.resize(kChunkSize);
  if (!ReadAt(at, scratch.data(), available)) return {};
  std::fill(scratch.begin() + available, scratch.end(), 0);
  return scratch;
}

bool ChunkSource::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
  if (offset > size_ || size > size_ - offset) return false;
  if (!fd_) {
    std::memcpy(out, bytes_.data() + offset, size);
    return true;
  }
  // A file cut short since it was opened reads short: that is a failure, not zeros.
  return ReadExact(fd_.Get(), offset, out, size);
}

}  // namespace tamsel::platform::eventlog::evtx
