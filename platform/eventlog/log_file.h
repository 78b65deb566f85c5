// One .evt file as a ring buffer: loading and checking its header (or, for a file that was not
// closed cleanly, its EOF record), walking records in both directions with the wrap and filler
// rules, appending with wrap-around, and writing a clean linear copy for backups.
// Callers hold the log's lock around every use; the class itself keeps no lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/file_io.h"

namespace tamsel::platform::eventlog {

class LogFile {
 public:
  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED.
  Win32Error Open(const std::filesystem::path& path, bool writable);
  // Writes an empty log (header, EOF record, first allocation step) at a path that must not
  // exist yet.
  static Win32Error WriteEmpty(const std::filesystem::path& path, std::uint32_t maxSize,
                               std::uint32_t retention);

  // Reads and checks the ring description: ERROR_EVENTLOG_FILE_CORRUPT when the header, the
  // EOF record of a dirty file or the offsets do not make sense for the file's size.
  Win32Error Load();

  const LogState& State() const { return state_; }
  std::uint32_t Count() const { return state_.Count(); }
  bool Contains(std::uint32_t number) const {
    return state_.oldestRecordNumber != 0 && number - state_.oldestRecordNumber < Count();
  }
  std::uint32_t NewestNumber() const { return state_.currentRecordNumber - 1; }
  // Reads through a window read ahead: for a file nobody writes while it is open (a backup).
  void ReadAhead() { readAhead_ = true; }

  // Same inode as the file now at `path` (a clear replaces the file).
  bool IsSameFileAs(const std::filesystem::path& path) const;

  // The record at `offset`, which must carry `number`; ERROR_EVENTLOG_FILE_CORRUPT otherwise.
  Win32Error ReadRecord(std::uint32_t offset, std::uint32_t number,
                        std::vector<std::uint8_t>& record) const;
  // Offset of the record that follows the one at `offset` of `length` bytes.
  std::uint32_t NextOffset(std::uint32_t offset, std::uint32_t length) const;
  // Offset of the record that ends where `offset` begins (a record or the EOF record).
  Win32Error PreviousOffset(std::uint32_t offset, std::uint32_t& previous) const;
  // Walks from the oldest record; ERROR_INVALID_PARAMETER when the number is not in the log.
  Win32Error FindRecord(std::uint32_t number, std::uint32_t& offset) const;

  // Numbers and writes a disk record (record number, time written), discarding the oldest
  // records as `retention` allows once the file has reached `maxSize`. ERROR_LOG_FILE_FULL
  // when they are protected or the record cannot fit at all.
  Win32Error Append(std::vector<std::uint8_t>& record, std::uint32_t maxSize,
                    std::uint32_t retention, std::uint32_t now);

  // Writes every record, oldest first, as a clean unwrapped log into `fd`.
  Win32Error CopyTo(int fd) const;

 private:
  std::uint32_t Size() const { return static_cast<std::uint32_t>(size_); }
  std::uint32_t Normalize(std::uint32_t pos) const;
  std::uint32_t Distance(std::uint32_t from, std::uint32_t to) const;
  bool RingRead(std::uint32_t offset, void* out, std::uint32_t size) const;
  bool ReadAt(std::uint64_t offset, void* out, std::uint32_t size) const;
  Win32Error CopyRecords(int fd) const;
  Win32Error RingWrite(std::uint32_t offset, const void* data, std::uint32_t size) const;
  Win32Error FillTail(std::uint32_t from) const;
  Win32Error LocateEof(const LogState& header, LogState& eof) const;
  bool OffsetIsValid(std::uint32_t offset) const;
  bool FrameAt(std::uint32_t offset, std::uint32_t& length) const;
  Win32Error WriteHeader() const;
  Win32Error MakeRoom(std::uint32_t length, std::uint32_t maxSize, std::uint32_t retention,
                      std::uint32_t now, bool& discarded);

  UniqueFd fd_;
  std::uint64_t size_ = 0;
  LogState state_;
  // Whether reads go through `window_`: for a backup, and for the length of a copy, which
  // runs under the log's exclusive lock.
  mutable bool readAhead_ = false;
  mutable ReadWindow window_;
};

}  // namespace tamsel::platform::eventlog
