// What an event log handle stands for (an open log, a backup file, an event source) and the
// table that keeps handles valid until they are closed. Internal to the event log service.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/log_config.h"
#include "platform/eventlog/log_file.h"

namespace tamsel::platform::eventlog {

struct EventLogObject {
  enum class Kind { kLog, kBackup, kSource };
  Kind kind = Kind::kLog;
  LogLocation location;  // kLog, kSource
  std::string sourceName;
  LogFile file;  // kLog: the file as opened (a clear replaces it); kBackup: the backup
  bool fileOpen = false;

  // Read position: the record a sequential read returns next, and where it starts.
  bool started = false;
  std::uint32_t nextNumber = 0;
  std::uint32_t nextOffset = 0;
  bool offsetKnown = false;

  std::mutex mutex;  // one handle may be shared by threads
};

HANDLE AddHandle(std::unique_ptr<EventLogObject> object);
// The object behind a handle of one of the given kinds, or null (ERROR_INVALID_HANDLE).
std::shared_ptr<EventLogObject> FindHandle(HANDLE handle, EventLogObject::Kind kind,
                                           EventLogObject::Kind other);
bool RemoveHandle(HANDLE handle, EventLogObject::Kind kind);

// Creates the log file as an empty log if it does not exist (caller holds the lock).
Win32Error EnsureLogFile(const LogLocation& location);

inline BOOL Fail(Win32Error error) {
  SetLastError(error);
  return 0;
}

}  // namespace tamsel::platform::eventlog
