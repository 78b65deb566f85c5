// The schema scripts of TamselDB, version by version, and the upgrade that applies them.
#include "database/schema.h"

#include "platform/data/provider_error.h"

namespace tamsel::db {
namespace {

using platform::data::Session;

// Version 1: what the collector writes and the log browser reads. Every LogEntry row points
// at existing lookup rows (the full-text query joins them all); names are matched without
// regard to case, as the server's default collation does. Dates are ISO text.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE VersionInfo (
  VersionInfoID INTEGER PRIMARY KEY CHECK (VersionInfoID = 1),
  SchemaVersion INTEGER NOT NULL,
  VersionInfoDesc TEXT NOT NULL
);
CREATE TABLE ELServer (
  ELServerID INTEGER PRIMARY KEY,
  ELServerName TEXT NOT NULL COLLATE NOCASE UNIQUE,
  ELServerDescription TEXT NOT NULL DEFAULT '',
  Status INTEGER NOT NULL DEFAULT 1
);
CREATE TABLE LogType (
  LogTypeID INTEGER PRIMARY KEY,
  LogTypeName TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE TABLE EventType (
  EventTypeID INTEGER PRIMARY KEY,
  EventTypeCode TEXT NOT NULL,
  EventTypeName TEXT NOT NULL
);
CREATE TABLE EventCategory (
  EventCategoryID INTEGER PRIMARY KEY,
  EventCategoryName TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE TABLE ELUser (
  ELUserID INTEGER PRIMARY KEY,
  ELUserName TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE TABLE ELSource (
  ELSourceID INTEGER PRIMARY KEY,
  ELSourceName TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE TABLE ELServerLogType (
  ELServerID INTEGER NOT NULL REFERENCES ELServer (ELServerID) ON DELETE CASCADE,
  LogTypeID INTEGER NOT NULL REFERENCES LogType (LogTypeID),
  PRIMARY KEY (ELServerID, LogTypeID)
) WITHOUT ROWID;
CREATE TABLE LogEntry (
  LEID INTEGER PRIMARY KEY,
  ELServerID INTEGER NOT NULL REFERENCES ELServer (ELServerID) ON DELETE CASCADE,
  LogTypeID INTEGER NOT NULL REFERENCES LogType (LogTypeID),
  RecordNumber INTEGER NOT NULL,
  TimeGenerated TEXT NOT NULL,
  TimeWritten TEXT NOT NULL,
  EventID INTEGER NOT NULL,
  EventTypeID INTEGER NOT NULL REFERENCES EventType (EventTypeID),
  EventCategoryID INTEGER NOT NULL REFERENCES EventCategory (EventCategoryID),
  CategoryNumber INTEGER NOT NULL DEFAULT 0,
  ELUserID INTEGER NOT NULL REFERENCES ELUser (ELUserID),
  ELSourceID INTEGER NOT NULL REFERENCES ELSource (ELSourceID),
  FullMessage TEXT NOT NULL DEFAULT '',
  CreatedAt TEXT NOT NULL DEFAULT (datetime('now', 'localtime'))
);
-- One row per record of a server's log: a re-read stores nothing twice. Also serves the
-- server-and-log filter.
CREATE UNIQUE INDEX LogEntry_Record ON LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated);
-- Key queries filter by time and by each lookup, and sort by any column; every index ends
-- in the key (the rowid) so paging reads the index alone.
CREATE INDEX LogEntry_Time ON LogEntry (TimeGenerated);
CREATE INDEX LogEntry_ServerTime ON LogEntry (ELServerID, LogTypeID, TimeGenerated);
CREATE INDEX LogEntry_Source ON LogEntry (ELSourceID, TimeGenerated);
CREATE INDEX LogEntry_Type ON LogEntry (EventTypeID, TimeGenerated);
CREATE INDEX LogEntry_EventID ON LogEntry (EventID, TimeGenerated);
CREATE INDEX LogEntry_Category ON LogEntry (EventCategoryID, TimeGenerated);
CREATE INDEX LogEntry_User ON LogEntry (ELUserID);
CREATE INDEX LogEntry_LogType ON LogEntry (LogTypeID);
CREATE INDEX LogEntry_RecordNumber ON LogEntry (RecordNumber);
CREATE INDEX LogEntry_CreatedAt ON LogEntry (CreatedAt);
CREATE TABLE EventExclusion (
  ELServerID INTEGER NOT NULL REFERENCES ELServer (ELServerID) ON DELETE CASCADE,
  EventTypeID INTEGER NOT NULL REFERENCES EventType (EventTypeID),
  PRIMARY KEY (ELServerID, EventTypeID)
) WITHOUT ROWID;
INSERT INTO EventType (EventTypeID, EventTypeCode, EventTypeName) VALUES
  (0, 'S', 'Success'),
  (1, 'E', 'Error'),
  (2, 'W', 'Warning'),
  (4, 'I', 'Information'),
  (8, 'AS', 'Success Audit'),
  (16, 'AF', 'Failure Audit');
INSERT INTO EventCategory (EventCategoryName) VALUES ('');
INSERT INTO ELUser (ELUserName) VALUES ('');
INSERT INTO VersionInfo (VersionInfoID, SchemaVersion, VersionInfoDesc) VALUES (1, 1, '');
)sql";

// Version 2: the tables only the component's procedures touch: users and roles, saved
// reports, alerts with their items and recipients. Schedule windows keep the page's text
// and the minute of the day, so the hour / minute / AM-PM split is exact arithmetic.
constexpr const char* kVersion2 = R"sql(
CREATE TABLE AppRole (
  AppRoleID INTEGER PRIMARY KEY,
  AppRoleName TEXT NOT NULL COLLATE NOCASE UNIQUE
);
CREATE TABLE AppUser (
  AppUserID INTEGER PRIMARY KEY,
  AppUserName TEXT NOT NULL COLLATE NOCASE UNIQUE,
  AppUserFirstName TEXT NOT NULL DEFAULT '',
  AppUserLastName TEXT NOT NULL DEFAULT '',
  AppUserPassword TEXT NOT NULL,
  AppRoleID INTEGER NOT NULL REFERENCES AppRole (AppRoleID),
  CreatedAt TEXT NOT NULL DEFAULT (datetime('now', 'localtime'))
);
CREATE TABLE SavedReportHdr (
  SavedReportHdrID INTEGER PRIMARY KEY,
  AppUserID INTEGER NOT NULL REFERENCES AppUser (AppUserID) ON DELETE CASCADE,
  SavedReportDescription TEXT NOT NULL DEFAULT '',
  CreatedAt TEXT NOT NULL DEFAULT (datetime('now', 'localtime'))
);
CREATE INDEX SavedReportHdr_User ON SavedReportHdr (AppUserID);
CREATE TABLE SavedReportItem (
  SavedReportHdrID INTEGER NOT NULL REFERENCES SavedReportHdr (SavedReportHdrID) ON DELETE CASCADE,
  SavedReportItemID INTEGER NOT NULL,
  SavedReportMetaData TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (SavedReportHdrID, SavedReportItemID)
) WITHOUT ROWID;
CREATE TABLE AlertHdr (
  AlertHdrID INTEGER PRIMARY KEY,
  AppUserID INTEGER NOT NULL REFERENCES AppUser (AppUserID) ON DELETE CASCADE,
  AlertDesc TEXT NOT NULL DEFAULT '',
  AlertSql TEXT,
  Status INTEGER NOT NULL DEFAULT 0,
  CreatedAt TEXT NOT NULL DEFAULT (datetime('now', 'localtime')),
  UpdatedAt TEXT
);
CREATE INDEX AlertHdr_User ON AlertHdr (AppUserID);
CREATE TABLE AlertItem (
  AlertHdrID INTEGER NOT NULL REFERENCES AlertHdr (AlertHdrID) ON DELETE CASCADE,
  AlertItemID INTEGER NOT NULL,
  AlertItemMetaData TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (AlertHdrID, AlertItemID)
) WITHOUT ROWID;
CREATE TABLE AlertRecipient (
  AlertRecipientID INTEGER PRIMARY KEY,
  AlertHdrID INTEGER NOT NULL REFERENCES AlertHdr (AlertHdrID) ON DELETE CASCADE,
  Email TEXT,
  ScheduleStartTime TEXT,
  ScheduleEndTime TEXT,
  StartMinuteOfDay INTEGER CHECK (StartMinuteOfDay BETWEEN 0 AND 1439),
  EndMinuteOfDay INTEGER CHECK (EndMinuteOfDay BETWEEN 0 AND 1439),
  ScheduleTimeDisplay TEXT NOT NULL DEFAULT '',
  ScheduleDaysMeta INTEGER NOT NULL DEFAULT 0,
  ScheduleDaysDisplay TEXT NOT NULL DEFAULT ''
);
CREATE INDEX AlertRecipient_Alert ON AlertRecipient (AlertHdrID);
INSERT INTO AppRole (AppRoleID, AppRoleName) VALUES (1, 'Administrator'), (2, 'User');
)sql";

// Version 3: a record's identity also holds its time written and event id. A cleared log
// numbers its records from 1 again, so two records of consecutive clears may share number
// and second of generation; they must both be kept.
constexpr const char* kVersion3 = R"sql(
DROP INDEX LogEntry_Record;
CREATE UNIQUE INDEX LogEntry_Record
  ON LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, EventID);
)sql";

