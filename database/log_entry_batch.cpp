// The staging table, its COPY text and the merge that applies LogEntryInsert's rules to a
// whole batch (see log_entry_procedures.cpp for the rules one record at a time).
#include "database/log_entry_batch.h"

namespace tamsel::db {
namespace {

// Made once per connection; emptied at every batch and at the end of the transaction.
constexpr const char* kPrepare = R"sql(
SAVEPOINT tamsel_batch;
DO $$ BEGIN
  IF to_regclass('pg_temp.tamsel_staging') IS NULL THEN
    CREATE TEMP TABLE tamsel_staging (seq BIGINT, server BIGINT, log_name CITEXT,
      record_number BIGINT, time_generated TEXT, time_written TEXT, event_id BIGINT,
      event_type BIGINT, category_number BIGINT, category_name CITEXT, user_name CITEXT,
      source_name CITEXT, message TEXT, backup_file CITEXT) ON COMMIT DELETE ROWS;
  ELSE
    TRUNCATE tamsel_staging;
  END IF;
END $$)sql";

// Records of a server that is not known are refused, as the procedure refuses them.
constexpr const char* kRefuse =
    "WITH gone AS (DELETE FROM tamsel_staging s WHERE NOT EXISTS (SELECT 1 FROM ELServer e "
    "WHERE e.ELServerID = s.server) RETURNING 1) SELECT COUNT(*) FROM gone";

// A lookup table's new names, keyed in the order of their first record.
std::string AddNames(const char* table, const char* column, const char* staged) {
  return std::string("INSERT INTO ") + table + " (" + column + ") SELECT name FROM (SELECT " +
         "DISTINCT ON (" + staged + ") " + staged + " AS name, seq FROM tamsel_staging ORDER BY " +
         staged + ", seq) n WHERE NOT EXISTS (SELECT 1 FROM " + table + " t WHERE t." + column +
         " = n.name) ORDER BY seq ON CONFLICT DO NOTHING;\n";
}

std::string MergeScript() {
  std::string script = AddNames("LogType", "LogTypeName", "log_name") +
                       AddNames("ELSource", "ELSourceName", "source_name") +
                       AddNames("ELUser", "ELUserName", "user_name") +
                       AddNames("EventCategory", "EventCategoryName", "category_name");
  script += R"sql(
-- A type outside the six Windows knows still gets a row, so the entry keeps its joins.
INSERT INTO EventType (EventTypeID, EventTypeCode, EventTypeName)
  SELECT DISTINCT event_type, 'U', 'Unknown' FROM tamsel_staging
  WHERE event_type NOT IN (0, 1, 2, 4, 8, 16) ON CONFLICT DO NOTHING;
INSERT INTO ELServerLogType (ELServerID, LogTypeID)
  SELECT DISTINCT s.server, l.LogTypeID FROM tamsel_staging s
  JOIN LogType l ON l.LogTypeName = s.log_name
  WHERE NOT EXISTS (SELECT 1 FROM ELServerLogType x
                    WHERE x.ELServerID = s.server AND x.LogTypeID = l.LogTypeID);
INSERT INTO LogBackup (ELServerID, LogTypeID, BackupFileName)
  SELECT server, LogTypeID, backup_file FROM (
    SELECT DISTINCT ON (s.server, l.LogTypeID, s.backup_file) s.server, l.LogTypeID,
      s.backup_file, s.seq
    FROM tamsel_staging s JOIN LogType l ON l.LogTypeName = s.log_name
    ORDER BY s.server, l.LogTypeID, s.backup_file, s.seq) n
  WHERE NOT EXISTS (SELECT 1 FROM LogBackup b WHERE b.ELServerID = n.server
                    AND b.LogTypeID = n.LogTypeID AND b.BackupFileName = n.backup_file)
  ORDER BY seq ON CONFLICT DO NOTHING;
-- A row stored before records were known by their backup is adopted by the record that
-- matches it, unless the backup has that record already.
UPDATE LogEntry e SET LogBackupID = b.LogBackupID
  FROM tamsel_staging s JOIN LogType l ON l.LogTypeName = s.log_name
  JOIN LogBackup b ON b.ELServerID = s.server AND b.LogTypeID = l.LogTypeID
    AND b.BackupFileName = s.backup_file
  WHERE EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID IS NULL)
    AND e.LogBackupID IS NULL AND e.ELServerID = s.server AND e.LogTypeID = l.LogTypeID
    AND e.RecordNumber = s.record_number AND e.TimeGenerated = s.time_generated
    AND e.TimeWritten = s.time_written AND e.EventID = s.event_id
    AND NOT EXISTS (SELECT 1 FROM LogEntry x WHERE x.LogBackupID = b.LogBackupID
                    AND x.RecordNumber = s.record_number);
-- One row per record of a backup: the first of the batch, unless the backup has it already.
-- The stored numbers are read per backup of the batch, only in the batch's range of numbers,
-- through the record index: a long backup's earlier batches are not read again.
WITH batch AS (
  SELECT DISTINCT ON (server, log_name, backup_file, record_number) * FROM tamsel_staging
  ORDER BY server, log_name, backup_file, record_number, seq),
keyed AS (
  SELECT s.*, l.LogTypeID, b.LogBackupID FROM batch s
  JOIN LogType l ON l.LogTypeName = s.log_name
  JOIN LogBackup b ON b.ELServerID = s.server AND b.LogTypeID = l.LogTypeID
    AND b.BackupFileName = s.backup_file),
ranges AS MATERIALIZED (
  SELECT LogBackupID, MIN(record_number) AS low, MAX(record_number) AS high FROM keyed
  GROUP BY LogBackupID),
stored AS MATERIALIZED (
  SELECT e.LogBackupID, e.RecordNumber FROM ranges r JOIN LogEntry e
  ON e.LogBackupID = r.LogBackupID AND e.RecordNumber BETWEEN r.low AND r.high)
INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten,
  EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, FullMessage,
  LogBackupID)
