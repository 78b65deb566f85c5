// Message table resources: validation and lookup by message id.

#include "platform/messages/message_table.h"

#include <cstring>
#include <string_view>

#include "platform/messages/utf_conversion.h"

namespace tamsel::platform::messages {
namespace {

constexpr std::size_t kBlockSize = 12;
constexpr std::size_t kEntryHeader = 4;

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

std::uint16_t U16At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

bool MessageTable::Parse(std::vector<std::uint8_t> bytes, MessageTable& table) {
  const std::size_t size = bytes.size();
  if (size < 4) return false;
  const std::uint32_t blockCount = U32At(bytes, 0);
  if (blockCount > (size - 4) / kBlockSize) return false;

  // A sound table holds at most one entry per 4 bytes; counting first keeps a forged table
  // with huge id ranges from costing more than one pass over its bytes.
  std::uint64_t totalEntries = 0;
  for (std::uint32_t b = 0; b < blockCount; ++b) {
    std::size_t at = 4 + b * kBlockSize;
    std::uint32_t low = U32At(bytes, at);
    std::uint32_t high = U32At(bytes, at + 4);
    if (low > high) return false;
    totalEntries += static_cast<std::uint64_t>(high) - low + 1;
    if (totalEntries > size / kEntryHeader) return false;
  }

  std::vector<Block> blocks;
  std::vector<Entry> entries;
  blocks.reserve(blockCount);
  entries.reserve(static_cast<std::size_t>(totalEntries));
  for (std::uint32_t b = 0; b < blockCount; ++b) {
    std::size_t at = 4 + b * kBlockSize;
    Block block{U32At(bytes, at), U32At(bytes, at + 4), static_cast<std::uint32_t>(entries.size())};
    std::uint64_t offset = U32At(bytes, at + 8);
    for (std::uint64_t id = block.lowId; id <= block.highId; ++id) {
      if (offset + kEntryHeader > size) return false;
      std::uint16_t length = U16At(bytes, static_cast<std::size_t>(offset));
      std::uint16_t flags = U16At(bytes, static_cast<std::size_t>(offset) + 2);
      if (length < kEntryHeader || offset + length > size) return false;
      entries.push_back(Entry{static_cast<std::uint32_t>(offset + kEntryHeader),
                              static_cast<std::uint32_t>(length - kEntryHeader), flags});
      offset += length;
    }
    blocks.push_back(block);
  }

  table.bytes_ = std::move(bytes);
  table.blocks_ = std::move(blocks);
  table.entries_ = std::move(entries);
  return true;
}

std::vector<std::uint32_t> MessageTable::MessageIds() const {
  std::vector<std::uint32_t> ids;
  ids.reserve(entries_.size());
  for (const Block& block : blocks_) {
    for (std::uint64_t id = block.lowId; id <= block.highId; ++id) {
      ids.push_back(static_cast<std::uint32_t>(id));
    }
  }
  return ids;
}

Win32Error MessageTable::Find(std::uint32_t id, std::string& text) const {
  // Blocks are searched in stored order, as the loader does; the first one holding the id wins.
  for (const Block& block : blocks_) {
    if (id < block.lowId || id > block.highId) continue;
    const Entry& entry = entries_[block.firstEntry + (id - block.lowId)];
    const std::uint8_t* data = bytes_.data() + entry.offset;
    if (entry.flags & kUnicode) {
      std::size_t units = entry.length / 2;
      std::size_t used = 0;
      while (used < units && (data[2 * used] | data[2 * used + 1]) != 0) ++used;
      text = Utf16LeToUtf8(data, used);
    } else {
      const char* chars = reinterpret_cast<const char*>(data);
      std::string_view raw(chars, strnlen(chars, entry.length));
      // UTF-8 entries and 8-bit ones alike: invalid UTF-8 is read as Windows-1252.
      text = AnsiEntryToUtf8(raw);
    }
    return ERROR_SUCCESS;
  }
  return ERROR_MR_MID_NOT_FOUND;
}

}  // namespace tamsel::platform::messages
