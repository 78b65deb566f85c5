// Records of another log (an exported .evt or .evtx file, read through the classic calls)
// appended to a machine's log, each keeping what it says about itself. Not a Windows
// function: Windows has no way to put foreign records into a live log.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/eventlog/evt_format.h"

namespace tamsel::platform::eventlog {

// The fields of a record as ReadEventLogA returned it.
EventFields FieldsOf(const ParsedRecord& record);

// Appends `records` in order to the log `logName` of the machine (NULL/"" local), keeping
// each one's time generated, source, computer, user, strings and data; the log numbers them
// and stamps their time written. Stops at the first failure (ERROR_LOG_FILE_FULL, …);
// `appended` says how many went in.
Win32Error ImportEventRecords(const char* serverName, const char* logName,
                              const std::vector<EventFields>& records, std::size_t& appended);

}  // namespace tamsel::platform::eventlog
