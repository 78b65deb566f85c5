// The event log service's side of .evtx: telling the formats apart, which format a machine
// keeps, empty logs in that format, reading an .evtx log or backup through a handle in the
// classic record form, appending reported events, and copying a log for a backup.
// Internal to the event log service.
#pragma once

#include <filesystem>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/log_config.h"

namespace tamsel::platform::eventlog {

struct EventLogObject;

// The file begins with the .evtx signature.
bool IsEvtxFile(const std::filesystem::path& path);

// Windows 6.0 and later (CurrentVersion of the machine's Windows NT key) keep .evtx logs.
bool KeepsEvtxLogs(const network::Machine& machine);

// An empty log at `path` (which must not exist) in the format of the log's machine.
Win32Error WriteEmptyLogFor(const LogLocation& location, const std::filesystem::path& path);

// Decodes the .evtx file at `path` into the handle unless it is unchanged since the last time.
Win32Error LoadEvtx(EventLogObject& log, const std::filesystem::path& path);

// ReadEventLogA on a handle whose file is .evtx (arguments already checked).
BOOL ReadEvtx(EventLogObject& log, bool seek, bool forwards, DWORD recordNumber, void* buffer,
              DWORD numberOfBytesToRead, DWORD* bytesRead, DWORD* minNumberOfBytesNeeded);

// Appends a reported event to the .evtx log of `location` (caller holds the exclusive lock).
Win32Error AppendEvtx(const LogLocation& location, const EventFields& fields, std::uint32_t now);

// Copies an .evtx file as it is into `fd`.
Win32Error CopyEvtx(const std::filesystem::path& from, int fd);

}  // namespace tamsel::platform::eventlog
