// Collection passes over test networks: the backup file and its folders, every field of a
// stored record, message texts from the message files of the machine that logged the event,
// exclusions, unreachable servers, a server list that cannot be read, and the one
// connection of a pass; on both engines (the collector's "-s" naming a server alias).
#include <gmock/gmock.h>

#include "collector/backup_files.h"
#include "collector/message_texts.h"
#include "service/service_clock.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::time_t kExampleTime = 1025300427;  // 2002-06-28 21:40:27, local time in UTC

class CollectionPassTest : public CollectionTest,
                           public ::testing::WithParamInterface<platform::data::Engine> {
 protected:
  CollectionPassTest() : clock_([] { return kExampleTime; }) {}
  void SetUp() override {
    std::string why;
    if (GetParam() == platform::data::Engine::Server && !UseServerEngine(why)) GTEST_SKIP() << why;
  }
  collector::ScopedCollectorClock clock_;
};

TEST_P(CollectionPassTest, BackupFolderChainAndFileNameOfTheExample) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  Write("SRV01", "App", 4, 1);

  std::string backup;
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  EXPECT_EQ(backup, "D:\\EvtBak\\Application_20020628214027.evt");
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ElementsAre("Application_20020628214027.evt"));
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);
  // The same second again: the server refuses to overwrite, and the log stays as it is.
  Write("SRV01", "App", 4, 2);
  EXPECT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), -1);
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 1u);

  // A deeper folder is created one level at a time through the administrative share.
  collector_.backupPath_ = "D:\\a\\b\\c";
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  EXPECT_EQ(backup, "D:\\a\\b\\c\\Application_20020628214027.evt");
  EXPECT_THAT(Files("SRV01", "D$\\a\\b\\c"), ElementsAre("Application_20020628214027.evt"));

  // A whole pass reads both backups and leaves none behind.
  collector_.backupPath_ = "D:\\EvtBak";
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
  EXPECT_EQ(Stored().size(), 1u);  // the first backup; the one under D:\a\b\c is not this folder
}

TEST_P(CollectionPassTest, LogNameWithBlanks) {
  AddServer(1, "SRV01");
  RegisterLog("SRV01", "File Replication Service", "NtFrs.Evt");
  AddSource("SRV01", "File Replication Service", "NtFrs", "");
  Write("SRV01", "NtFrs", 2, 13508, 0, {"a"});
  std::string backup;
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "File Replication Service", backup), 0);
  EXPECT_EQ(backup, "D:\\EvtBak\\File Replication Service_20020628214027.evt");

  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].log, "File Replication Service");
  EXPECT_EQ(rows[0].source, "NtFrs");
  EXPECT_EQ(rows[0].eventId, 13508);
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
}

