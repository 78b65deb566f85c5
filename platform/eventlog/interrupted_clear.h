// A clear with backup that a killed process leaves half done. Until it is done, a clear is
// three files: the backup and the empty log written under temporary names, and a journal
// beside the log's lock file naming them. Renaming the empty log over the log is the moment
// the clear happens; the backup is put in place after it. The next user of the log under its
// exclusive lock finishes a clear whose log was replaced (the backup is put in place) and
// undoes one whose log was not (the temporaries go). Internal to the event log service.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <set>

#include "platform/eventlog/log_config.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog {

struct ClearJournal {
  std::filesystem::path backupTemporary;
  std::filesystem::path backup;
  std::filesystem::path emptyTemporary;
  ino_t emptyInode = 0;  // the empty log's, which the log has once the clear happened
};

std::filesystem::path JournalPath(const LogLocation& location);
// Written and flushed before the rename that clears the log.
Win32Error WriteJournal(const LogLocation& location, const ClearJournal& journal);
// Finishes or undoes a clear the journal records (the caller holds the exclusive lock).
void FinishInterruptedClear(const LogLocation& location);
// The temporaries that journals of the machine's logs still need (the lock files' folder).
std::set<std::filesystem::path> JournalledTemporaries(const std::filesystem::path& lockFolder);

}  // namespace tamsel::platform::eventlog
