// The completeness ledger of collection passes: a normal pass, a log that produced nothing,
// a log that wrapped before the pass (records lost, counted), a server gone offline, and the
// table `tamsel collector status` prints from it.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "collector/backup_files.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

struct LedgerRow {
  std::string outcome;
  std::int64_t read = 0, stored = 0, excluded = 0, notStored = 0, backupsKept = 0;
  std::string first, last, gapKind;
  std::int64_t gapSize = 0;
};

class CollectionLedgerTest : public CollectionTest {
 protected:
  CollectionLedgerTest() : clock_([this] { return now_; }) {}

  // Each pass a minute after the one before, so backups never share a name.
  void Pass() {
    now_ += 60;
    ASSERT_EQ(collector_.CollectAll(), 0);
  }

  // The ledger rows of one log, oldest pass first.
  std::vector<LedgerRow> Rows(const std::string& log) {
    auto session = platform::data::Session::Open(databaseFile_);
    auto rows = session->Prepare(
        "SELECT Outcome, RecordsRead, RecordsStored, RecordsExcluded, RecordsNotStored, "
        "BackupsKept, COALESCE(CAST(FirstRecord AS TEXT), ''), "
        "COALESCE(CAST(LastRecord AS TEXT), ''), GapKind, GapSize FROM CollectionLedger "
        "WHERE LogName = ? ORDER BY CollectionLedgerID");
    rows.BindText(1, log);
    std::vector<LedgerRow> result;
    while (rows.Step()) {
      result.push_back({rows.Text(0), rows.Int64(1), rows.Int64(2), rows.Int64(3), rows.Int64(4),
                        rows.Int64(5), rows.Text(6), rows.Text(7), rows.Text(8), rows.Int64(9)});
    }
    return result;
  }

  std::time_t now_ = 1025300427;
  collector::ScopedCollectorClock clock_;
};

TEST_F(CollectionLedgerTest, NormalSilentAndOfflinePasses) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  Exclude(1, 2);
  for (std::uint16_t type : {4, 2, 4}) Write("SRV01", "App", type, 7);
  Pass();
  Pass();  // nothing new
  SetOnline("SRV01", false);
  Pass();

  const auto rows = Rows("Application");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].outcome, "read");
  EXPECT_EQ(rows[0].read, 3);
  EXPECT_EQ(rows[0].stored, 2);
  EXPECT_EQ(rows[0].excluded, 1);
  EXPECT_EQ(rows[0].notStored, 0);
  EXPECT_EQ(rows[0].backupsKept, 0);
  EXPECT_EQ(rows[0].first, "1");
  EXPECT_EQ(rows[0].last, "3");
  EXPECT_EQ(rows[0].gapKind, "");
  EXPECT_EQ(rows[1].gapKind, "silent");
  EXPECT_EQ(rows[1].read, 0);
  EXPECT_EQ(rows[1].first, "");
  EXPECT_EQ(rows[2].outcome, "offline");
  EXPECT_EQ(rows[2].gapKind, "offline");

  // Back online, the log goes on from record 1 of its fresh generation: no gap.
  SetOnline("SRV01", true);
  Write("SRV01", "App", 4, 8);
  Pass();
  const auto after = Rows("Application");
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[3].first, "1");
  EXPECT_EQ(after[3].gapKind, "");

  // The status command shows the newest pass of every log.
  auto status = Tamsel("collector status --json");
  ASSERT_EQ(status.exitCode, 0) << status.output;
  const auto json = nlohmann::json::parse(status.output);
  bool seen = false;
  for (const auto& entry : json) {
    if (entry["log"] != "Application") continue;
    seen = true;
    EXPECT_EQ(entry["server"], "SRV01");
    EXPECT_EQ(entry["read"], "1");
    EXPECT_EQ(entry["gap"], "");
  }
  EXPECT_TRUE(seen) << status.output;
}

TEST_F(CollectionLedgerTest, WrappedLogReportsTheRecordsLost) {
  AddServer(1, "SRV01");
  RegisterLog("SRV01", "Small", "Small.evt");
  {
    reg::RegistryKey root, key;
    ASSERT_EQ(reg::RegistryKey::Connect("SRV01", reg::HKEY_LOCAL_MACHINE, root), 0);
    ASSERT_EQ(reg::RegistryKey::Create(root.Get(), std::string(evl::kEventLogKey) + "\\Small", key),
              0);
    key.SetDword("MaxSize", 0x10000);  // one allocation step, overwritten as needed
  }
  AddSource("SRV01", "Small", "Filler", "");
  Write("SRV01", "Filler", 4, 1);
  Pass();
  const std::string text(400, 'x');
  for (int i = 0; i < 400; ++i) Write("SRV01", "Filler", 4, 2, 0, {text});
  Pass();

  const auto rows = Rows("Small");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].gapKind, "");
  ASSERT_EQ(rows[1].gapKind, "wrapped");
  const std::int64_t first = std::stoll(rows[1].first);
  EXPECT_GT(first, 1);
  EXPECT_EQ(rows[1].gapSize, first - 1);  // records 1 .. first-1 were overwritten unread
  EXPECT_EQ(rows[1].read, 400 - rows[1].gapSize);
  EXPECT_EQ(rows[1].last, "400");

  auto table = Tamsel("collector status");
  ASSERT_EQ(table.exitCode, 0) << table.output;
  EXPECT_THAT(table.output,
              ::testing::HasSubstr("wrapped, " + std::to_string(rows[1].gapSize) + " lost"));
}

// The row commits on its own; a row the database refuses leaves no transaction behind, and a
// transaction already open takes the row as part of it.
TEST_F(CollectionLedgerTest, RowCommitsAloneAndARefusedRowLeavesNoTransaction) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  Write("SRV01", "App", 4, 7);
  Pass();
  ASSERT_EQ(collector_.OpenDatabase(), 0);
  platform::data::Connection& connection = *collector_.connection_;
  collector::LedgerRecorder& ledger = collector_.ledger_;  // holds the pass's last log
  auto committed = [&] {                                   // as another connection sees the table
    auto session = platform::data::Session::Open(databaseFile_);
    auto count = session->Prepare("SELECT COUNT(*) FROM CollectionLedger");
    count.Step();
    return count.Int64(0);
  };
  const std::int64_t before = committed();

  EXPECT_FALSE(ledger.Write(connection, "no such outcome", now_));
  EXPECT_FALSE(connection.GetSession().InTransaction());
  EXPECT_TRUE(ledger.Write(connection, "read", now_));
  EXPECT_FALSE(connection.GetSession().InTransaction());
  EXPECT_EQ(committed(), before + 1);

  collector_.BeginRecords();
  EXPECT_TRUE(ledger.Write(connection, "read", now_));
  EXPECT_TRUE(connection.GetSession().InTransaction());
  EXPECT_EQ(committed(), before + 1);
  ASSERT_TRUE(collector_.CommitRecords());
  EXPECT_EQ(committed(), before + 2);
}

}  // namespace
}  // namespace tamsel::e2e