// Version 4: the alert sender's own tables. Each recipient of an alert keeps the last LEID
// handled for it; the ledger records every mail and its outcome. Both are written in one
// transaction after the mail server answered, so an entry is never lost and at most the one
// mail in flight at a crash is repeated. Ledger rows outlive their alert, as history.
constexpr const char* kVersion4 = R"sql(
CREATE TABLE AlertWatermark (
  AlertHdrID INTEGER NOT NULL,
  AlertRecipientID INTEGER NOT NULL,
  LastLEID INTEGER NOT NULL,
  PRIMARY KEY (AlertHdrID, AlertRecipientID)
) WITHOUT ROWID;
CREATE TABLE AlertNotification (
  AlertNotificationID INTEGER PRIMARY KEY,
  AlertHdrID INTEGER NOT NULL,
  AlertRecipientID INTEGER NOT NULL,
  Email TEXT NOT NULL DEFAULT '',
  FirstLEID INTEGER NOT NULL,
  LastLEID INTEGER NOT NULL,
  EntryCount INTEGER NOT NULL,
  NotifiedAt TEXT NOT NULL,
  Outcome TEXT NOT NULL CHECK (Outcome IN ('sent', 'deferred', 'failed', 'expired')),
  ServerAnswer TEXT NOT NULL DEFAULT ''
);
CREATE INDEX AlertNotification_Recipient
  ON AlertNotification (AlertHdrID, AlertRecipientID, AlertNotificationID);
)sql";

