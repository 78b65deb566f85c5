// Small POSIX helpers for the log files: an owned descriptor, whole reads and writes, errno
// turned into Win32 codes, and the advisory lock that orders writers, clears and readers of a
// log across processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

struct stat;

#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  int Release();
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// ENOENT becomes ERROR_PATH_NOT_FOUND when the folder of `path` is missing too.
Win32Error ErrnoToWin32(int error, const std::filesystem::path& path = {});

// Opens `path` without blocking (a FIFO or device in a log's place would otherwise wait for a
// peer forever) and accepts only a regular file, whose status lands in `info`; the descriptor is
// left blocking for the reads and writes that follow. ERROR_ACCESS_DENIED for anything else.
Win32Error OpenRegularFile(const std::filesystem::path& path, int flags, UniqueFd& fd,
                           struct stat& info);

bool ReadExact(int fd, std::uint64_t offset, void* out, std::size_t size);
Win32Error WriteAll(int fd, std::uint64_t offset, const void* data, std::size_t size);

// Reads of a file that does not change meanwhile, served from one window of it read ahead
// (or, going backwards, read behind), so that walking many small records costs one system
// call per window rather than one per read.
class ReadWindow {
 public:
  // As ReadExact; `fileSize` bounds the window.
  bool Read(int fd, std::uint64_t fileSize, std::uint64_t offset, void* out, std::size_t size);
  // Forgets what was read: the file may have changed.
  void Drop() { length_ = 0; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

// Writes consecutive pieces to a file in large writes.
class BufferedWriter {
 public:
  BufferedWriter(int fd, std::uint64_t offset);
  Win32Error Write(const void* data, std::size_t size);
  // Writes what is buffered; the writer can go on after it.
  Win32Error Flush();
  std::uint64_t Offset() const { return offset_ + buffered_.size(); }

 private:
  int fd_;
  std::uint64_t offset_;  // of the first buffered byte
  std::vector<std::uint8_t> buffered_;
};

// flock on a lock file of its own (created on demand); released by the destructor.
class FileLock {
 public:
  enum class Mode { kShared, kExclusive };
  FileLock() = default;
  Win32Error Acquire(const std::filesystem::path& lockFile, Mode mode);

 private:
  UniqueFd fd_;  // closing it drops the lock
};

}  // namespace tamsel::platform::eventlog
