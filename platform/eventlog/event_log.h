// The classic event log API in its Win32 shape (ANSI forms): event sources and reports, open
// logs and backup files, clear with backup, backup, sequential and seek reads, counts. Each
// function that fails returns 0 / NULL and leaves the reason in GetLastError().
#pragma once

#include <cstdint>

#include "platform/network/last_error.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog {

using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;

struct EventLogObject;  // an open log, backup file or event source
using HANDLE = EventLogObject*;

inline constexpr WORD EVENTLOG_SUCCESS = 0x0000;
inline constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;
inline constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x0008;
inline constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x0010;

inline constexpr DWORD EVENTLOG_SEQUENTIAL_READ = 0x0001;
inline constexpr DWORD EVENTLOG_SEEK_READ = 0x0002;
inline constexpr DWORD EVENTLOG_FORWARDS_READ = 0x0004;
inline constexpr DWORD EVENTLOG_BACKWARDS_READ = 0x0008;

// The fixed part of every record ReadEventLogA returns; the variable part follows it.
struct EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;
  DWORD RecordNumber;
  DWORD TimeGenerated;
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
};
static_assert(sizeof(EVENTLOGRECORD) == 0x38);

// Server names: NULL or "" for the local machine, "NAME" or "\\NAME". An unreachable machine
// gives RPC_S_SERVER_UNAVAILABLE.

// Reports go to the log that registers the source (Application when none does).
HANDLE RegisterEventSourceA(const char* serverName, const char* sourceName);
BOOL DeregisterEventSource(HANDLE eventSource);
// userSid may be NULL; strings are UTF-8 (at most 32767 characters each); rawData holds
// dataSize bytes. ERROR_LOG_FILE_FULL when the log is full and Retention protects its records.
BOOL ReportEventA(HANDLE eventSource, WORD type, WORD category, DWORD eventId, const void* userSid,
                  WORD numStrings, DWORD dataSize, const char** strings, const void* rawData);

// An unknown log name opens Application, as Windows does.
HANDLE OpenEventLogA(const char* serverName, const char* logName);
// A local path is a path of serverName; a share path ("\\SRV\D$\…") names its machine itself.
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_EVENTLOG_FILE_CORRUPT.
HANDLE OpenBackupEventLogA(const char* serverName, const char* fileName);
BOOL CloseEventLog(HANDLE eventLog);

// backupFileName is a path on the log's own machine (its local form, or a share path). The
// backup is written and the log emptied in one step under the log's lock; if the backup cannot
// be written (ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND, …) the log stays as it was. NULL
// clears without a backup. Other handles to the log then read ERROR_EVENTLOG_FILE_CHANGED.
BOOL ClearEventLogA(HANDLE eventLog, const char* backupFileName);
BOOL BackupEventLogA(HANDLE eventLog, const char* backupFileName);

// Records in ANSI form, packed whole into the buffer. ERROR_INSUFFICIENT_BUFFER with
// *minNumberOfBytesNeeded when not even the next record fits; ERROR_HANDLE_EOF at the end;
// ERROR_INVALID_PARAMETER for bad flags or a seek to a record the log does not hold.
BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, void* buffer,
                   DWORD numberOfBytesToRead, DWORD* bytesRead, DWORD* minNumberOfBytesNeeded);
BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords);
BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord);
// Not a Windows function: how many records of a damaged .evtx log or backup could not be
// read (0 for a sound file and for .evt files), so that a reader can tell what it missed.
BOOL GetEventLogSkippedRecords(HANDLE eventLog, DWORD* skippedRecords);

// RAII for our own code: closes (or deregisters) the handle it holds.
class EventLogHandle {
 public:
  EventLogHandle() = default;
  explicit EventLogHandle(HANDLE handle) : handle_(handle) {}
  ~EventLogHandle();
  EventLogHandle(EventLogHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
  }
  EventLogHandle& operator=(EventLogHandle&& other) noexcept;
  EventLogHandle(const EventLogHandle&) = delete;
  EventLogHandle& operator=(const EventLogHandle&) = delete;

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace tamsel::platform::eventlog
