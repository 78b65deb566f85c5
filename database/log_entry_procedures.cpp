// The collector's procedures: storing one event record with its names mapped to lookup
// rows, the exclusion check of a server and event type, and whether a backup name is taken.
#include <optional>
#include <string>

#include "database/log_entry_memo.h"
#include "database/procedures.h"
#include "platform/data/provider_error.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using platform::data::Session;
using platform::data::Statement;

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

// One probe answers what the call needs to know before writing: the keys of the four
// names, whether the server exists, whether its log is recorded, the backup the record was
// read from, whether the record is stored under it already, and a row stored without a
// backup that has the record's number, times and event id. Every failure the arguments can
// cause is raised before the first write, so the call needs no savepoint of its own (see the
// registration). The log type's key is looked up once and serves every question about the
// log.
EntryProbe Probe(Session& session, const EntryArguments& entry) {
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
  probe.BindText(1, entry.logName)
      .BindText(2, entry.sourceName)
      .BindText(3, entry.userName)
      .BindText(4, entry.categoryName)
      .BindInt64(5, entry.server)
      .BindText(6, entry.backupFile)
      .BindInt64(7, entry.recordNumber)
      .BindText(8, entry.generated)
      .BindText(9, entry.written)
      .BindInt64(10, entry.eventId);
  probe.Step();
  auto key = [&](int column) -> std::optional<std::int64_t> {
    if (probe.IsNull(column)) return std::nullopt;
    return probe.Int64(column);
  };
  EntryProbe answers;
  answers.logType = key(0);
  answers.source = key(1);
  answers.user = key(2);
  answers.category = key(3);
  answers.serverExists = probe.Int64(4) != 0;
  answers.logRecorded = probe.Int64(5) != 0;
  answers.backup = key(6);
  answers.stored = probe.Int64(7) != 0;
  answers.unbacked = key(8);
  return answers;
}

// The six values that identify a row stored without a backup, as the first six parameters.
Statement& BindIdentity(Statement& statement, const EntryArguments& entry, std::int64_t logType) {
  return statement.BindInt64(1, entry.server)
      .BindInt64(2, logType)
      .BindInt64(3, entry.recordNumber)
      .BindText(4, entry.generated)
      .BindText(5, entry.written)
      .BindInt64(6, entry.eventId);
}

// The record's own questions, when the keys came from the memo: is it stored under its
// backup, and is there a row without a backup that is the record (only asked of a log that
// has such rows).
void AskRecord(Session& session, const EntryArguments& entry, EntryProbe& probe) {
  if (probe.backup) {
    auto stored = session.Prepare(
        "SELECT EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID = ? AND RecordNumber = ?)");
    stored.BindInt64(1, *probe.backup).BindInt64(2, entry.recordNumber);
    stored.Step();
    probe.stored = stored.Int64(0) != 0;
    if (probe.stored) return;
  }
  if (!probe.anyUnbacked) {
    auto any = session.Prepare(
        "SELECT EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID IS NULL AND ELServerID = ?"
        " AND LogTypeID = ?)");
    any.BindInt64(1, entry.server).BindInt64(2, *probe.logType);
    any.Step();
    probe.anyUnbacked = any.Int64(0) != 0;
  }
  if (!*probe.anyUnbacked) return;
  auto unbacked = session.Prepare(
      "SELECT LEID FROM LogEntry WHERE LogBackupID IS NULL AND ELServerID = ? AND LogTypeID = ?"
      " AND RecordNumber = ? AND TimeGenerated = ? AND TimeWritten = ? AND EventID = ? LIMIT 1");
  BindIdentity(unbacked, entry, *probe.logType);
  if (unbacked.Step()) probe.unbacked = unbacked.Int64(0);
}