// Version 5: the collector's completeness ledger, one row per server, log and pass. Each row
// carries the record number the next pass should start at, so a pass can tell records that
// were lost before it read the log (a wrap, a clear by someone else) and how many.
constexpr const char* kVersion5 = R"sql(
CREATE TABLE CollectionLedger (
  CollectionLedgerID INTEGER PRIMARY KEY,
  ELServerID INTEGER NOT NULL,
  LogName TEXT NOT NULL,
  PassStart TEXT NOT NULL,
  PassEnd TEXT NOT NULL,
  Outcome TEXT NOT NULL CHECK (Outcome IN ('read', 'not archived', 'offline')),
  RecordsRead INTEGER NOT NULL DEFAULT 0,
  RecordsStored INTEGER NOT NULL DEFAULT 0,
  RecordsExcluded INTEGER NOT NULL DEFAULT 0,
  RecordsNotStored INTEGER NOT NULL DEFAULT 0,
  BackupsKept INTEGER NOT NULL DEFAULT 0,
  FirstRecord INTEGER,
  LastRecord INTEGER,
  FirstTime TEXT,
  LastTime TEXT,
  NextExpected INTEGER,
  GapKind TEXT NOT NULL DEFAULT '' CHECK (GapKind IN ('', 'wrapped', 'cleared', 'silent', 'offline')),
  GapSize INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX CollectionLedger_Log ON CollectionLedger (ELServerID, LogName, CollectionLedgerID);
)sql";

