// Random access to module bytes: a caller's buffer or a file read with pread.

#include "platform/messages/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tamsel::platform::messages {

bool ByteSource::ReadBytes(std::uint64_t offset, std::size_t size,
                           std::vector<std::uint8_t>& out) const {
  if (!Contains(offset, size)) return false;
  out.resize(size);
  return size == 0 || Read(offset, out.data(), size);
}

bool ByteSource::ReadU16(std::uint64_t offset, std::uint16_t& value) const {
  std::uint8_t b[2];
  if (!Read(offset, b, sizeof b)) return false;
  value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool ByteSource::ReadU32(std::uint64_t offset, std::uint32_t& value) const {
  std::uint8_t b[4];
  if (!Read(offset, b, sizeof b)) return false;
  value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
          (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return true;
}

bool ByteSource::ReadU64(std::uint64_t offset, std::uint64_t& value) const {
  std::uint32_t low, high;
  if (!ReadU32(offset, low) || offset > UINT64_MAX - 4 || !ReadU32(offset + 4, high)) {
    return false;
  }
  value = (static_cast<std::uint64_t>(high) << 32) | low;
  return true;
}

bool MemoryByteSource::Read(std::uint64_t offset, void* out, std::size_t size) const {
  if (!Contains(offset, size)) return false;
  if (size > 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

Win32Error FileByteSource::Open(const std::filesystem::path& path) {
  // Non-blocking, so a FIFO where a module was expected is refused instead of waited on.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
        return ERROR_FILE_NOT_FOUND;
      case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
      case EACCES:
      case EPERM:
        return ERROR_ACCESS_DENIED;
      default:
        return ERROR_FILE_NOT_FOUND;
    }
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    bool isFolder = S_ISDIR(info.st_mode);
    ::close(fd);
    // Windows refuses a folder with access denied; anything else that is not a file is no image.
    return isFolder ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return ERROR_SUCCESS;
}

bool FileByteSource::Read(std::uint64_t offset, void* out, std::size_t size) const {
  if (fd_ < 0 || !Contains(offset, size)) return false;
  auto* cursor = static_cast<char*>(out);
  while (size > 0) {
    ssize_t got = ::pread(fd_, cursor, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // the file shrank, or an I/O error
    cursor += got;
    offset += static_cast<std::uint64_t>(got);
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace tamsel::platform::messages
