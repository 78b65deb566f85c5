// The staging tables, their COPY text and the merge that applies LogEntryInsert's rules to a
// whole batch (see log_entry_procedures.cpp for the rules one record at a time).
#include "database/log_entry_batch.h"

#include <stdexcept>

namespace tamsel::db {
namespace {

// Made once per connection; emptied at every batch and at the end of the transaction. A
// record names its backup, category, user and source by their numbers in the names table;
// a backup's row there also holds its server and log. The planner knows nothing of the staged
// rows and guesses the merge costly enough to compile it, which costs more than running it,
// so compiling is off until the transaction ends.
constexpr const char* kPrepare = R"sql(
SAVEPOINT tamsel_batch;
SET LOCAL jit = off;
DO $$ BEGIN
  IF to_regclass('pg_temp.tamsel_batch_rows') IS NULL THEN
    CREATE TEMP TABLE tamsel_batch_rows (seq BIGINT, backup INT, record_number BIGINT,
      time_generated TEXT, time_written TEXT, event_id BIGINT, event_type BIGINT,
      category_number BIGINT, category INT, user_name INT, source INT, message TEXT)
      ON COMMIT DELETE ROWS;
    CREATE TEMP TABLE tamsel_batch_names (number INT, kind INT, seq BIGINT, server BIGINT,
      log_name CITEXT, name CITEXT, key BIGINT, log_type BIGINT) ON COMMIT DELETE ROWS;
  ELSE
    TRUNCATE tamsel_batch_rows, tamsel_batch_names;
  END IF;
END $$)sql";

constexpr const char* kCopyRows = "COPY tamsel_batch_rows FROM STDIN";
constexpr const char* kCopyNames =
    "COPY tamsel_batch_names (number, kind, seq, server, log_name, name) FROM STDIN";

// Records of a server that is not known are refused, as the procedure refuses them.
constexpr const char* kRefuse =
    "WITH unknown AS (SELECT number FROM tamsel_batch_names n WHERE kind = 0 AND NOT EXISTS "
    "(SELECT 1 FROM ELServer e WHERE e.ELServerID = n.server)), "
    "gone AS (DELETE FROM tamsel_batch_rows r WHERE r.backup IN (SELECT number FROM unknown) "
    "RETURNING 1) SELECT COUNT(*) FROM gone";

// After a refusal a name is first used by the first record left, and one no record uses
// any more makes no lookup row.
constexpr const char* kRenumber = R"sql(
UPDATE tamsel_batch_names n SET seq = (SELECT MIN(r.seq) FROM tamsel_batch_rows r
  WHERE n.number IN (r.backup, r.category, r.user_name, r.source));
DELETE FROM tamsel_batch_names WHERE seq IS NULL)sql";

// A lookup table's new names, keyed in the order of their first record.
std::string AddNames(const char* table, const char* column, const char* kind, const char* named) {
  return std::string("INSERT INTO ") + table + " (" + column + ") SELECT name FROM (SELECT " +
         "DISTINCT ON (" + named + ") " + named +
         " AS name, seq FROM tamsel_batch_names WHERE kind = " + kind + " ORDER BY " + named +
         ", seq) n WHERE NOT EXISTS (SELECT 1 FROM " + table + " t WHERE t." + column +
         " = n.name) ORDER BY seq ON CONFLICT DO NOTHING;\n";
}

// The key of each name of the batch, found once.
std::string KeyNames(const char* table, const char* key, const char* column, const char* kind) {
  return std::string("UPDATE tamsel_batch_names n SET key = t.") + key + " FROM " + table +
         " t WHERE n.kind = " + kind + " AND t." + column + " = n.name;\n";
}