TEST_P(CollectionPassTest, RecordFieldsTypesUsersAndTimes) {
  AddServer(1, "SRV01");
  InstallMessageFile("SRV01", "C:\\WINDOWS\\system32", "coll.dll");
  AddSource("SRV01", "Application", "Coll", "%SystemRoot%\\system32\\coll.dll",
            "%SystemRoot%\\system32\\coll.dll");
  const auto alice = platform::accounts::MachineDomainSid("SRV01").WithRid(1001);
  ASSERT_EQ(platform::accounts::AddAccount("SRV01", alice, "alice"), 0u);
  const auto unknown = platform::accounts::MachineDomainSid("OTHER").WithRid(1001);
  // Types outside 1, 2, 4, 8 and 16 are stored as 0.
  const std::uint16_t types[] = {0, 3, 1, 2, 4, 8, 16, 32};
  for (std::uint16_t type : types) Write("SRV01", "Coll", type, 1001, 0, {"t"});
  Write("SRV01", "Coll", 4, 1001, 1, {"x", "", "z"}, alice.Bytes());
  Write("SRV01", "Coll", 4, 1001, 2, {"x"}, unknown.Bytes());
  Write("SRV01", "Coll", 4, 1001, 5, {"x"});
  // 7036 with the error severity bits, and a code of all ones.
  Write("SRV01", "Coll", 1, 0xC0001B7Cu, 0, {"Spooler", "running"});
  Write("SRV01", "Coll", 4, 0x4000FFFFu, 0, {});
  Write("SRV01", "Coll", 4, 1000, 0, {"a", "b"});
  Write("SRV01", "Coll", 4, 1002, 0, {"a"});
  Write("SRV01", "Coll", 4, 4242, 0, {"a", "b"});
  Write("SRV01", "Coll", 4, 1003, 0, {"one"});
  Write("SRV01", "Unregistered", 4, 1000, 1, {"a", "b"});

  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 18u);
  std::vector<std::int64_t> storedTypes;
  for (int index = 0; index < 8; ++index) storedTypes.push_back(rows[index].eventType);
  EXPECT_THAT(storedTypes, ElementsAre(0, 0, 1, 2, 4, 8, 16, 0));
  EXPECT_EQ(rows[0].category, "None");
  EXPECT_EQ(rows[0].message, "[t|%2|%3]");  // inserts the record lacks stay as written
  EXPECT_EQ(rows[0].user, "");

  // Empty insertion strings keep their place; the SID of a known account gives its name.
  EXPECT_EQ(rows[8].message, "[x||z]");
  EXPECT_EQ(rows[8].category, "Disk");
  EXPECT_EQ(rows[8].categoryNumber, 1);
  EXPECT_EQ(rows[8].user, "SRV01\\alice");
  EXPECT_EQ(rows[9].category, "Network");  // white space trimmed
  EXPECT_EQ(rows[9].user, "");             // a SID the server cannot name
  EXPECT_EQ(rows[10].category, "Unknown");

  EXPECT_EQ(rows[11].eventId, 7036);
  EXPECT_EQ(rows[11].eventType, 1);
  EXPECT_EQ(rows[11].message, "The Spooler service entered the running state.");
  EXPECT_EQ(rows[12].eventId, -1);
  EXPECT_EQ(rows[12].message, "All ones.");
  EXPECT_EQ(rows[13].message, "First line: a<br>Second line: b<br>");
  EXPECT_EQ(rows[14].message, "");  // a message that formats to nothing stays empty
  EXPECT_EQ(rows[15].message, collector::FallbackDescription({"a", "b"}));
  EXPECT_EQ(rows[15].message,
            "The service wasn't able to retrieve the formatted message string.<br>Using the "
            "unformatted message format:<br>a<br>b<br>");
  EXPECT_EQ(rows[16].message, "Only one of %2.");
  // A source without registration: no files, "None" even with a category, and the fallback.
  EXPECT_EQ(rows[17].source, "Unregistered");
  EXPECT_EQ(rows[17].category, "None");
  EXPECT_EQ(rows[17].message, collector::FallbackDescription({"a", "b"}));

  // Times are the collector's local time (UTC here), stored to the second.
  char earliest[32];
  std::tm parts{};
  gmtime_r(&before, &parts);
  std::strftime(earliest, sizeof earliest, "%Y-%m-%d %H:%M:%S", &parts);
  for (const StoredRow& row : rows) {
    EXPECT_LE(row.timeGenerated, earliest) << "written before the pass";
    EXPECT_EQ(row.timeGenerated.size(), 19u);
    EXPECT_EQ(row.timeWritten, row.timeGenerated);
    EXPECT_EQ(row.server, "SRV01");
    EXPECT_EQ(row.log, "Application");
  }
  EXPECT_EQ(rows.front().recordNumber, 1);
  EXPECT_EQ(rows.back().recordNumber, 18);
}

