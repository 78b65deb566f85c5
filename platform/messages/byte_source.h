// Random access to the bytes of a module file (or of a buffer), so the parsers read only the
// headers and tables they need and check every range before they touch it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false when the range is not inside the source.
  virtual bool Read(std::uint64_t offset, void* out, std::size_t size) const = 0;

  // Reads a range into `out`; false when it is not inside the source.
  bool ReadBytes(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& out) const;
  bool ReadU16(std::uint64_t offset, std::uint16_t& value) const;
  bool ReadU32(std::uint64_t offset, std::uint32_t& value) const;
  bool ReadU64(std::uint64_t offset, std::uint64_t& value) const;
  bool Contains(std::uint64_t offset, std::uint64_t size) const {
    return offset <= Size() && size <= Size() - offset;
  }
};

// A buffer owned by the caller; it must outlive the source.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, void* out, std::size_t size) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// An open file, read with pread; the size is taken once at open, so a file that shrinks later
// makes reads fail instead of faulting.
class FileByteSource : public ByteSource {
 public:
  FileByteSource() = default;
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, or ERROR_BAD_EXE_FORMAT
  // for something that is not a regular file.
  Win32Error Open(const std::filesystem::path& path);
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* out, std::size_t size) const override;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace tamsel::platform::messages
