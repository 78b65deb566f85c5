// BackupEventLogA and ClearEventLogA: a clean copy of the log written on the log's own machine,
// and the log replaced by an empty one, both under the log's exclusive lock.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_service.h"
#include "platform/network/network.h"

namespace tamsel::platform::eventlog {

namespace {

using Kind = EventLogObject::Kind;
namespace fs = std::filesystem;

// A name beside `target` that no other writer uses.
fs::path TemporaryBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".";
  name += target.filename().string();
  name += ".tmp";
  name += std::to_string(getpid());
  name += '-';
  name += std::to_string(++counter);
  return target.parent_path() / name;
}

// Where a backup goes: a path of the log's machine, or a share path.
Win32Error ResolveBackupPath(const EventLogObject& log, const char* backupFileName,
                             fs::path& hostPath) {
  if (backupFileName == nullptr || *backupFileName == '\0') return ERROR_INVALID_PARAMETER;
  if (backupFileName[0] == '\\' && backupFileName[1] == '\\') {
    return network::Network::Current().ResolvePath(backupFileName, hostPath);
  }
  // A backup file opened by its share path has no machine of its own: a local path then names
  // a file of the local machine.
  if (!log.location.machine) {
    return network::Network::Current().ResolvePath(backupFileName, hostPath);
  }
  return log.location.machine->ResolveLocalPath(backupFileName, hostPath);
}

// Writes the copy under a temporary name and links it into place, so the target appears
// complete or not at all, and an existing file is never replaced.
template <typename Copy>
Win32Error WriteBackup(Copy copy, const fs::path& target) {
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0) return ERROR_ALREADY_EXISTS;
  std::error_code error;
  if (!fs::is_directory(target.parent_path(), error)) return ERROR_PATH_NOT_FOUND;
  fs::path temporary = TemporaryBeside(target);
  UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, temporary);
  Win32Error status = copy(fd.Get());
  if (status == ERROR_SUCCESS && fsync(fd.Get()) != 0) status = ErrnoToWin32(errno);
  if (status == ERROR_SUCCESS && link(temporary.c_str(), target.c_str()) != 0) {
    status = ErrnoToWin32(errno, target);
  }
  unlink(temporary.c_str());
  return status;
}

// Replaces the log file by an empty log in one rename.
Win32Error ReplaceWithEmptyLog(const LogLocation& location) {
  fs::path temporary = TemporaryBeside(location.file);
  Win32Error status = WriteEmptyLogFor(location, temporary);
  if (status == ERROR_SUCCESS && rename(temporary.c_str(), location.file.c_str()) != 0) {
    status = ErrnoToWin32(errno, location.file);
  }
  if (status != ERROR_SUCCESS) unlink(temporary.c_str());
  return status;
}

// Backs up the live log as it is now (not as the handle saw it), in its own format; the
// caller holds the lock.
Win32Error BackupCurrent(const LogLocation& location, const fs::path& target) {
  if (Win32Error status = EnsureLogFile(location)) return status;
  if (IsEvtxFile(location.file)) {
    return WriteBackup([&](int fd) { return CopyEvtx(location.file, fd); }, target);
  }
  LogFile file;
  if (Win32Error status = file.Open(location.file, false)) return status;
  if (Win32Error status = file.Load()) return status;
  return WriteBackup([&](int fd) { return file.CopyTo(fd); }, target);
}

}  // namespace

BOOL BackupEventLogA(HANDLE eventLog, const char* backupFileName) {
  auto log = FindHandle(eventLog, Kind::kLog, Kind::kBackup);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  std::lock_guard guard(log->mutex);
  fs::path target;
  if (log->kind == Kind::kLog && !log->location.machine->IsReachable()) {
    return Fail(RPC_S_SERVER_UNAVAILABLE);
  }
  if (Win32Error status = ResolveBackupPath(*log, backupFileName, target)) return Fail(status);
  if (log->kind == Kind::kBackup) {
    Win32Error status =
        log->modern ? WriteBackup([&](int fd) { return CopyEvtx(log->modernPath, fd); }, target)
                    : WriteBackup([&](int fd) { return log->file.CopyTo(fd); }, target);
    if (status != ERROR_SUCCESS) return Fail(status);
    return 1;
  }
  FileLock lock;
  Win32Error status = lock.Acquire(log->location.lockFile, FileLock::Mode::kShared);
  if (status == ERROR_SUCCESS) status = BackupCurrent(log->location, target);
  if (status != ERROR_SUCCESS) return Fail(status);
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL ClearEventLogA(HANDLE eventLog, const char* backupFileName) {
  auto log = FindHandle(eventLog, Kind::kLog, Kind::kLog);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  std::lock_guard guard(log->mutex);
  const LogLocation& location = log->location;
  if (!location.machine->IsReachable()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  fs::path target;
  if (backupFileName != nullptr) {
    if (Win32Error status = ResolveBackupPath(*log, backupFileName, target)) return Fail(status);
  }
  FileLock lock;
  if (Win32Error status = lock.Acquire(location.lockFile, FileLock::Mode::kExclusive)) {
    return Fail(status);
  }
  if (backupFileName != nullptr) {
    if (Win32Error status = BackupCurrent(location, target)) return Fail(status);
  }
  if (Win32Error status = ReplaceWithEmptyLog(location)) {
    // The clear did not happen: take the backup back so the step stays all or nothing.
    if (backupFileName != nullptr) unlink(target.c_str());
    return Fail(status);
  }
  // This handle reads the new, empty log from here on.
  LogFile fresh;
  if (fresh.Open(location.file, false) == ERROR_SUCCESS) {
    log->file = std::move(fresh);
    log->started = false;
    log->modern.reset();
    if (IsEvtxFile(location.file)) LoadEvtx(*log, location.file);
  }
  SetLastError(ERROR_SUCCESS);
  return 1;
}

}  // namespace tamsel::platform::eventlog