// Adds what the record needs and is missing (names, its unknown type, its backup, the log's
// row), then the entry; `probe` learns the keys added.
void StoreEntry(Session& session, const EntryArguments& entry, EntryProbe& probe) {
  session.EnsureEntryMonth(entry.generated);
  if (!probe.logType) probe.logType = AddName(session, kLogType, entry.logName);
  if (!probe.source) probe.source = AddName(session, kSource, entry.sourceName);
  if (!probe.user) probe.user = AddName(session, kUser, entry.userName);
  if (!probe.category) probe.category = AddName(session, kCategory, entry.categoryName);
  if (!IsKnownEventType(entry.eventType)) {
    // A type outside the six Windows knows still gets a row, so the entry keeps its joins.
    auto type = session.Prepare(
        "INSERT OR IGNORE INTO EventType (EventTypeID, EventTypeCode, EventTypeName) "
        "VALUES (?, 'U', 'Unknown')");
    type.BindInt64(1, entry.eventType).Run();
  }
  if (!entry.backupFile.empty() && !probe.backup) {
    probe.backup = AddBackup(session, entry.server, *probe.logType, entry.backupFile);
  }
  if (!probe.logRecorded) {
    session.Prepare("INSERT INTO ELServerLogType (ELServerID, LogTypeID) VALUES (?, ?)")
        .BindInt64(1, entry.server)
        .BindInt64(2, *probe.logType)
        .Run();
    probe.logRecorded = true;
  }
  auto row = session.Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage, LogBackupID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  BindIdentity(row, entry, *probe.logType)
      .BindInt64(7, entry.eventType)
      .BindInt64(8, *probe.category)
      .BindInt64(9, entry.categoryNumber)
      .BindInt64(10, *probe.user)
      .BindInt64(11, *probe.source)
      .BindText(12, entry.message);
  if (probe.backup) {
    row.BindInt64(13, *probe.backup);
  } else {
    row.BindNull(13);
  }
  row.Run();
}

}  // namespace

int LogEntryInsert(ProcedureCall& call) {
  Session& session = call.GetSession();
  EntryArguments entry;
  entry.server = Number(call.Arg(0), "ELServerID");
  entry.logName = Text(call.Arg(1), "LogTypeName", false);
  entry.recordNumber = Number(call.Arg(2), "RecordNumber");
  entry.generated = IsoTime(call.Arg(3), "TimeGenerated");
  entry.written = IsoTime(call.Arg(4), "TimeWritten");
  entry.eventId = Number(call.Arg(5), "EventID");
  entry.eventType = Number(call.Arg(6), "EventTypeID");
  entry.categoryNumber = call.Arg(7).IsNull() ? 0 : call.Arg(7).CLng();
  entry.categoryName = Text(call.Arg(8), "EventCategoryName", true);
  entry.userName = Text(call.Arg(9), "ELUserName", true);
  entry.sourceName = Text(call.Arg(10), "ELSourceName", false);
  entry.message = Text(call.Arg(11), "FullMessage", true);
  entry.backupFile = Text(call.Arg(12), "BackupFileName", true);

  // Inside the collector's transaction the keys of one call serve the next ones, and only
  // the record's own questions are asked again.
  EntryMemo memo(session.Memo(), entry);
  EntryProbe probe;
  if (memo.Recall(probe)) {
    AskRecord(session, entry, probe);
  } else {
    probe = Probe(session, entry);
  }
  if (!probe.serverExists) {
    platform::data::RaiseProviderError(
        platform::data::kIntegrityViolation,
        "The INSERT statement conflicted with the FOREIGN KEY constraint on column "
        "'ELServerID'. The conflict occurred in table 'ELServer'.");
  }
  memo.Keep(probe);
  // A re-read never duplicates.
  if (probe.stored) {
    session.SealMemo();
    return 0;
  }
  if (probe.unbacked) {
    ClaimUnbackedRow(session, *probe.unbacked, entry.server, *probe.logType, entry.backupFile,
                     probe.backup);
    memo.Keep(probe);  // the backup, if the claim added it
    session.SealMemo();
    return 0;
  }
  StoreEntry(session, entry, probe);
  memo.Keep(probe);
  if (entry.backupFile.empty()) memo.NoteUnbacked();
  session.SealMemo();
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
