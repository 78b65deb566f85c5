// POSIX file helpers for the event log service.
#include "platform/eventlog/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
