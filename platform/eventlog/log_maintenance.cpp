// BackupEventLogA and ClearEventLogA: a clean copy of the log written on the log's own machine,
// and the log replaced by an empty one, both under the log's exclusive lock.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_service.h"
#include "platform/eventlog/interrupted_clear.h"
#include "platform/network/crash_point.h"
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

// The process id in a name TemporaryBeside made (".<name>.tmp<pid>-<n>"); 0 for any other.
pid_t TemporaryOwner(const std::string& name) {
  const size_t tmp = name.rfind(".tmp");
  if (name.size() < 2 || name[0] != '.' || tmp == std::string::npos || tmp == 0) return 0;
  const size_t dash = name.find('-', tmp);
  auto digits = [&](size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
  };
  if (dash == std::string::npos || !digits(tmp + 4, dash) || !digits(dash + 1, name.size())) {
    return 0;
  }
  return static_cast<pid_t>(std::strtol(name.c_str() + tmp + 4, nullptr, 10));
}

// Removes from `folder` the temporary files of writers that died before they could take
// them away themselves (a killed process never gets to). A live writer's files stay.
void RemoveDeadTemporaries(const fs::path& folder, const std::set<fs::path>& journalled) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (journalled.count(entry.path()) != 0) continue;  // an interrupted clear still needs it
    const pid_t owner = TemporaryOwner(entry.path().filename().string());
    if (owner <= 0 || owner == getpid()) continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    if (entry.is_regular_file(error)) unlink(entry.path().c_str());
  }
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

// Writes the copy under a temporary name beside `target`, flushed; `target` must not exist.
template <typename Copy>
Win32Error WriteBackupTemporary(Copy copy, const fs::path& target, fs::path& temporary) {
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0) return ERROR_ALREADY_EXISTS;
  std::error_code error;
  if (!fs::is_directory(target.parent_path(), error)) return ERROR_PATH_NOT_FOUND;
  temporary = TemporaryBeside(target);
  UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, temporary);
  Win32Error status = copy(fd.Get());
  if (status == ERROR_SUCCESS && fsync(fd.Get()) != 0) status = ErrnoToWin32(errno);
  if (status != ERROR_SUCCESS) unlink(temporary.c_str());
  return status;
}

// Links the written copy into place, so the target appears complete or not at all, and an
// existing file is never replaced.
template <typename Copy>
Win32Error WriteBackup(Copy copy, const fs::path& target) {
  fs::path temporary;
  if (Win32Error status = WriteBackupTemporary(copy, target, temporary)) return status;
  Win32Error status = ERROR_SUCCESS;
  if (link(temporary.c_str(), target.c_str()) != 0) status = ErrnoToWin32(errno, target);
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

// Copies the live log as it is now, in its own format, to a temporary name beside `target`.
Win32Error CopyCurrent(const LogLocation& location, const fs::path& target, fs::path& temporary) {
  if (Win32Error status = EnsureLogFile(location)) return status;
  if (IsEvtxFile(location.file)) {
    return WriteBackupTemporary([&](int fd) { return CopyEvtx(location.file, fd); }, target,
                                temporary);
  }
  LogFile file;
  if (Win32Error status = file.Open(location.file, false)) return status;
  if (Win32Error status = file.Load()) return status;
  return WriteBackupTemporary([&](int fd) { return file.CopyTo(fd); }, target, temporary);
}

// Archives the log into `target` and empties it, as one step even for a process killed part
// way (see interrupted_clear.h). The caller holds the exclusive lock.
Win32Error ClearWithBackup(const LogLocation& location, const fs::path& target) {
  ClearJournal journal;
  journal.backup = target;
  if (Win32Error status = CopyCurrent(location, target, journal.backupTemporary)) return status;
  network::CrashPoint("eventlog.clear.backup-written");
  journal.emptyTemporary = TemporaryBeside(location.file);
  struct stat empty {};
  Win32Error status = WriteEmptyLogFor(location, journal.emptyTemporary);
  if (status == ERROR_SUCCESS && stat(journal.emptyTemporary.c_str(), &empty) != 0) {
    status = ErrnoToWin32(errno, journal.emptyTemporary);
  }
  journal.emptyInode = empty.st_ino;
  if (status == ERROR_SUCCESS) status = WriteJournal(location, journal);
  network::CrashPoint("eventlog.clear.journal-written");
  if (status == ERROR_SUCCESS &&
      rename(journal.emptyTemporary.c_str(), location.file.c_str()) != 0) {
    status = ErrnoToWin32(errno, location.file);
  }
  if (status != ERROR_SUCCESS) {
    // The clear did not happen: nothing of it stays.
    unlink(journal.backupTemporary.c_str());
    unlink(journal.emptyTemporary.c_str());
    unlink(JournalPath(location).c_str());
    return status;
  }
  network::CrashPoint("eventlog.clear.log-replaced");
  // The log is empty now; its records are in the backup, which goes into place. Should that
  // fail, the journal stays and the next user of the log tries again.
  if (link(journal.backupTemporary.c_str(), target.c_str()) != 0) return ERROR_SUCCESS;
  unlink(journal.backupTemporary.c_str());
  unlink(JournalPath(location).c_str());
  return ERROR_SUCCESS;
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
  FinishInterruptedClear(location);
  const std::set<fs::path> journalled = JournalledTemporaries(location.lockFile.parent_path());
  RemoveDeadTemporaries(location.file.parent_path(), journalled);
  if (backupFileName != nullptr) {
    RemoveDeadTemporaries(target.parent_path(), journalled);
    if (Win32Error status = ClearWithBackup(location, target)) return Fail(status);
  } else if (Win32Error status = ReplaceWithEmptyLog(location)) {
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
