// Tests of copying a whole TamselDB: the embedded file into the server engine with values
// that COPY's text form must escape, the checksum's sense, and a target that holds data.
#include "database/database_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "platform/data/data_test_support.h"
#include "platform/data/session.h"

namespace tamsel::db {
namespace {

using platform::data::Session;

constexpr const char* kRows =
    "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV1'), (7, 'SRV7');"
    "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System');"
    "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (3, 'back\\slash');"
    "INSERT INTO LogEntry (LEID, ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
    "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) "
    "VALUES (5, 1, 1, 1, '2003-01-31 23:59:59', '2003-01-31 23:59:59', 7, 1, 1, 1, 3, "
    "'tab\there<br>new\nline\r\\N \\ é'),"
    "(9, 7, 1, 2, '2003-02-01 00:00:00', '2003-02-01 00:00:00', -3, 2, 1, 1, 3, ''),"
    "(12, 7, 1, 3, '2003-02-01 00:00:01', '2003-02-01 00:00:01', 4, 2, 1, 1, 3, '\\');"
    "INSERT INTO CollectionLedger (ELServerID, LogName, PassStart, PassEnd, Outcome, FirstTime) "
    "VALUES (1, 'App\tlog', 'a', 'b', 'read', NULL), (7, 'System', 'a', 'b', 'read', '');";

class DatabaseCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto file = LocalCatalogFile("Source");
    CreateDatabase(file);
    source_ = Session::Open(file);
    source_->Execute(kRows);
  }

  std::unique_ptr<Session> ServerTarget() {
    std::string why;
    if (!CreateTestDatabase(Engine::Server, why)) return nullptr;
    return Session::OpenServer(
        {*platform::data::ServerAliasTarget(platform::data::kServerAlias), "TamselDB", "", ""});
  }

  std::string Scalar(Session& session, const std::string& sql) {
    auto row = session.Prepare(sql);
    return row.Step() ? (row.IsNull(0) ? "NULL" : row.Text(0)) : "";
  }

  platform::data::TestNetwork network_;
  std::unique_ptr<Session> source_;
};

TEST_F(DatabaseCopyTest, EmbeddedIntoServerKeepsEveryValueAndKey) {
  auto target = ServerTarget();
  if (!target) GTEST_SKIP() << "no test cluster";
  std::vector<std::string> seen;
  const auto tallies =
      CopyDatabase(*source_, *target, false,
                   [&](const std::string& table, std::int64_t done, std::int64_t total) {
                     if (done == total) seen.push_back(table);
                   });
  EXPECT_EQ(tallies, TallyTables(*source_));
  EXPECT_EQ(TallyTables(*target), tallies);
  EXPECT_EQ(seen.size(), tallies.size());
  EXPECT_EQ(Scalar(*target, "SELECT FullMessage FROM LogEntry WHERE LEID = 5"),
            "tab\there<br>new\nline\r\\N \\ é");
  EXPECT_EQ(Scalar(*target, "SELECT FirstTime FROM CollectionLedger WHERE ELServerID = 1"), "NULL");
  EXPECT_EQ(Scalar(*target, "SELECT FirstTime FROM CollectionLedger WHERE ELServerID = 7"), "");
  EXPECT_EQ(Scalar(*target, "SELECT COUNT(*) FROM LogEntry_2003_02"), "2");
  // New rows take keys above the copied ones.
  target->Execute("INSERT INTO ELServer (ELServerName) VALUES ('SRV8')");
  EXPECT_EQ(Scalar(*target, "SELECT ELServerID FROM ELServer WHERE ELServerName = 'SRV8'"), "8");
}

