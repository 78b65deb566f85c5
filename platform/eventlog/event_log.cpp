// Opening logs and backup files, reading records in ANSI form, and counts.
#include "platform/eventlog/event_log.h"

#include <cstring>
#include <vector>

#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_service.h"
#include "platform/eventlog/interrupted_clear.h"
#include "platform/network/network.h"

namespace tamsel::platform::eventlog {

namespace {

using Kind = EventLogObject::Kind;

bool IsSharePath(const char* path) { return path[0] == '\\' && path[1] == '\\'; }

// Brings the handle's view of its file up to date: a live log is read under the shared lock
// (held by the caller through `lock`) and must still be the file the handle opened.
Win32Error Refresh(EventLogObject& log, FileLock& lock) {
  if (log.kind == Kind::kBackup) return ERROR_SUCCESS;
  if (!log.location.machine->IsReachable()) return RPC_S_SERVER_UNAVAILABLE;
  if (Win32Error status = lock.Acquire(log.location.lockFile, FileLock::Mode::kShared)) {
    return status;
  }
  if (!log.file.IsSameFileAs(log.location.file)) return ERROR_EVENTLOG_FILE_CHANGED;
  if (log.modern) return LoadEvtx(log, log.location.file);
  return log.file.Load();
}

// Puts one number about an open log or backup into `answer`, read from its file brought up
// to date.
template <typename Read>
BOOL AnswerFromFile(HANDLE eventLog, DWORD* answer, Read read) {
  auto log = FindHandle(eventLog, Kind::kLog, Kind::kBackup);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (answer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard guard(log->mutex);
  FileLock lock;
  if (Win32Error status = Refresh(*log, lock)) return Fail(status);
  *answer = read(*log);
  return 1;
}

// The record a read starts with, and its offset; ERROR_HANDLE_EOF when there is none.
Win32Error StartOfRead(EventLogObject& log, bool seek, bool forwards, DWORD recordNumber,
                       std::uint32_t& number, std::uint32_t& offset) {
  const LogFile& file = log.file;
  bool offsetKnown = false;
  if (seek) {
    number = recordNumber;
    if (!file.Contains(number)) return ERROR_INVALID_PARAMETER;
  } else if (!log.started) {
    if (file.Count() == 0) return ERROR_HANDLE_EOF;
    number = forwards ? file.State().oldestRecordNumber : file.NewestNumber();
  } else {
    number = log.nextNumber;
    offsetKnown = log.offsetKnown;
    if (!file.Contains(number)) {
      // Records overwritten by wrap-around since the last read: go on with the oldest.
      bool overwritten = forwards && file.Count() > 0 &&
                         static_cast<std::int32_t>(number - file.State().oldestRecordNumber) < 0;
      if (!overwritten) return ERROR_HANDLE_EOF;
      number = file.State().oldestRecordNumber;
      offsetKnown = false;
    }
  }
  std::vector<std::uint8_t> probe;
  if (offsetKnown && file.ReadRecord(log.nextOffset, number, probe) == ERROR_SUCCESS) {
    offset = log.nextOffset;
    return ERROR_SUCCESS;
  }
  if (!forwards && number == file.NewestNumber()) {
    return file.PreviousOffset(file.State().endOffset, offset);
  }
  return file.FindRecord(number, offset);
}

// Hands out a handle for a log or backup whose file is open, or fails with `status`.
HANDLE FinishOpen(std::unique_ptr<EventLogObject> object, Win32Error status) {
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return nullptr;
  }
  object->fileOpen = true;
  SetLastError(ERROR_SUCCESS);
  return AddHandle(std::move(object));
}

}  // namespace

HANDLE OpenEventLogA(const char* serverName, const char* logName) {
  auto object = std::make_unique<EventLogObject>();
  object->kind = Kind::kLog;
  std::shared_ptr<network::Machine> machine;
  Win32Error status = logName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (status == ERROR_SUCCESS) status = ReachMachine(serverName, machine);
  if (status == ERROR_SUCCESS) status = LocateLog(machine, logName, object->location);
  if (status == ERROR_SUCCESS) {
    FileLock lock;
    status = lock.Acquire(object->location.lockFile, FileLock::Mode::kExclusive);
    if (status == ERROR_SUCCESS) FinishInterruptedClear(object->location);
    if (status == ERROR_SUCCESS) status = EnsureLogFile(object->location);
    if (status == ERROR_SUCCESS) status = object->file.Open(object->location.file, false);
    if (status == ERROR_SUCCESS && IsEvtxFile(object->location.file)) {
      status = LoadEvtx(*object, object->location.file);
    }
  }
  return FinishOpen(std::move(object), status);
}

HANDLE OpenBackupEventLogA(const char* serverName, const char* fileName) {
  auto object = std::make_unique<EventLogObject>();
  object->kind = Kind::kBackup;
  std::filesystem::path hostPath;
  Win32Error status = ERROR_SUCCESS;
  if (fileName == nullptr || *fileName == '\0') {
    status = ERROR_INVALID_PARAMETER;
  } else if (IsSharePath(fileName)) {
    // The share path names its machine itself; a server name given beside it changes nothing.
    status = network::Network::Current().ResolvePath(fileName, hostPath);
  } else {
    status = ReachMachine(serverName, object->location.machine);
    if (status == ERROR_SUCCESS) {
      status = object->location.machine->ResolveLocalPath(fileName, hostPath);
    }
  }
  if (status == ERROR_SUCCESS) status = object->file.Open(hostPath, false);
  if (status == ERROR_SUCCESS && IsEvtxFile(hostPath)) {
    object->modernPath = hostPath;
    status = LoadEvtx(*object, hostPath);
  } else if (status == ERROR_SUCCESS) {
    object->file.ReadAhead();
    status = object->file.Load();
  }
  return FinishOpen(std::move(object), status);
}

BOOL CloseEventLog(HANDLE eventLog) {
  if (!RemoveHandle(eventLog, Kind::kLog) && !RemoveHandle(eventLog, Kind::kBackup)) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  return 1;
}

BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, void* buffer,
                   DWORD numberOfBytesToRead, DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  auto log = FindHandle(eventLog, Kind::kLog, Kind::kBackup);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  DWORD mode = readFlags & (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ);
  DWORD direction = readFlags & (EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ);
  if (buffer == nullptr || bytesRead == nullptr || minNumberOfBytesNeeded == nullptr ||
      (mode != EVENTLOG_SEQUENTIAL_READ && mode != EVENTLOG_SEEK_READ) ||
      (direction != EVENTLOG_FORWARDS_READ && direction != EVENTLOG_BACKWARDS_READ)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  *bytesRead = 0;
  std::lock_guard guard(log->mutex);
  FileLock lock;
  if (Win32Error status = Refresh(*log, lock)) return Fail(status);
  const bool forwards = direction == EVENTLOG_FORWARDS_READ;
  if (log->modern) {
    return ReadEvtx(*log, mode == EVENTLOG_SEEK_READ, forwards, recordOffset, buffer,
                    numberOfBytesToRead, bytesRead, minNumberOfBytesNeeded);
  }
  std::uint32_t number = 0;
  std::uint32_t offset = 0;
  if (Win32Error status =
          StartOfRead(*log, mode == EVENTLOG_SEEK_READ, forwards, recordOffset, number, offset)) {
    return Fail(status);
  }
  const LogFile& file = log->file;
  auto* out = static_cast<std::uint8_t*>(buffer);
  DWORD used = 0;
  std::vector<std::uint8_t> disk;
  std::vector<std::uint8_t> ansi;
  Win32Error stop = ERROR_SUCCESS;
  while (true) {
    stop = file.ReadRecord(offset, number, disk);
    if (stop == ERROR_SUCCESS) stop = ConvertToAnsi(disk, ansi);
    if (stop != ERROR_SUCCESS) break;
    if (ansi.size() > numberOfBytesToRead - used) {
      if (used == 0) {
        *minNumberOfBytesNeeded = static_cast<DWORD>(ansi.size());
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      break;
    }
    std::memcpy(out + used, ansi.data(), ansi.size());
    used += static_cast<DWORD>(ansi.size());
    log->started = true;
    log->offsetKnown = false;
    if (forwards) {
      log->nextNumber = number + 1;
      log->nextOffset = file.NextOffset(offset, static_cast<std::uint32_t>(disk.size()));
      log->offsetKnown = true;
    } else {
      log->nextNumber = number - 1;
      if (number != file.State().oldestRecordNumber &&
          file.PreviousOffset(offset, log->nextOffset) == ERROR_SUCCESS) {
        log->offsetKnown = true;
      }
    }
    if (!file.Contains(log->nextNumber)) break;
    number = log->nextNumber;
    if (!log->offsetKnown) {
      stop = ERROR_EVENTLOG_FILE_CORRUPT;
      break;
    }
    offset = log->nextOffset;
  }
  // Records already placed are returned; the fault shows on the next call.
  if (used == 0) return Fail(stop == ERROR_SUCCESS ? ERROR_HANDLE_EOF : stop);
  *bytesRead = used;
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords) {
  return AnswerFromFile(eventLog, numberOfRecords, [](const EventLogObject& log) {
    return log.modern ? static_cast<DWORD>(log.modern->Count()) : log.file.Count();
  });
}

BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord) {
  return AnswerFromFile(eventLog, oldestRecord, [](const EventLogObject& log) -> DWORD {
    if (log.modern) return log.modern->Count() == 0 ? 0 : log.modern->Number(0);
    return log.file.Count() == 0 ? 0 : log.file.State().oldestRecordNumber;
  });
}

BOOL GetEventLogSkippedRecords(HANDLE eventLog, DWORD* skippedRecords) {
  return AnswerFromFile(eventLog, skippedRecords, [](const EventLogObject& log) -> DWORD {
    return log.modern ? log.modern->Skipped() : 0;
  });
}

EventLogHandle::~EventLogHandle() {
  if (handle_ != nullptr && !CloseEventLog(handle_)) DeregisterEventSource(handle_);
}

EventLogHandle& EventLogHandle::operator=(EventLogHandle&& other) noexcept {
  if (this != &other) {
    EventLogHandle old(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

}  // namespace tamsel::platform::eventlog