std::string MergeScript() {
  std::string script = AddNames("LogType", "LogTypeName", "0", "log_name") +
                       AddNames("ELSource", "ELSourceName", "3", "name") +
                       AddNames("ELUser", "ELUserName", "2", "name") +
                       AddNames("EventCategory", "EventCategoryName", "1", "name");
  script += R"sql(
-- A type outside the six Windows knows still gets a row, so the entry keeps its joins.
INSERT INTO EventType (EventTypeID, EventTypeCode, EventTypeName)
  SELECT DISTINCT event_type, 'U', 'Unknown' FROM tamsel_batch_rows
  WHERE event_type NOT IN (0, 1, 2, 4, 8, 16) ON CONFLICT DO NOTHING;
INSERT INTO ELServerLogType (ELServerID, LogTypeID)
  SELECT DISTINCT n.server, l.LogTypeID FROM tamsel_batch_names n
  JOIN LogType l ON l.LogTypeName = n.log_name
  WHERE n.kind = 0 AND NOT EXISTS (SELECT 1 FROM ELServerLogType x
                                   WHERE x.ELServerID = n.server AND x.LogTypeID = l.LogTypeID);
INSERT INTO LogBackup (ELServerID, LogTypeID, BackupFileName)
  SELECT server, LogTypeID, name FROM (
    SELECT DISTINCT ON (n.server, l.LogTypeID, n.name) n.server, l.LogTypeID, n.name, n.seq
    FROM tamsel_batch_names n JOIN LogType l ON l.LogTypeName = n.log_name WHERE n.kind = 0
    ORDER BY n.server, l.LogTypeID, n.name, n.seq) b
  WHERE NOT EXISTS (SELECT 1 FROM LogBackup x WHERE x.ELServerID = b.server
                    AND x.LogTypeID = b.LogTypeID AND x.BackupFileName = b.name)
  ORDER BY seq ON CONFLICT DO NOTHING;
UPDATE tamsel_batch_names n SET key = b.LogBackupID, log_type = b.LogTypeID
  FROM LogBackup b JOIN LogType l ON l.LogTypeID = b.LogTypeID
  WHERE n.kind = 0 AND b.ELServerID = n.server AND l.LogTypeName = n.log_name
    AND b.BackupFileName = n.name;
)sql";
  script += KeyNames("EventCategory", "EventCategoryID", "EventCategoryName", "1") +
            KeyNames("ELUser", "ELUserID", "ELUserName", "2") +
            KeyNames("ELSource", "ELSourceID", "ELSourceName", "3");
  script += R"sql(
-- A row stored before records were known by their backup is adopted by the record that
-- matches it, unless the backup has that record already.
UPDATE LogEntry e SET LogBackupID = b.key
  FROM tamsel_batch_rows r JOIN tamsel_batch_names b ON b.number = r.backup
  WHERE EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID IS NULL)
    AND e.LogBackupID IS NULL AND e.ELServerID = b.server AND e.LogTypeID = b.log_type
    AND e.RecordNumber = r.record_number AND e.TimeGenerated = r.time_generated
    AND e.TimeWritten = r.time_written AND e.EventID = r.event_id
    AND NOT EXISTS (SELECT 1 FROM LogEntry x WHERE x.LogBackupID = b.key
                    AND x.RecordNumber = r.record_number);
-- One row per record of a backup: the first of the batch, unless the backup has it already.
-- The stored numbers are read per backup of the batch, only in the batch's range of numbers,
-- through the record index (OFFSET 0 keeps the planner, which knows nothing of the staged
-- rows, from reading the entries whole instead): a long backup's earlier batches are not
-- read again. A row
-- another writer stores at the same time fails the statement, and with it the batch, whose
-- records are then stored one at a time.
WITH batch AS (
  SELECT DISTINCT ON (b.key, r.record_number) r.*, b.key AS backup_key, b.server, b.log_type
  FROM tamsel_batch_rows r JOIN tamsel_batch_names b ON b.number = r.backup
  ORDER BY b.key, r.record_number, r.seq),
ranges AS MATERIALIZED (
  SELECT backup_key, MIN(record_number) AS low, MAX(record_number) AS high FROM batch
  GROUP BY backup_key),
stored AS MATERIALIZED (
  SELECT x.LogBackupID, x.RecordNumber FROM ranges g CROSS JOIN LATERAL (
    SELECT e.LogBackupID, e.RecordNumber FROM LogEntry e
    WHERE e.LogBackupID = g.backup_key AND e.RecordNumber BETWEEN g.low AND g.high
    OFFSET 0) x)
INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten,
  EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, FullMessage,
  LogBackupID)
SELECT r.server, r.log_type, r.record_number, r.time_generated, r.time_written, r.event_id,
  r.event_type, c.key, r.category_number, u.key, o.key, r.message, r.backup_key