// A server's tables are read a few rows at a time; whatever the batch, every row arrives
// once, the copy back into the embedded engine keeps every value, and both engines' checksums
// agree. The composite keys (a server's logs, the entries' key and time on the server) break
// batches between rows that share their first column.
TEST_F(DatabaseCopyTest, ServerIntoEmbeddedInBatchesKeepsEveryRow) {
  auto server = ServerTarget();
  if (!server) GTEST_SKIP() << "no test cluster";
  CopyDatabase(*source_, *server, false, nullptr);
  server->Execute(
      "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (2, 'Application'), (3, 'Security'), "
      "(4, 'DNS Server'), (5, 'Directory Service');"
      "INSERT INTO ELServerLogType (ELServerID, LogTypeID) SELECT s.ELServerID, t.LogTypeID "
      "FROM ELServer s, LogType t;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25) "
      "INSERT INTO LogEntry (LEID, ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
      "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) "
      "SELECT 100 + i, 1 + 6 * (i % 2), 1 + i % 5, 100 + i, "
      "CASE WHEN i % 3 = 0 THEN '2003-01-15 10:00:00' ELSE '2003-02-15 10:00:00' END, "
      "'2003-02-15 10:00:00', i, 1, 1, 1, 3, 'entry' FROM n;");
  const std::vector<TableTally> whole = TallyTables(*server, 0);
  const auto rowsOf = [&](const std::vector<TableTally>& tallies, const std::string& table) {
    for (const TableTally& tally : tallies) {
      if (tally.table == table) return tally.rows;
    }
    return std::int64_t{-1};
  };
  ASSERT_EQ(rowsOf(whole, "ELServerLogType"), 10);
  ASSERT_EQ(rowsOf(whole, "LogEntry"), 28);

  for (const std::int64_t batch : {1, 3, 4, 1000}) {
    SCOPED_TRACE(batch);
    EXPECT_EQ(TallyTables(*server, batch), whole);
    const auto file = LocalCatalogFile("Back" + std::to_string(batch));
    CreateDatabase(file);
    auto back = Session::Open(file);
    std::map<std::string, std::int64_t> finished;
    const auto tallies = CopyDatabase(
        *server, *back, false,
        [&](const std::string& table, std::int64_t done, std::int64_t total) {
          if (done == total) finished[table] = done;
        },
        batch);
    EXPECT_EQ(tallies, whole);
    EXPECT_EQ(TallyTables(*back), whole);
    EXPECT_EQ(finished["LogEntry"], 28);
    EXPECT_EQ(Scalar(*back, "SELECT FullMessage FROM LogEntry WHERE LEID = 5"),
              "tab\there<br>new\nline\r\\N \\ é");
    EXPECT_EQ(Scalar(*back, "SELECT FirstTime FROM CollectionLedger WHERE ELServerID = 1"), "NULL");
  }
  // The round trip ends where it began, for the tables the server did not add to.
  const std::vector<TableTally> original = TallyTables(*source_);
  for (const char* table : {"ELServer", "ELSource", "CollectionLedger", "AppRole"}) {
    const auto same = [&](const TableTally& tally) { return tally.table == table; };
    EXPECT_EQ(*std::find_if(original.begin(), original.end(), same),
              *std::find_if(whole.begin(), whole.end(), same))
        << table;
  }
}

TEST_F(DatabaseCopyTest, ATargetWithDataIsRefusedUnlessReplacedAndThenMatchesTheSource) {
  CreateDatabase(LocalCatalogFile("Target"));
  auto target = Session::Open(LocalCatalogFile("Target"));
  // Seed rows alone are no data.
  CopyDatabase(*source_, *target, false, nullptr);
  source_->Execute("DELETE FROM LogEntry WHERE LEID = 12");
  EXPECT_THROW(CopyDatabase(*source_, *target, false, nullptr), std::runtime_error);
  EXPECT_EQ(Scalar(*target, "SELECT COUNT(*) FROM LogEntry"), "3");
  const auto tallies = CopyDatabase(*source_, *target, true, nullptr);
  EXPECT_EQ(tallies, TallyTables(*target));
  EXPECT_EQ(Scalar(*target, "SELECT COUNT(*) FROM LogEntry"), "2");
}

TEST_F(DatabaseCopyTest, ChecksumsTellApartValuesThatLookAlike) {
  auto checksum = [&] {
    for (const TableTally& tally : TallyTables(*source_)) {
      if (tally.table == "CollectionLedger") return tally.checksum;
    }
    return std::string();
  };
  const std::string before = checksum();
  std::set<std::string> seen{before};
  for (const char* change :
       {"UPDATE CollectionLedger SET FirstTime = '' WHERE ELServerID = 1",
        "UPDATE CollectionLedger SET FirstTime = 'NULL' WHERE ELServerID = 1",
        "UPDATE CollectionLedger SET RecordsRead = 1 WHERE ELServerID = 7",
        // Values that only concatenate alike.
        "UPDATE CollectionLedger SET PassStart = 'ab', PassEnd = '' WHERE ELServerID = 1"}) {
    source_->Execute(change);
    EXPECT_TRUE(seen.insert(checksum()).second) << change;
  }
  source_->Execute(
      "UPDATE CollectionLedger SET FirstTime = NULL, PassStart = 'a', PassEnd = 'b' "
      "WHERE ELServerID = 1; UPDATE CollectionLedger SET RecordsRead = 0 WHERE ELServerID = 7");
  EXPECT_EQ(checksum(), before);
}

}  // namespace
}  // namespace tamsel::db
