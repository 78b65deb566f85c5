// The collector's procedures: storing one event record with its names mapped to lookup
// rows, the exclusion check of a server and event type, and whether a backup name is taken.
#include <optional>
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

// Inserts a new name into a lookup table and returns its key.
std::int64_t AddName(Session& session, const char* insert, const std::string& name) {
  session.Prepare(insert).BindText(1, name).Run();
  return session.LastInsertRowId();
}

constexpr const char* kLogType = "INSERT INTO LogType (LogTypeName) VALUES (?)";
constexpr const char* kSource = "INSERT INTO ELSource (ELSourceName) VALUES (?)";
constexpr const char* kUser = "INSERT INTO ELUser (ELUserName) VALUES (?)";
constexpr const char* kCategory = "INSERT INTO EventCategory (EventCategoryName) VALUES (?)";

bool IsKnownEventType(std::int64_t type) {
  return type == 0 || type == 1 || type == 2 || type == 4 || type == 8 || type == 16;
}

std::int64_t AddBackup(Session& session, std::int64_t server, std::int64_t logType,
                       const std::string& backupFile) {
  session.Prepare("INSERT INTO LogBackup (ELServerID, LogTypeID, BackupFileName) VALUES (?, ?, ?)")
      .BindInt64(1, server)
      .BindInt64(2, logType)
      .BindText(3, backupFile)
      .Run();
  return session.LastInsertRowId();
}