FROM batch r
JOIN tamsel_batch_names c ON c.number = r.category
JOIN tamsel_batch_names u ON u.number = r.user_name
JOIN tamsel_batch_names o ON o.number = r.source
WHERE NOT EXISTS (SELECT 1 FROM stored x WHERE x.LogBackupID = r.backup_key
                  AND x.RecordNumber = r.record_number)
ORDER BY r.seq;
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

void RollBackBatch(platform::data::ServerLink& link) {
  try {
    if (link.Alive()) link.Execute("ROLLBACK TO tamsel_batch; RELEASE tamsel_batch");
  } catch (...) {
  }
}

}  // namespace

int LogEntryBatch::NameNumber(Kind kind, const EntryValues& values, std::string_view name) {
  std::string key(1, static_cast<char>('0' + static_cast<int>(kind)));
  if (kind == Kind::Backup) {
    key += std::to_string(values.server);
    key += '\t';
    key += values.logName;
    key += '\t';
  }
  key += name;
  const auto [found, added] = numbers_.try_emplace(std::move(key), 0);
  if (!added) return found->second;
  found->second = static_cast<int>(numbers_.size());
  std::string& out = names_;
  AppendNumber(out, found->second);
  out += '\t';
  AppendNumber(out, static_cast<int>(kind));
  out += '\t';
  AppendNumber(out, static_cast<std::int64_t>(size_));
  if (kind == Kind::Backup) {
    out += '\t';
    AppendNumber(out, values.server);
    out += '\t';
    AppendText(out, values.logName);
  } else {
    out += "\t\\N\t\\N";
  }
  out += '\t';
  AppendText(out, name);
  out += '\n';
  return found->second;
}

void LogEntryBatch::Add(const EntryValues& values) {
  ++size_;
  const int backup = NameNumber(Kind::Backup, values, values.backupFile);
  const int category = NameNumber(Kind::Category, values, values.categoryName);
  const int user = NameNumber(Kind::User, values, values.userName);
  const int source = NameNumber(Kind::Source, values, values.sourceName);
  std::string& out = rows_;
  const auto column = [&out] { out += '\t'; };
  AppendNumber(out, static_cast<std::int64_t>(size_));
  column();
  AppendNumber(out, backup);
  column();
  AppendNumber(out, values.recordNumber);
  column();
  AppendText(out, values.timeGenerated);
  column();
  AppendText(out, values.timeWritten);
  for (std::int64_t number : {values.eventId, values.eventType, values.categoryNumber,
                              std::int64_t{category}, std::int64_t{user}, std::int64_t{source}}) {
    column();
    AppendNumber(out, number);
  }
  column();
  AppendText(out, values.message);
  out += '\n';
  months_.emplace(values.timeGenerated.substr(0, 7));
}

void LogEntryBatch::Clear() {
  rows_.clear();
  names_.clear();
  numbers_.clear();
  months_.clear();
  size_ = 0;
}

void LogEntryBatch::Start(platform::data::Session& session) {
  if (merging_ != nullptr) throw std::logic_error("the batch before is still being merged");
  if (size_ == 0) return;
  static const std::string merge = MergeScript();
  const std::string rows = std::move(rows_);
  const std::string names = std::move(names_);
  const std::set<std::string> months = std::move(months_);
  Clear();
  platform::data::ServerLink& link = *session.Server();
  link.Execute(kPrepare);
  try {
    link.CopyIn(kCopyRows, rows);
    link.CopyIn(kCopyNames, names);
    for (const std::string& month : months) session.EnsureEntryMonth(month);
    auto refused = session.Prepare(kRefuse);
    refused.Step();
    const long count = static_cast<long>(refused.Int64(0));
    refused.Reset();
    if (count != 0) link.Execute(kRenumber);
    link.Send(merge);
    merging_ = &session;
    refused_ = count;
  } catch (...) {
    RollBackBatch(link);
    throw;
  }
}

long LogEntryBatch::Finish() {
  if (merging_ == nullptr) return 0;
  platform::data::ServerLink& link = *merging_->Server();
  merging_ = nullptr;
  try {
    link.Receive();
  } catch (...) {
    RollBackBatch(link);
    throw;
  }
  return refused_;
}

}  // namespace tamsel::db
