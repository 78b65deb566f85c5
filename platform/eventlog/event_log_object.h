// What an event log handle stands for (an open log, a backup file, an event source) and the
// table that keeps handles valid until they are closed. Internal to the event log service.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/eventlog/evtx_records.h"
#include "platform/eventlog/log_config.h"
#include "platform/eventlog/log_file.h"

namespace tamsel::platform::eventlog {

// What an .evtx file looked like when its records were indexed.
struct EvtxStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::uint64_t modified = 0;
  std::array<std::uint8_t, evtx::kFileHeaderSize> header{};
};

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

  // An .evtx log or backup: the file it read, an index of its records and the classic form of
  // the chunks in use; indexed again when the file changes.
  std::shared_ptr<evtx::EvtxRecords> modern;
  EvtxStamp modernStamp;
  std::filesystem::path modernPath;  // kBackup

  std::mutex mutex;  // one handle may be shared by threads
};

HANDLE AddHandle(std::unique_ptr<EventLogObject> object);
// The object behind a handle of one of the given kinds, or null (ERROR_INVALID_HANDLE).
std::shared_ptr<EventLogObject> FindHandle(HANDLE handle, EventLogObject::Kind kind,
                                           EventLogObject::Kind other);
bool RemoveHandle(HANDLE handle, EventLogObject::Kind kind);

// Appends an event to the log of a source object (its location), under the log's exclusive
// lock; the object keeps the log file open between calls.
Win32Error AppendEvent(EventLogObject& source, const EventFields& fields);

// Creates the log file as an empty log if it does not exist (caller holds the lock).
Win32Error EnsureLogFile(const LogLocation& location);

inline BOOL Fail(Win32Error error) {
  SetLastError(error);
  return 0;
}

}  // namespace tamsel::platform::eventlog
