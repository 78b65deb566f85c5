// Every record of an .evtx file in the classic ANSI form, oldest first: all chunks present in
// the file are read whatever the (possibly stale) file header says, records are put in order
// of their identifiers (a wrapped log keeps its chunks out of order), repeated identifiers are
// dropped, and what had to be skipped is counted.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog::evtx {

class EvtxRecords {
 public:
  // ERROR_EVENTLOG_FILE_CORRUPT when the bytes are no .evtx file (signature, or shorter than
  // its header block).
  Win32Error Decode(std::span<const std::uint8_t> file);

  std::size_t Count() const { return entries_.size(); }
  std::span<const std::uint8_t> Record(std::size_t index) const {
    return {blob_.data() + entries_[index].offset, entries_[index].length};
  }
  std::uint32_t Number(std::size_t index) const {
    return static_cast<std::uint32_t>(entries_[index].id);
  }
  // The index of the record with that number, or Count().
  std::size_t Find(std::uint32_t number) const;
  // Records the file announced or held that could not be read.
  std::uint32_t Skipped() const { return skipped_; }
  // One more than the largest record identifier read (1 for an empty log).
  std::uint64_t NextRecordId() const { return nextId_; }

 private:
  struct Entry {
    std::uint64_t id;
    std::uint32_t offset;
    std::uint32_t length;
  };
  std::vector<std::uint8_t> blob_;
  std::vector<Entry> entries_;
  std::uint32_t skipped_ = 0;
  std::uint64_t nextId_ = 1;
};

}  // namespace tamsel::platform::eventlog::evtx
