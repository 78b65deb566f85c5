// Clear journals: written before a clear happens, and read back to finish or undo a clear
// whose process was killed.
#include "platform/eventlog/interrupted_clear.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/eventlog/file_io.h"

namespace tamsel::platform::eventlog {

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalSuffix = ".clear";

bool ReadJournal(const fs::path& path, ClearJournal& journal) {
  std::ifstream in(path);
  std::string temporary, backup, empty, inode;
  if (!std::getline(in, temporary) || !std::getline(in, backup) || !std::getline(in, empty) ||
      !std::getline(in, inode)) {
    return false;
  }
  journal.backupTemporary = temporary;
  journal.backup = backup;
  journal.emptyTemporary = empty;
  char* end = nullptr;
  journal.emptyInode = static_cast<ino_t>(std::strtoull(inode.c_str(), &end, 10));
  return end != inode.c_str() && *end == '\0';
}

}  // namespace

fs::path JournalPath(const LogLocation& location) {
  fs::path path = location.lockFile;
  path += kJournalSuffix;
  return path;
}

Win32Error WriteJournal(const LogLocation& location, const ClearJournal& journal) {
  const std::string text = journal.backupTemporary.string() + "\n" + journal.backup.string() +
                           "\n" + journal.emptyTemporary.string() + "\n" +
                           std::to_string(journal.emptyInode) + "\n";
  const fs::path path = JournalPath(location);
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, path);
  if (Win32Error status = WriteAll(fd.Get(), 0, text.data(), text.size())) return status;
  if (fsync(fd.Get()) != 0) return ErrnoToWin32(errno, path);
  return ERROR_SUCCESS;
}

void FinishInterruptedClear(const LogLocation& location) {
  const fs::path path = JournalPath(location);
  struct stat log {};
  if (stat(path.c_str(), &log) != 0) return;  // the usual case: no clear was cut short
  ClearJournal journal;
  if (!ReadJournal(path, journal)) {
    unlink(path.c_str());  // none, or cut short before the clear could happen
    return;
  }
  const bool cleared = stat(location.file.c_str(), &log) == 0 && log.st_ino == journal.emptyInode;
  if (cleared && link(journal.backupTemporary.c_str(), journal.backup.c_str()) != 0 &&
      errno != EEXIST) {
    return;  // the backup cannot be put in place yet: the journal stays for the next try
  }
  unlink(journal.backupTemporary.c_str());
  unlink(journal.emptyTemporary.c_str());
  unlink(path.c_str());
}

std::set<fs::path> JournalledTemporaries(const fs::path& lockFolder) {
  std::set<fs::path> kept;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(lockFolder, error)) {
    ClearJournal journal;
    if (entry.path().extension() == kJournalSuffix && ReadJournal(entry.path(), journal)) {
      kept.insert(journal.backupTemporary);
      kept.insert(journal.emptyTemporary);
    }
  }
  return kept;
}

}  // namespace tamsel::platform::eventlog