TEST_P(CollectionPassTest, MessageFilesOfTheLoggingMachineThroughItsShares) {
  AddServer(1, "SRV01");
  // The collector expands with its own SystemRoot, whatever the server's is (C:\WINDOWS).
  tamsel::testing::ScopedEnv systemRoot("SystemRoot", "C:\\WINNT");
  InstallMessageFile("SRV01", "C:\\WINNT\\System32", "netmsg.dll");
  InstallMessageFile("SRV01", "C:\\WINDOWS\\system32", "moved.dll");
  InstallMessageFile("SRV01", "C:\\WINNT\\system32", "old.dll");
  AddSource("SRV01", "Application", "Net", "%SystemRoot%\\System32\\netmsg.dll;C:\\none.dll");
  AddSource("SRV01", "Application", "Moved", "C:\\winnt\\system32\\moved.dll");
  AddSource("SRV01", "Application", "Old", "C:\\windows\\system32\\old.dll");
  AddSource("SRV01", "Application", "Capitals", "C:\\WINNT\\system32\\moved.dll");
  AddSource("SRV01", "Application", "Second", "C:\\none.dll;%SystemRoot%\\System32\\netmsg.dll");
  for (const char* source : {"Net", "Moved", "Old", "Capitals", "Second"}) {
    Write("SRV01", source, 4, 1003, 0, {source});
  }
  collector::CLogRecord record;
  record.computerName_ = "SRV01";
  record.sourceName_ = "Net";
  record.category_ = 1;
  ASSERT_EQ(collector_.ResolveMessageFiles(record, "Application"), 0);
  EXPECT_EQ(record.eventMessageFile_, "\\\\SRV01\\C$\\WINNT\\System32\\netmsg.dll");
  EXPECT_EQ(record.categoryMessageFile_, "\\\\SRV01\\");  // a missing value: the prefix alone
  record.sourceName_ = "Nobody";
  EXPECT_EQ(collector_.ResolveMessageFiles(record, "Application"), -1);
  record.computerName_ = "NOWHERE";
  EXPECT_NE(collector_.ResolveMessageFiles(record, "Application"), 0);

  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].message, "Only Net of %2.");
  EXPECT_EQ(rows[1].message, "Only Moved of %2.");  // \winnt\ retried as \windows\ .
  EXPECT_EQ(rows[2].message, "Only Old of %2.");    // \windows\ retried as \winnt\ .
  EXPECT_EQ(rows[3].message, collector::FallbackDescription({"Capitals"}));
  EXPECT_EQ(rows[4].message, collector::FallbackDescription({"Second"}));  // only the first file
}

TEST_P(CollectionPassTest, LargeRecordAndTheRecordsAfterIt) {
  AddServer(1, "SRV01");
  InstallMessageFile("SRV01", "C:\\WINDOWS\\system32", "coll.dll");
  AddSource("SRV01", "System", "Coll", "%SystemRoot%\\system32\\coll.dll");
  const std::string large(3000, 'L');
  Write("SRV01", "Coll", 4, 1003, 0, {"before"});
  Write("SRV01", "Coll", 4, 1003, 0, {large});
  Write("SRV01", "Coll", 4, 1003, 0, {"after"});
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].message, "Only before of %2.");
  EXPECT_EQ(rows[1].message, "Only " + large + " of %2.");
  EXPECT_EQ(rows[2].message, "Only after of %2.");
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
}

TEST_P(CollectionPassTest, EmptyBackupIsReadAndDeleted) {
  AddServer(1, "SRV01");
  EXPECT_EQ(collector_.CollectLog("SRV01", 1, "Security"), 0);
  EXPECT_THAT(Stored(), IsEmpty());
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
  EXPECT_THAT(CollectorEvents(), IsEmpty());
}

