// POSIX file helpers for the event log service.
#include "platform/eventlog/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tamsel::platform::eventlog {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

Win32Error OpenRegularFile(const std::filesystem::path& path, int flags, UniqueFd& fd,
                           struct stat& info) {
  UniqueFd opened(open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!opened) return ErrnoToWin32(errno, path);
  if (fstat(opened.Get(), &info) != 0) return ErrnoToWin32(errno, path);
  if (!S_ISREG(info.st_mode)) return ERROR_ACCESS_DENIED;
  const int status = fcntl(opened.Get(), F_GETFL);
  if (status < 0 || fcntl(opened.Get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
    return ErrnoToWin32(errno, path);
  }
  fd = std::move(opened);
  return ERROR_SUCCESS;
}

Win32Error ErrnoToWin32(int error, const std::filesystem::path& path) {
  switch (error) {
    case ENOENT: {
      std::error_code ignored;
      if (!path.empty() && !std::filesystem::is_directory(path.parent_path(), ignored)) {
        return ERROR_PATH_NOT_FOUND;
      }
      return ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS:
    default:
      return ERROR_ACCESS_DENIED;
  }
}

bool ReadExact(int fd, std::uint64_t offset, void* out, std::size_t size) {
  auto* bytes = static_cast<char*>(out);
  while (size > 0) {
    ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

Win32Error WriteAll(int fd, std::uint64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return ErrnoToWin32(errno);
    bytes += put;
    size -= static_cast<std::size_t>(put);
    offset += static_cast<std::uint64_t>(put);
  }
  return ERROR_SUCCESS;
}

namespace {

constexpr std::size_t kWindowSize = 256 * 1024;
constexpr std::size_t kWriteBufferSize = 1024 * 1024;

}  // namespace

bool ReadWindow::Read(int fd, std::uint64_t fileSize, std::uint64_t offset, void* out,
                      std::size_t size) {
  if (size > kWindowSize / 2 || offset > fileSize || size > fileSize - offset) {
    return ReadExact(fd, offset, out, size);
  }
  if (offset < start_ || offset + size > start_ + length_) {
    // A read just below the window comes from a walk backwards: the new window ends with it.
    const bool backwards = length_ > 0 && offset < start_ && offset + kWindowSize > start_;
    std::uint64_t from = offset;
    if (backwards) from = offset + size > kWindowSize ? offset + size - kWindowSize : 0;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, fileSize - from));
    bytes_.resize(kWindowSize);
    length_ = 0;
    if (!ReadExact(fd, from, bytes_.data(), length)) return ReadExact(fd, offset, out, size);
    start_ = from;
    length_ = length;
  }
  std::memcpy(out, bytes_.data() + (offset - start_), size);
  return true;
}

BufferedWriter::BufferedWriter(int fd, std::uint64_t offset) : fd_(fd), offset_(offset) {
  buffered_.reserve(kWriteBufferSize);
}

Win32Error BufferedWriter::Write(const void* data, std::size_t size) {
  if (buffered_.size() + size > kWriteBufferSize) {
    if (Win32Error status = Flush()) return status;
    if (size > kWriteBufferSize) {
      if (Win32Error status = WriteAll(fd_, offset_, data, size)) return status;
      offset_ += size;
      return ERROR_SUCCESS;
    }
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  buffered_.insert(buffered_.end(), bytes, bytes + size);
  return ERROR_SUCCESS;
}

Win32Error BufferedWriter::Flush() {
  if (Win32Error status = WriteAll(fd_, offset_, buffered_.data(), buffered_.size())) {
    return status;
  }
  offset_ += buffered_.size();
  buffered_.clear();
  return ERROR_SUCCESS;
}

Win32Error FileLock::Acquire(const std::filesystem::path& lockFile, Mode mode) {
  std::error_code ignored;
  std::filesystem::create_directories(lockFile.parent_path(), ignored);
  UniqueFd fd(open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, lockFile);
  int operation = mode == Mode::kShared ? LOCK_SH : LOCK_EX;
  while (flock(fd.Get(), operation) != 0) {
    if (errno != EINTR) return ErrnoToWin32(errno);
  }
  fd_ = std::move(fd);
  return ERROR_SUCCESS;
}

}  // namespace tamsel::platform::eventlog