// Version 6: LogEntry keeps only the indexes a query needs (docs/ARCHITECTURE.md names the
// query of each). Every index costs each stored record a page; the user and record number
// indexes took new records anywhere in the file, so past the cache each insert read from disk.
constexpr const char* kVersion6 = R"sql(
DROP INDEX LogEntry_User;
DROP INDEX LogEntry_RecordNumber;
DROP INDEX LogEntry_CreatedAt;
)sql";

// Version 7: a record is known by the backup file it was read from and its number in it.
// Every record is read from exactly one backup, and the collector never gives two backups
// of a log the same name, so this tells apart records that share number, seconds and event
// id across clears, while a backup read again maps to the rows it gave before. Rows stored
// earlier keep their old identity (no backup) and are adopted by the first record of a
// backup that matches them, so a backup kept across the upgrade is not stored twice.
// Both keys hold TimeGenerated: a record's time never changes, and the server engine's
// partitioned LogEntry can only enforce a key that holds its partition column.
constexpr const char* kVersion7 = R"sql(
CREATE TABLE LogBackup (
  LogBackupID INTEGER PRIMARY KEY,
  ELServerID INTEGER NOT NULL REFERENCES ELServer (ELServerID) ON DELETE CASCADE,
  LogTypeID INTEGER NOT NULL REFERENCES LogType (LogTypeID),
  BackupFileName TEXT NOT NULL COLLATE NOCASE,
  CreatedAt TEXT NOT NULL DEFAULT (datetime('now', 'localtime')),
  UNIQUE (ELServerID, LogTypeID, BackupFileName)
);
ALTER TABLE LogEntry ADD COLUMN LogBackupID INTEGER REFERENCES LogBackup (LogBackupID);
DROP INDEX LogEntry_Record;
CREATE UNIQUE INDEX LogEntry_Record ON LogEntry (LogBackupID, RecordNumber, TimeGenerated);
CREATE UNIQUE INDEX LogEntry_Unbacked
  ON LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, EventID)
  WHERE LogBackupID IS NULL;
)sql";

// Version 8, on the server engine: an index there holds only the columns it names, where the
// embedded engine's ends in the rowid. Each index a key query pages by names the key after
// its columns, so a query sorted by time (the key breaking ties) reads one index alone, in
// its order, and stops at its page: no visit to the table, no sort.
constexpr const char* kVersion8 = R"sql(
DROP INDEX LogEntry_Time;
CREATE INDEX LogEntry_Time ON LogEntry (TimeGenerated, LEID);
DROP INDEX LogEntry_ServerTime;
CREATE INDEX LogEntry_ServerTime ON LogEntry (ELServerID, LogTypeID, TimeGenerated, LEID);
DROP INDEX LogEntry_Source;
CREATE INDEX LogEntry_Source ON LogEntry (ELSourceID, TimeGenerated, LEID);
DROP INDEX LogEntry_Type;
CREATE INDEX LogEntry_Type ON LogEntry (EventTypeID, TimeGenerated, LEID);
DROP INDEX LogEntry_EventID;
CREATE INDEX LogEntry_EventID ON LogEntry (EventID, TimeGenerated, LEID);
DROP INDEX LogEntry_Category;
CREATE INDEX LogEntry_Category ON LogEntry (EventCategoryID, TimeGenerated, LEID);
)sql";

