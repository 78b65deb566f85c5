// Importing foreign records into a log, through the same append as reported events.
#include "platform/eventlog/event_import.h"

#include "platform/eventlog/event_log_object.h"

namespace tamsel::platform::eventlog {

EventFields FieldsOf(const ParsedRecord& record) {
  EventFields fields;
  fields.timeGenerated = record.timeGenerated;
  fields.eventId = record.eventId;
  fields.eventType = record.eventType;
  fields.category = record.category;
  fields.source = record.source;
  fields.computer = record.computer;
  fields.userSid = record.userSid;
  fields.strings = record.strings;
  fields.data = record.data;
  return fields;
}

Win32Error ImportEventRecords(const char* serverName, const char* logName,
                              const std::vector<EventFields>& records, std::size_t& appended) {
  appended = 0;
  if (logName == nullptr || *logName == '\0') return ERROR_INVALID_PARAMETER;
  EventLogObject writer;
  writer.kind = EventLogObject::Kind::kSource;
  std::shared_ptr<network::Machine> machine;
  if (Win32Error status = ReachMachine(serverName, machine)) return status;
  if (Win32Error status = LocateLog(machine, logName, writer.location)) return status;
  for (const EventFields& fields : records) {
    if (Win32Error status = AppendEvent(writer, fields)) return status;
    ++appended;
  }
  return ERROR_SUCCESS;
}

}  // namespace tamsel::platform::eventlog