// Makes a row stored without a backup (before backups were known, or by a caller that
// names none) the row of the record of `backupFile` that matched it, so it stands for that
// one record only.
void ClaimUnbackedRow(Session& session, std::int64_t row, std::int64_t server, std::int64_t logType,
                      const std::string& backupFile, std::optional<std::int64_t>& backup) {
  if (backupFile.empty()) return;
  if (!backup) backup = AddBackup(session, server, logType, backupFile);
  session.Prepare("UPDATE LogEntry SET LogBackupID = ? WHERE LEID = ?")
      .BindInt64(1, *backup)
      .BindInt64(2, row)
      .Run();
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
  const std::string backupFile = Text(call.Arg(12), "BackupFileName", true);

  // One probe answers what the call needs to know before writing: the keys of the four
  // names, whether the server exists, whether its log is recorded, the backup the record
  // was read from, whether the record is stored under it already, and a row stored
  // without a backup that has the record's number, times and event id. Every failure the
  // arguments can cause is raised before the first write, so the call needs no savepoint
  // of its own (see the registration). The log type's key is looked up once and serves
  // every question about the log.
  auto probe = session.Prepare(
      "SELECT t.id,"
      " (SELECT ELSourceID FROM ELSource WHERE ELSourceName = ?2),"
      " (SELECT ELUserID FROM ELUser WHERE ELUserName = ?3),"
      " (SELECT EventCategoryID FROM EventCategory WHERE EventCategoryName = ?4),"
      " EXISTS (SELECT 1 FROM ELServer WHERE ELServerID = ?5),"
      " EXISTS (SELECT 1 FROM ELServerLogType WHERE ELServerID = ?5 AND LogTypeID = t.id),"
      " b.id,"
      " EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID = b.id AND RecordNumber = ?7),"
      " (SELECT LEID FROM LogEntry WHERE LogBackupID IS NULL AND ELServerID = ?5"
      "   AND LogTypeID = t.id AND RecordNumber = ?7 AND TimeGenerated = ?8"
      "   AND TimeWritten = ?9 AND EventID = ?10 LIMIT 1)"
      " FROM (SELECT (SELECT LogTypeID FROM LogType WHERE LogTypeName = ?1) AS id) t,"
      " (SELECT (SELECT LogBackupID FROM LogBackup WHERE ELServerID = ?5"
      "   AND LogTypeID = (SELECT LogTypeID FROM LogType WHERE LogTypeName = ?1)"
      "   AND BackupFileName = ?6) AS id) b");
  probe.BindText(1, logName)
      .BindText(2, sourceName)
      .BindText(3, userName)
      .BindText(4, categoryName)
      .BindInt64(5, server)
      .BindText(6, backupFile)
      .BindInt64(7, recordNumber)
      .BindText(8, generated)
      .BindText(9, written)
      .BindInt64(10, eventId);
  probe.Step();
  auto key = [&](int column) -> std::optional<std::int64_t> {
    if (probe.IsNull(column)) return std::nullopt;
    return probe.Int64(column);
  };
  std::optional<std::int64_t> logType = key(0), source = key(1), user = key(2), category = key(3);
  const bool serverExists = probe.Int64(4) != 0;
  const bool logRecorded = probe.Int64(5) != 0;
  std::optional<std::int64_t> backup = key(6);
  const bool stored = probe.Int64(7) != 0;
  const std::optional<std::int64_t> unbacked = key(8);
  probe.Reset();
  if (!serverExists) {
    platform::data::RaiseProviderError(
        platform::data::kIntegrityViolation,
        "The INSERT statement conflicted with the FOREIGN KEY constraint on column "
        "'ELServerID'. The conflict occurred in table 'ELServer'.");
  }
  // A re-read never duplicates.
  if (stored) return 0;
  if (unbacked) {
    ClaimUnbackedRow(session, *unbacked, server, *logType, backupFile, backup);
    return 0;
  }

  session.EnsureEntryMonth(generated);
  if (!logType) logType = AddName(session, kLogType, logName);
  if (!source) source = AddName(session, kSource, sourceName);
  if (!user) user = AddName(session, kUser, userName);
  if (!category) category = AddName(session, kCategory, categoryName);
  if (!IsKnownEventType(eventType)) {
    // A type outside the six Windows knows still gets a row, so the entry keeps its joins.
    auto type = session.Prepare(
        "INSERT OR IGNORE INTO EventType (EventTypeID, EventTypeCode, EventTypeName) "
        "VALUES (?, 'U', 'Unknown')");
    type.BindInt64(1, eventType).Run();
  }
  if (!backupFile.empty() && !backup) backup = AddBackup(session, server, *logType, backupFile);
  if (!logRecorded) {
    session.Prepare("INSERT INTO ELServerLogType (ELServerID, LogTypeID) VALUES (?, ?)")
        .BindInt64(1, server)
        .BindInt64(2, *logType)
        .Run();
  }
  auto entry = session.Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage, LogBackupID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  entry.BindInt64(1, server)
      .BindInt64(2, *logType)
      .BindInt64(3, recordNumber)
      .BindText(4, generated)
      .BindText(5, written)
      .BindInt64(6, eventId)
      .BindInt64(7, eventType)
      .BindInt64(8, *category)
      .BindInt64(9, categoryNumber)
      .BindInt64(10, *user)
      .BindInt64(11, *source)
      .BindText(12, message);
  if (backup) {
    entry.BindInt64(13, *backup);
  } else {
    entry.BindNull(13);
  }
  entry.Run();
  return 0;
}

int LogEntryExclusionCheck(ProcedureCall& call) {
  call.SelectRows(
      "SELECT CASE WHEN EXISTS (SELECT 1 FROM EventExclusion WHERE ELServerID = ? AND "
      "EventTypeID = ?) THEN 1 ELSE 0 END AS InExclusionList",
      {call.Arg(0), call.Arg(1)});
  return 0;
}

int LogBackupCheck(ProcedureCall& call) {
  call.SelectRows(
      "SELECT CASE WHEN EXISTS (SELECT 1 FROM LogBackup b JOIN LogType t"
      " ON t.LogTypeID = b.LogTypeID WHERE b.ELServerID = ? AND t.LogTypeName = ?"
      " AND b.BackupFileName = ?) THEN 1 ELSE 0 END AS BackupKnown",
      {call.Arg(0), call.Arg(1), call.Arg(2)});
  return 0;
}

}  // namespace tamsel::db
