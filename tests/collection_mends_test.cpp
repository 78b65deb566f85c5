// What a pass does when records cannot be stored: the backup file stays with a warning that
// says how many records of which log were not stored, a later pass reads the kept backups
// first and stores each record exactly once, and an empty backup path is refused before any
// log is touched.
#include <gmock/gmock.h>

#include "collector/backup_files.h"
#include "collector/message_texts.h"
#include "platform/data/data_source.h"
#include "service/service_clock.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::time_t kFirstPass = 1025300427;  // 2002-06-28 21:40:27 (UTC)

class CollectionMendsTest : public CollectionTest {
 protected:
  CollectionMendsTest() : clock_([this] { return now_; }) {}

  // Runs the work loop for one pass and one tick.
  void RunOnePass() {
    service::ScopedSleeper sleeper([&](std::uint32_t) { collector_.running_ = service::FALSE; });
    collector_.running_ = service::TRUE;
    collector_.Run();
  }
  std::string NotStoredText(long count, const std::string& log, const std::string& file) {
    return std::to_string(count) + " record(s) of the " + log +
           " log of server SRV01 were not stored in the database. The backup file " + file +
           " is kept and will be read again at the next pass.";
  }

  std::time_t now_ = kFirstPass;
  collector::ScopedCollectorClock clock_;
};

TEST_F(CollectionMendsTest, DatabaseGoesAwayMidPassAndTheNextPassCatchesUp) {
  // TamselDB on a server of its own, which can go away.
  CreateMachine("DBSRV");
  databaseFile_ = platform::data::CatalogFile(platform::data::DataFolder("DBSRV"), "TamselDB");
  std::filesystem::create_directories(databaseFile_.parent_path());
  db::CreateDatabase(databaseFile_);
  collector_.databaseServerName_ = "DBSRV";
  collector_.recordsPerTransaction_ = 3;
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV01", "System", "Sys", "");
  for (int index = 0; index < 10; ++index)
    Write("SRV01", "App", 4, 100, 0, {std::to_string(index)});
  Write("SRV01", "Sys", 2, 200, 0, {"s1"});
  Write("SRV01", "Sys", 2, 200, 0, {"s2"});

  // Before the seventh record the link to the database breaks and the server goes away.
  int inserts = 0;
  collector_.beforeInsert = [&](TestCollector& service) {
    if (++inserts == 7) {
      SetOnline("DBSRV", false);
      service.connection_->Close();
    }
  };
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_EQ(Stored().size(), 6u);  // two committed transactions of three
  auto events = CollectorEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, 109u);
  EXPECT_EQ(events[0].type, 2);
  EXPECT_THAT(
      events[0].strings,
      ElementsAre(NotStoredText(4, "Application", "D:\\EvtBak\\Application_20020628214027.evt")));
  // Without the database no backup name can be checked: the System log is not archived.
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ElementsAre("Application_20020628214027.evt"));
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);
  EXPECT_EQ(LiveRecords("SRV01", "System"), 2u);

  // While it is away a pass cannot read the server list: "cannot write", nothing touched.
  collector_.beforeInsert = nullptr;
  NextSecond();
  Write("SRV01", "App", 4, 100, 0, {"later"});
  now_ += 60;
  RunOnePass();
  events = CollectorEvents(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, 1);
  EXPECT_THAT(events[0].strings, ElementsAre(collector::kCannotWriteText));
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 1u);
  EXPECT_EQ(Files("SRV01", "D$\\EvtBak").size(), 1u);

  // Back again: the kept backups are read first, then the live logs; nothing is lost and
  // nothing is stored twice.
  SetOnline("DBSRV", true);
  now_ += 60;
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_EQ(rows.size(), 13u);
  std::vector<std::string> messages;
  for (const StoredRow& row : rows) messages.push_back(row.message);
  std::sort(messages.begin(), messages.end());
  EXPECT_EQ(std::unique(messages.begin(), messages.end()), messages.end());
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
  EXPECT_EQ(CollectorEvents(2).size(), 0u);
}

TEST_F(CollectionMendsTest, RefusedRecordsKeepTheBackupAndAreTriedAgain) {
  // The database refuses every record.
  AddServer(1, "SRV01");
  Sql("CREATE TRIGGER Refuse BEFORE INSERT ON LogEntry BEGIN SELECT RAISE(ABORT, 'no'); END");
  AddSource("SRV01", "Application", "App", "");
  Write("SRV01", "App", 4, 1);
  Write("SRV01", "App", 4, 2);
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(Stored(), IsEmpty());
  auto events = CollectorEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_THAT(
      events[0].strings,
      ElementsAre(NotStoredText(2, "Application", "D:\\EvtBak\\Application_20020628214027.evt")));
  // The next pass reads the kept backup again (still refused, still kept) and deletes the
  // new, empty one.
  now_ += 900;
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ElementsAre("Application_20020628214027.evt"));
  events = CollectorEvents(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_THAT(
      events[0].strings,
      ElementsAre(NotStoredText(2, "Application", "D:\\EvtBak\\Application_20020628214027.evt")));
}

TEST_F(CollectionMendsTest, KeptBackupsAreReadOldestFirst) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  std::string backup;
  Write("SRV01", "App", 4, 1, 0, {"first"});
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  now_ += 3600;
  NextSecond();
  Write("SRV01", "App", 4, 1, 0, {"second"});
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  now_ -= 7200;  // a clock set back still names its backup by its own time
  NextSecond();
  Write("SRV01", "App", 4, 1, 0, {"zeroth"});
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  // Files that are not backups of the log stay as they are.
  const auto folder = Root() / "SRV01" / "drives" / "D" / "EvtBak";
  std::ofstream(folder / "notes.txt").put('\n');
  std::ofstream(folder / "Application_2002.evt").put('\n');

  now_ += 7200 + 60;
  NextSecond();
  Write("SRV01", "App", 4, 1, 0, {"live"});
  ASSERT_EQ(collector_.CollectAll(), 0);
  std::vector<std::string> messages;
  for (const StoredRow& row : Stored("e.LEID")) messages.push_back(row.message);
  EXPECT_THAT(messages, ElementsAre(collector::FallbackDescription({"zeroth"}),
                                    collector::FallbackDescription({"first"}),
                                    collector::FallbackDescription({"second"}),
                                    collector::FallbackDescription({"live"})));
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ElementsAre("Application_2002.evt", "notes.txt"));
  EXPECT_THAT(CollectorEvents(), IsEmpty());
}

TEST_F(CollectionMendsTest, EmptyBackupPathIsRefusedOncePerPass) {
  collector_.backupPath_.clear();
  AddServer(1, "SRV01");
  AddServer(2, "SRV02");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV02", "System", "Sys", "");
  Write("SRV01", "App", 4, 1);
  Write("SRV02", "Sys", 4, 1);
  ASSERT_EQ(collector_.CollectAll(), 0);
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto events = CollectorEvents();
  ASSERT_EQ(events.size(), 2u);  // one per pass, not one per log
  for (const auto& event : events) {
    EXPECT_EQ(event.id, 109u);
    EXPECT_EQ(event.type, 2);
    EXPECT_THAT(event.strings, ElementsAre(collector::kEmptyBackupPathText));
  }
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 1u);
  EXPECT_EQ(LiveRecords("SRV02", "System"), 1u);
  EXPECT_THAT(Files("SRV01", "C$"), ElementsAre("WINDOWS"));
  EXPECT_THAT(Stored(), IsEmpty());
}

}  // namespace
}  // namespace tamsel::e2e
