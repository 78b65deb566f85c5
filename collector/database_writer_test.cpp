// Tests of the database writer's reuse across records: the insert command kept on a
// connection stores each record with its own values and follows a new connection, and
// exclusion answers kept within a transaction are asked afresh in the next one.
#include <gtest/gtest.h>

#include <string>

#include "collector/collector_service.h"
#include "database/database_file.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::collector {
namespace {

class WriterReuseTest : public ::testing::Test {
 protected:
  WriterReuseTest()
      : timeZone_("TZ", "UTC"),
        network_(platform::network::Network(temp_.Path(), "COLLECTOR")),
        collector_("Tamsel") {
    tzset();
    platform::network::Network::Current().CreateMachineFolder("COLLECTOR");
    platform::data::SessionPool::Instance().Clear();
    databaseFile_ = db::LocalCatalogFile("TamselDB");
    db::CreateDatabase(databaseFile_);
    Sql("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (1, 'SRV01', 1)");
    collector_.ntAuthentication_ = 1;
  }
  ~WriterReuseTest() override {
    collector_.CloseDatabase();
    platform::data::SessionPool::Instance().Clear();
    tzset();
  }

  void Sql(const std::string& sql) { platform::data::Session::Open(databaseFile_)->Execute(sql); }
  std::string Stored(std::int64_t recordNumber) {
    auto session = platform::data::Session::Open(databaseFile_);
    auto row = session->Prepare(
        "SELECT e.EventID || ' ' || s.ELSourceName || ' ' || e.FullMessage FROM LogEntry e "
        "JOIN ELSource s ON s.ELSourceID = e.ELSourceID WHERE e.RecordNumber = ?");
    row.BindInt64(1, recordNumber);
    return row.Step() ? row.Text(0) : "missing";
  }
  // The record is the test's own: the service keeps no reference to it.
  CLogRecord& Record(std::uint32_t number, std::uint16_t type = 4) {
    record_.Reset();
    CLogRecord& record = record_;
    record.elServerId_ = 1;
    record.logName_ = "Application";
    record.recordNumber_ = number;
    record.timeGenerated_ = record.timeWritten_ = 1'700'000'000 + number;
    record.eventId_ = 1000 + number;
    record.eventType_ = type;
    record.categoryName_ = "None";
    record.sourceName_ = "Source" + std::to_string(number);
    record.description_ = "message " + std::to_string(number);
    return record;
  }
  int Excluded(std::uint16_t type) {
    int flag = 0;
    EXPECT_EQ(collector_.CheckExclusion(Record(1, type), flag), 0);
    return flag;
  }

  tamsel::testing::ScopedTempDir temp_;
  tamsel::testing::ScopedEnv timeZone_;
  platform::network::ScopedCurrentNetwork network_;
  CCollectorService collector_;
  std::filesystem::path databaseFile_;
  CLogRecord record_;
};

TEST_F(WriterReuseTest, KeptInsertCommandStoresEachRecordAndFollowsANewConnection) {
  collector_.BeginRecords();
  EXPECT_EQ(collector_.InsertLogEntry(Record(1)), 0);
  EXPECT_EQ(collector_.InsertLogEntry(Record(2)), 0);
  // A value the command cannot carry refuses that record only.
  CLogRecord& tooLarge = Record(3);
  tooLarge.elServerId_ = 70000;
  EXPECT_EQ(collector_.InsertLogEntry(tooLarge), -1);
  EXPECT_EQ(collector_.InsertLogEntry(Record(4)), 0);
  EXPECT_TRUE(collector_.CommitRecords());
  EXPECT_EQ(Stored(1), "1001 Source1 message 1");
  EXPECT_EQ(Stored(2), "1002 Source2 message 2");
  EXPECT_EQ(Stored(3), "missing");
  EXPECT_EQ(Stored(4), "1004 Source4 message 4");
  // The next pass opens a new connection; the command goes with it.
  EXPECT_EQ(collector_.CloseDatabase(), 0);
  EXPECT_EQ(collector_.InsertLogEntry(Record(5)), 0);
  EXPECT_EQ(Stored(5), "1005 Source5 message 5");
}

TEST_F(WriterReuseTest, EachRecordKeepsItsOwnTimesWhenNeighboursShareASecond) {
  // Generated and written times, in a log's order: repeats, a step forwards and one back.
  const std::pair<std::uint32_t, std::uint32_t> times[] = {{1'700'000'000, 1'700'000'005},
                                                           {1'700'000'000, 1'700'000'005},
                                                           {1'700'000'001, 1'700'000'005},
                                                           {1'699'999'990, 1'700'000'006},
                                                           {1'700'000'001, 1'700'000'000}};
  collector_.BeginRecords();
  for (std::uint32_t i = 0; i < std::size(times); ++i) {
    CLogRecord& record = Record(i + 1);
    record.timeGenerated_ = times[i].first;
    record.timeWritten_ = times[i].second;
    ASSERT_EQ(collector_.InsertLogEntry(record), 0);
  }
  ASSERT_TRUE(collector_.CommitRecords());
  auto session = platform::data::Session::Open(databaseFile_);
  for (std::uint32_t i = 0; i < std::size(times); ++i) {
    auto row = session->Prepare(
        "SELECT TimeGenerated || ' ' || TimeWritten FROM LogEntry WHERE RecordNumber = ?");
    row.BindInt64(1, i + 1);
    ASSERT_TRUE(row.Step());
    EXPECT_EQ(row.Text(0),
              FormatIsoRecordTime(times[i].first) + " " + FormatIsoRecordTime(times[i].second))
        << i;
  }
}

TEST_F(WriterReuseTest, ExclusionAnswersLastOneTransactionOnly) {
  collector_.BeginRecords();
  EXPECT_EQ(Excluded(4), 0);
  EXPECT_TRUE(collector_.CommitRecords());
  Sql("INSERT INTO EventExclusion (ELServerID, EventTypeID) VALUES (1, 4)");
  // A new transaction reads the exclusion added since the last one.
  collector_.BeginRecords();
  EXPECT_EQ(Excluded(4), 1);
  EXPECT_EQ(Excluded(4), 1);
  EXPECT_EQ(Excluded(2), 0);
  EXPECT_TRUE(collector_.CommitRecords());
  // Outside a transaction every answer is asked afresh.
  Sql("DELETE FROM EventExclusion");
  EXPECT_EQ(Excluded(4), 0);
  Sql("INSERT INTO EventExclusion (ELServerID, EventTypeID) VALUES (1, 2)");
  EXPECT_EQ(Excluded(2), 1);
}

}  // namespace
}  // namespace tamsel::collector