// Version 9, on the server engine: LogEntry's rows counted per day and server, kept by
// triggers in the writing transaction, so a page over every entry sorted by time neither
// counts every row nor walks every row before it (the dialect's WithEntryDayCounts). A
// server's rows of one day share a counter, so collectors of different servers never wait
// for each other on one. Anything that loads rows with the triggers disabled calls
// tamsel_recount_entries() after. Also moves databases made before keys came from sequences
// off the key function that read the highest key, which concurrent writers could both get.
constexpr const char* kVersion9 = R"sql(
CREATE TABLE IF NOT EXISTS tamsel_entry_days (
  Day TEXT NOT NULL,
  ELServerID BIGINT NOT NULL,
  Entries BIGINT NOT NULL,
  PRIMARY KEY (Day, ELServerID)
);
CREATE OR REPLACE FUNCTION tamsel_count_entries() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'TRUNCATE' THEN
    DELETE FROM tamsel_entry_days;
  ELSIF TG_OP = 'INSERT' THEN
    INSERT INTO tamsel_entry_days AS d (Day, ELServerID, Entries)
      SELECT left(TimeGenerated, 10), ELServerID, COUNT(*) FROM added
      GROUP BY 1, 2 ORDER BY 1, 2
      ON CONFLICT (Day, ELServerID) DO UPDATE SET Entries = d.Entries + EXCLUDED.Entries;
  ELSIF TG_OP = 'DELETE' THEN
    INSERT INTO tamsel_entry_days AS d (Day, ELServerID, Entries)
      SELECT left(TimeGenerated, 10), ELServerID, -COUNT(*) FROM removed
      GROUP BY 1, 2 ORDER BY 1, 2
      ON CONFLICT (Day, ELServerID) DO UPDATE SET Entries = d.Entries + EXCLUDED.Entries;
  ELSE
    INSERT INTO tamsel_entry_days AS d (Day, ELServerID, Entries)
      SELECT Day, ELServerID, SUM(Change) FROM (
        SELECT left(TimeGenerated, 10) AS Day, ELServerID, -1 AS Change FROM removed
        UNION ALL SELECT left(TimeGenerated, 10), ELServerID, 1 FROM added) moved
      GROUP BY 1, 2 HAVING SUM(Change) <> 0 ORDER BY 1, 2
      ON CONFLICT (Day, ELServerID) DO UPDATE SET Entries = d.Entries + EXCLUDED.Entries;
  END IF;
  RETURN NULL;
END $$;
DROP TRIGGER IF EXISTS LogEntry_days_added ON LogEntry;
CREATE TRIGGER LogEntry_days_added AFTER INSERT ON LogEntry
  REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION tamsel_count_entries();
DROP TRIGGER IF EXISTS LogEntry_days_removed ON LogEntry;
CREATE TRIGGER LogEntry_days_removed AFTER DELETE ON LogEntry
  REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION tamsel_count_entries();
DROP TRIGGER IF EXISTS LogEntry_days_moved ON LogEntry;
CREATE TRIGGER LogEntry_days_moved AFTER UPDATE ON LogEntry
  REFERENCING OLD TABLE AS removed NEW TABLE AS added
  FOR EACH STATEMENT EXECUTE FUNCTION tamsel_count_entries();
DROP TRIGGER IF EXISTS LogEntry_days_cleared ON LogEntry;
CREATE TRIGGER LogEntry_days_cleared AFTER TRUNCATE ON LogEntry
  FOR EACH STATEMENT EXECUTE FUNCTION tamsel_count_entries();
CREATE OR REPLACE FUNCTION tamsel_recount_entries() RETURNS BIGINT LANGUAGE plpgsql AS $$
BEGIN
  LOCK TABLE LogEntry IN SHARE MODE;
  DELETE FROM tamsel_entry_days;
  INSERT INTO tamsel_entry_days (Day, ELServerID, Entries)
    SELECT left(TimeGenerated, 10), ELServerID, COUNT(*) FROM LogEntry GROUP BY 1, 2;
  RETURN (SELECT COALESCE(SUM(Entries), 0) FROM tamsel_entry_days);
