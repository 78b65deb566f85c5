// A least recently used handful of decoded chunks.
#include "platform/eventlog/evtx_chunk_cache.h"

#include <algorithm>

namespace tamsel::platform::eventlog::evtx {

const ClassicChunk* ChunkCache::Find(std::uint32_t index) {
  for (std::size_t i = 0; i < kCapacity; ++i) {
    if (lastUse_[i] != 0 && chunks_[i].index == index) {
      lastUse_[i] = ++clock_;
      return &chunks_[i];
    }
  }
  return nullptr;
}

ClassicChunk& ChunkCache::Replace(std::uint32_t index) {
  const std::size_t place = static_cast<std::size_t>(
      std::min_element(lastUse_.begin(), lastUse_.end()) - lastUse_.begin());
  lastUse_[place] = ++clock_;
  ClassicChunk& chunk = chunks_[place];
  chunk.index = index;
  chunk.blob.clear();
  chunk.records.clear();
  return chunk;
}

std::size_t ChunkCache::Size() const {
  return static_cast<std::size_t>(
      std::count_if(lastUse_.begin(), lastUse_.end(), [](std::uint64_t use) { return use != 0; }));
}

}  // namespace tamsel::platform::eventlog::evtx
