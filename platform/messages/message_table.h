// One language's message table: the MESSAGE_RESOURCE_DATA bytes of an RT_MESSAGETABLE
// resource (or of our own executables' table section), checked once and indexed by id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

class MessageTable {
 public:
  // Entry flags as stored.
  static constexpr std::uint16_t kAnsi = 0;
  static constexpr std::uint16_t kUnicode = 1;
  static constexpr std::uint16_t kUtf8 = 2;

  // Checks every block and entry: the block array, every entry header and length inside the
  // bytes, no entry shorter than its header, and no more entries than the bytes can hold.
  // Returns false for a corrupt table; `table` is then unchanged.
  static bool Parse(std::vector<std::uint8_t> bytes, MessageTable& table);

  // The text of `id` in UTF-8, up to its terminating NUL; ERROR_MR_MID_NOT_FOUND when no
  // block holds the id.
  Win32Error Find(std::uint32_t id, std::string& text) const;

  std::size_t MessageCount() const { return entries_.size(); }
  // Every id the table holds, in stored order (for listing a module's messages).
  std::vector<std::uint32_t> MessageIds() const;

 private:
  struct Block {
    std::uint32_t lowId;
    std::uint32_t highId;
    std::uint32_t firstEntry;  // index into entries_
  };
  struct Entry {
    std::uint32_t offset;  // of the text, after the 4-byte entry header
    std::uint32_t length;  // bytes of text area
    std::uint16_t flags;
  };

  std::vector<std::uint8_t> bytes_;
  std::vector<Block> blocks_;
  std::vector<Entry> entries_;
};

}  // namespace tamsel::platform::messages
