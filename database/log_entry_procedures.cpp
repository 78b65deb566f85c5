// The collector's procedures: storing one event record with its names mapped to lookup
// rows, and the exclusion check of a server and event type.
#include <string>

#include "database/procedures.h"
#include "platform/data/provider_error.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using platform::data::Session;

// SQL Server's error 515 for a NULL in a column that allows none.
[[noreturn]] void RaiseNull(const char* column) {
  platform::data::RaiseProviderError(
      platform::data::kIntegrityViolation,
      std::string("Cannot insert the value NULL into column '") + column +
          "', table 'LogEntry'; column does not allow nulls. INSERT fails.");
}

std::string Text(const Variant& value, const char* column, bool nullAsEmpty) {
  if (value.IsNull() || value.IsEmpty()) {
    if (!nullAsEmpty) RaiseNull(column);
    return {};
  }
  return value.CStr();
}

std::int64_t Number(const Variant& value, const char* column) {
  if (value.IsNull() || value.IsEmpty()) RaiseNull(column);
  return value.CLng();
}

std::string IsoTime(const Variant& value, const char* column) {
  if (value.IsNull() || value.IsEmpty()) RaiseNull(column);
  return platform::data::FormatIsoDate(value.CDate());
}

// How a lookup table is searched by name and extended with a new name.
struct Lookup {
  const char* select;
  const char* insert;
};
constexpr Lookup kLogType{"SELECT LogTypeID FROM LogType WHERE LogTypeName = ?",
                          "INSERT INTO LogType (LogTypeName) VALUES (?)"};
constexpr Lookup kSource{"SELECT ELSourceID FROM ELSource WHERE ELSourceName = ?",
                         "INSERT INTO ELSource (ELSourceName) VALUES (?)"};
constexpr Lookup kUser{"SELECT ELUserID FROM ELUser WHERE ELUserName = ?",
                       "INSERT INTO ELUser (ELUserName) VALUES (?)"};
constexpr Lookup kCategory{"SELECT EventCategoryID FROM EventCategory WHERE EventCategoryName = ?",
                           "INSERT INTO EventCategory (EventCategoryName) VALUES (?)"};

// The key of `name` in a lookup table, adding the row when the name is new.
std::int64_t LookupOrAdd(Session& session, const Lookup& lookup, const std::string& name) {
  {
    auto found = session.Prepare(lookup.select);
    found.BindText(1, name);
    if (found.Step()) return found.Int64(0);
  }
  session.Prepare(lookup.insert).BindText(1, name).Run();
  return session.LastInsertRowId();
}

bool IsKnownEventType(std::int64_t type) {
  return type == 0 || type == 1 || type == 2 || type == 4 || type == 8 || type == 16;
}

}  // namespace

int LogEntryInsert(ProcedureCall& call) {
  Session& session = call.GetSession();
  const std::int64_t server = Number(call.Arg(0), "ELServerID");
  const std::string logName = Text(call.Arg(1), "LogTypeName", false);
  const std::int64_t recordNumber = Number(call.Arg(2), "RecordNumber");
  const std::string generated = IsoTime(call.Arg(3), "TimeGenerated");
  const std::string written = IsoTime(call.Arg(4), "TimeWritten");
  const std::int64_t eventId = Number(call.Arg(5), "EventID");
  const std::int64_t eventType = Number(call.Arg(6), "EventTypeID");
  const std::int64_t categoryNumber = call.Arg(7).IsNull() ? 0 : call.Arg(7).CLng();
  const std::string categoryName = Text(call.Arg(8), "EventCategoryName", true);
  const std::string userName = Text(call.Arg(9), "ELUserName", true);
  const std::string sourceName = Text(call.Arg(10), "ELSourceName", false);
  const std::string message = Text(call.Arg(11), "FullMessage", true);

  const std::int64_t logType = LookupOrAdd(session, kLogType, logName);
  const std::int64_t source = LookupOrAdd(session, kSource, sourceName);
  const std::int64_t user = LookupOrAdd(session, kUser, userName);
  const std::int64_t category = LookupOrAdd(session, kCategory, categoryName);
  if (!IsKnownEventType(eventType)) {
    // A type outside the six Windows knows still gets a row, so the entry keeps its joins.
    auto type = session.Prepare(
        "INSERT OR IGNORE INTO EventType (EventTypeID, EventTypeCode, EventTypeName) "
        "VALUES (?, 'U', 'Unknown')");
    type.BindInt64(1, eventType).Run();
  }
  session.Prepare("INSERT OR IGNORE INTO ELServerLogType (ELServerID, LogTypeID) VALUES (?, ?)")
      .BindInt64(1, server)
      .BindInt64(2, logType)
      .Run();
  auto entry = session.Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
      "ON CONFLICT (ELServerID, LogTypeID, RecordNumber, TimeGenerated) DO NOTHING");
  entry.BindInt64(1, server)
      .BindInt64(2, logType)
      .BindInt64(3, recordNumber)
      .BindText(4, generated)
      .BindText(5, written)
      .BindInt64(6, eventId)
      .BindInt64(7, eventType)
      .BindInt64(8, category)
      .BindInt64(9, categoryNumber)
      .BindInt64(10, user)
      .BindInt64(11, source)
      .BindText(12, message)
      .Run();
  return 0;
}

int LogEntryExclusionCheck(ProcedureCall& call) {
  call.SelectRows(
      "SELECT CASE WHEN EXISTS (SELECT 1 FROM EventExclusion WHERE ELServerID = ? AND "
      "EventTypeID = ?) THEN 1 ELSE 0 END AS InExclusionList",
      {call.Arg(0), call.Arg(1)});
  return 0;
}

}  // namespace tamsel::db