END $$;
SELECT tamsel_recount_entries();
DO $$
DECLARE keyed RECORD;
BEGIN
  FOR keyed IN
    SELECT c.relname AS tab, a.attname AS col FROM pg_attrdef d
      JOIN pg_class c ON c.oid = d.adrelid
      JOIN pg_attribute a ON a.attrelid = d.adrelid AND a.attnum = d.adnum
      WHERE pg_get_expr(d.adbin, d.adrelid) LIKE 'tamsel_next_key(%'
        AND c.relnamespace = current_schema()::regnamespace AND NOT c.relispartition
  LOOP
    EXECUTE format('CREATE SEQUENCE IF NOT EXISTS %I', keyed.tab || '_key');
    EXECUTE format('SELECT setval(%L, COALESCE(MAX(%I), 1), MAX(%I) IS NOT NULL) FROM %I',
                   keyed.tab || '_key', keyed.col, keyed.col, keyed.tab);
    EXECUTE format('ALTER TABLE %I ALTER COLUMN %I SET DEFAULT nextval(%L)',
                   keyed.tab, keyed.col, keyed.tab || '_key');
    EXECUTE format('ALTER SEQUENCE %I OWNED BY %I.%I', keyed.tab || '_key', keyed.tab, keyed.col);
    EXECUTE format('CREATE TRIGGER %I AFTER INSERT ON %I REFERENCING NEW TABLE AS added '
                   'FOR EACH STATEMENT EXECUTE FUNCTION tamsel_keep_key(%L, %L)',
                   keyed.tab || '_key_kept', keyed.tab, keyed.tab || '_key', keyed.col);
  END LOOP;
END $$;
DROP FUNCTION IF EXISTS tamsel_next_key(TEXT, TEXT);
)sql";

}  // namespace

std::string VersionText() {
  return "TamselDB version 1.12, schema " + std::to_string(kSchemaVersion);
}

const std::vector<SchemaStep>& SchemaSteps() {
  static const std::vector<SchemaStep> steps = {
      {1, kVersion1}, {2, kVersion2}, {3, kVersion3},       {4, kVersion4},      {5, kVersion5},
      {6, kVersion6}, {7, kVersion7}, {8, kVersion8, true}, {9, kVersion9, true}};
  return steps;
}

int SchemaVersionOf(Session& session) {
  auto exists = session.Prepare(platform::data::QueriesFor(session.GetEngine()).tableExists);
  exists.BindText(1, "VersionInfo");
  if (!exists.Step()) return 0;
  auto version = session.Prepare("SELECT SchemaVersion FROM VersionInfo WHERE VersionInfoID = 1");
  return version.Step() ? static_cast<int>(version.Int64(0)) : 0;
}

int UpgradeSchema(Session& session, const std::vector<SchemaStep>& steps) {
  session.Execute("BEGIN IMMEDIATE");
  try {
    const int from = SchemaVersionOf(session);
    const int latest = steps.empty() ? 0 : steps.back().to;
    if (from > latest) {
      platform::data::RaiseProviderError(platform::data::kProviderFail,
                                         "The database has schema version " + std::to_string(from) +
                                             ", newer than this program's " +
                                             std::to_string(latest) + ".");
    }
    for (const SchemaStep& step : steps) {
      const bool runs = !step.serverOnly || session.GetEngine() == platform::data::Engine::Server;
      if (step.to > from && runs) session.ExecuteSchema(step.script);
    }
    auto record = session.Prepare(
        "UPDATE VersionInfo SET SchemaVersion = ?, VersionInfoDesc = ? WHERE VersionInfoID = 1");
    record.BindInt64(1, latest).BindText(
        2, latest == kSchemaVersion ? VersionText() : "TamselDB schema " + std::to_string(latest));
    record.Run();
    session.Execute("COMMIT");
    return from;
  } catch (...) {
    try {
      session.Execute("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
}

std::vector<std::string> TableNames(Session& session) {
  std::vector<std::string> names;
  auto tables = session.Prepare(platform::data::QueriesFor(session.GetEngine()).tableNames);
  while (tables.Step()) names.push_back(tables.Text(0));
  return names;
}

}  // namespace tamsel::db
