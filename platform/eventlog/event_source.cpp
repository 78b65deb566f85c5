// Event sources and ReportEventA: records built in their on-disk form and appended to the
// source's log under the log's exclusive lock.
#include <vector>

#include "platform/accounts/sid.h"
#include "platform/eventlog/event_clock.h"
#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_service.h"
#include "platform/eventlog/interrupted_clear.h"
#include "platform/eventlog/text_conversion.h"

namespace tamsel::platform::eventlog {

namespace {

using Kind = EventLogObject::Kind;

// Checks the caller's arguments and gathers the record's fields.
Win32Error CollectFields(const EventLogObject& source, WORD type, WORD category, DWORD eventId,
                         const void* userSid, WORD numStrings, DWORD dataSize, const char** strings,
                         const void* rawData, EventFields& fields) {
  if ((numStrings > 0 && strings == nullptr) || (dataSize > 0 && rawData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  fields.timeGenerated = EventClockNow();
  fields.eventId = eventId;
  fields.eventType = type;
  fields.category = category;
  fields.source = source.sourceName;
  fields.computer = source.location.machine->Name();
  if (userSid != nullptr) {
    auto sid = accounts::Sid::FromPointer(userSid);
    if (!sid) return ERROR_INVALID_SID;
    fields.userSid = sid->Bytes();
  }
  for (WORD i = 0; i < numStrings; ++i) {
    if (strings[i] == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::uint8_t> units;
    if (AppendUtf16Le(strings[i], units) > kMaxStringChars) return ERROR_INVALID_PARAMETER;
    fields.strings.emplace_back(strings[i]);
  }
  const auto* data = static_cast<const std::uint8_t*>(rawData);
  if (dataSize > 0) fields.data.assign(data, data + dataSize);
  return ERROR_SUCCESS;
}

}  // namespace

Win32Error AppendEvent(EventLogObject& source, const EventFields& fields) {
  const LogLocation& location = source.location;
  if (!location.machine->IsReachable()) return RPC_S_SERVER_UNAVAILABLE;
  FileLock lock;
  if (Win32Error status = lock.Acquire(location.lockFile, FileLock::Mode::kExclusive)) {
    return status;
  }
  FinishInterruptedClear(location);
  if (Win32Error status = EnsureLogFile(location)) return status;
  if (IsEvtxFile(location.file)) return AppendEvtx(location, fields, EventClockNow());
  std::vector<std::uint8_t> record = BuildDiskRecord(fields);
  // A clear replaces the file; the writer follows it to the new one.
  if (!source.fileOpen || !source.file.IsSameFileAs(location.file)) {
    source.fileOpen = false;
    if (Win32Error status = source.file.Open(location.file, true)) return status;
    source.fileOpen = true;
  }
  if (Win32Error status = source.file.Load()) return status;
  return source.file.Append(record, location.maxSize, location.retention, EventClockNow());
}

HANDLE RegisterEventSourceA(const char* serverName, const char* sourceName) {
  if (sourceName == nullptr || *sourceName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_unique<EventLogObject>();
  object->kind = Kind::kSource;
  object->sourceName = sourceName;
  std::shared_ptr<network::Machine> machine;
  Win32Error status = ReachMachine(serverName, machine);
  if (status == ERROR_SUCCESS) {
    status = LocateLog(machine, FindSourceLog(*machine, sourceName), object->location);
  }
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return AddHandle(std::move(object));
}

BOOL DeregisterEventSource(HANDLE eventSource) {
  if (!RemoveHandle(eventSource, Kind::kSource)) return Fail(ERROR_INVALID_HANDLE);
  return 1;
}

BOOL ReportEventA(HANDLE eventSource, WORD type, WORD category, DWORD eventId, const void* userSid,
                  WORD numStrings, DWORD dataSize, const char** strings, const void* rawData) {
  auto source = FindHandle(eventSource, Kind::kSource, Kind::kSource);
  if (!source) return Fail(ERROR_INVALID_HANDLE);
  EventFields fields;
  if (Win32Error status = CollectFields(*source, type, category, eventId, userSid, numStrings,
                                        dataSize, strings, rawData, fields)) {
    return Fail(status);
  }
  std::lock_guard lock(source->mutex);
  if (Win32Error status = AppendEvent(*source, fields)) return Fail(status);
  SetLastError(ERROR_SUCCESS);
  return 1;
}

}  // namespace tamsel::platform::eventlog