SELECT s.server, s.LogTypeID, s.record_number, s.time_generated, s.time_written, s.event_id,
  s.event_type, c.EventCategoryID, s.category_number, u.ELUserID, o.ELSourceID, s.message,
  s.LogBackupID
FROM keyed s
JOIN EventCategory c ON c.EventCategoryName = s.category_name
JOIN ELUser u ON u.ELUserName = s.user_name
JOIN ELSource o ON o.ELSourceName = s.source_name
WHERE NOT EXISTS (SELECT 1 FROM stored x WHERE x.LogBackupID = s.LogBackupID
                  AND x.RecordNumber = s.record_number)
ORDER BY s.seq
ON CONFLICT DO NOTHING;
RELEASE tamsel_batch;
)sql";
  return script;
}

// COPY's text format: tab between columns, backslash escapes. A text ends at a NUL, as it
// does when bound as a parameter.
void AppendText(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\0':
        return;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

void AppendNumber(std::string& out, std::int64_t number) { out += std::to_string(number); }

}  // namespace

void LogEntryBatch::Add(const EntryValues& values) {
  std::string& out = rows_;
  AppendNumber(out, static_cast<std::int64_t>(++size_));
  const auto column = [&out] { out += '\t'; };
  column();
  AppendNumber(out, values.server);
  column();
  AppendText(out, values.logName);
  column();
  AppendNumber(out, values.recordNumber);
  column();
  AppendText(out, values.timeGenerated);
  column();
  AppendText(out, values.timeWritten);
  for (std::int64_t number : {values.eventId, values.eventType, values.categoryNumber}) {
    column();
    AppendNumber(out, number);
  }
  for (std::string_view text : {values.categoryName, values.userName, values.sourceName,
                                values.message, values.backupFile}) {
    column();
    AppendText(out, text);
  }
  out += '\n';
  months_.emplace(values.timeGenerated.substr(0, 7));
}

long LogEntryBatch::Store(platform::data::Session& session) {
  if (size_ == 0) return 0;
  static const std::string merge = MergeScript();
  std::string rows = std::move(rows_);
  const std::set<std::string> months = std::move(months_);
  rows_.clear();
  months_.clear();
  size_ = 0;
  platform::data::ServerLink& link = *session.Server();
  link.Execute(kPrepare);
  try {
    link.CopyIn("COPY tamsel_staging FROM STDIN", rows);
    for (const std::string& month : months) session.EnsureEntryMonth(month);
    auto refused = session.Prepare(kRefuse);
    refused.Step();
    const long count = static_cast<long>(refused.Int64(0));
    refused.Reset();
    link.Execute(merge);
    return count;
  } catch (...) {
    try {
      if (link.Alive()) link.Execute("ROLLBACK TO tamsel_batch; RELEASE tamsel_batch");
    } catch (...) {
    }
    throw;
  }
}

}  // namespace tamsel::db