TEST_P(CollectionPassTest, ExcludedPairSkippedOthersStored) {
  AddServer(1, "SRV01");
  AddServer(2, "SRV02");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV02", "Application", "App", "");
  Exclude(1, 2);
  for (std::uint16_t type : {1, 2, 4, 2}) {
    Write("SRV01", "App", type, 10);
    Write("SRV02", "App", type, 10);
  }
  ASSERT_EQ(collector_.CollectAll(), 0);
  std::vector<std::pair<std::string, std::int64_t>> stored;
  for (const StoredRow& row : Stored()) stored.emplace_back(row.server, row.eventType);
  EXPECT_THAT(stored, ElementsAre(std::pair<std::string, std::int64_t>{"SRV01", 1},
                                  std::pair<std::string, std::int64_t>{"SRV01", 4},
                                  std::pair<std::string, std::int64_t>{"SRV02", 1},
                                  std::pair<std::string, std::int64_t>{"SRV02", 2},
                                  std::pair<std::string, std::int64_t>{"SRV02", 4},
                                  std::pair<std::string, std::int64_t>{"SRV02", 2}));
  // Excluded records count as handled: the backups are gone and no warning is raised.
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
  EXPECT_THAT(CollectorEvents(), IsEmpty());
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);
}

TEST_P(CollectionPassTest, UnreachableServersSkippedWithoutEvent) {
  AddServer(1, "SRV01");
  AddServer(2, "DOWN");
  RegisterServer(3, "NEVER");    // no such machine
  RegisterServer(4, "IDLE", 0);  // not active
  AddSource("SRV01", "Application", "App", "");
  AddSource("DOWN", "Application", "App", "");
  Write("SRV01", "App", 4, 1);
  Write("DOWN", "App", 4, 1);
  SetOnline("DOWN", false);
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].server, "SRV01");
  EXPECT_THAT(CollectorEvents(), IsEmpty());
  SetOnline("DOWN", true);
  EXPECT_EQ(LiveRecords("DOWN", "Application"), 1u);
}

// Runs the work loop for one pass and one tick.
void RunOnePass(collector::CCollectorService& service) {
  service::ScopedSleeper sleeper([&](std::uint32_t) { service.running_ = service::FALSE; });
  service.running_ = service::TRUE;
  service.Run();
}

TEST_P(CollectionPassTest, NullServerNameGivesCannotWriteEvent) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  Write("SRV01", "App", 4, 1);
  // A server table that lets a name be NULL, as an older database's did.
  Sql("ALTER TABLE ELServer RENAME TO ELServerRows;"
      "CREATE VIEW ELServer AS SELECT ELServerID, ELServerName, Status FROM ELServerRows UNION ALL"
      " SELECT 9, NULL, 1");
  EXPECT_EQ(collector_.CollectAll(), -1);
  RunOnePass(collector_);
  auto events = CollectorEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 109u);
  EXPECT_EQ(events[0].type, 1);
  EXPECT_THAT(events[0].strings, ElementsAre(collector::kCannotWriteText));
  // No server was visited.
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 1u);
  EXPECT_EQ(collector_.connection_, nullptr);
}

TEST_P(CollectionPassTest, OneConnectionServesTheWholePass) {
  AddServer(1, "SRV01");
  AddServer(2, "SRV02");
  for (const char* server : {"SRV01", "SRV02"}) {
    AddSource(server, "Application", "App", "");
    AddSource(server, "System", "Sys", "");
    Write(server, "App", 4, 1);
    Write(server, "Sys", 4, 1);
  }
  std::vector<const void*> connections;
  collector_.beforeInsert = [&](TestCollector& service) {
    connections.push_back(service.connection_.get());
    EXPECT_EQ(service.connection_->State(), platform::data::adStateOpen);
  };
  ASSERT_EQ(collector_.CollectAll(), 0);
  // The server engine stores in batches, not one InsertLogEntry call per record.
  if (GetParam() == platform::data::Engine::Embedded) {
    ASSERT_EQ(connections.size(), 4u);
    EXPECT_THAT(connections, ::testing::Each(connections.front()));
  }
  EXPECT_EQ(collector_.connection_, nullptr);  // closed and dropped at the end of the pass
  EXPECT_EQ(Stored().size(), 4u);
  // An empty server list ends the pass quietly.
  Sql("UPDATE ELServer SET Status = 0");
  EXPECT_EQ(collector_.CollectAll(), 1);
  EXPECT_EQ(collector_.connection_, nullptr);
}

TAMSEL_ON_BOTH_ENGINES(CollectionPassTest);

}  // namespace
}  // namespace tamsel::e2e
