// Tests of LogEntry's indexes: every query over the table that the system sends is planned on
// the index it was made for, and no index is kept that none of them uses.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "database/database_file.h"
#include "database/schema.h"
#include "platform/data/data_test_support.h"
#include "platform/data/server_test_support.h"
#include "platform/data/sql_dialect.h"

namespace tamsel::db {
namespace {

using platform::data::Session;

// The plan's lines, joined.
std::string Plan(Session& session, const std::string& sql) {
  auto plan = session.Prepare("EXPLAIN QUERY PLAN " + sql);
  std::string text;
  while (plan.Step()) text += plan.Text(3) + "\n";
  return text;
}

std::set<std::string> LogEntryIndexes(Session& session) {
  auto list = session.Prepare(
      "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'LogEntry' AND "
      "sql IS NOT NULL");
  std::set<std::string> names;
  while (list.Step()) names.insert(list.Text(0));
  return names;
}

struct Need {
  const char* who;    // the query's owner
  const char* sql;    // as sent, with example values
  const char* index;  // the index its plan must use; null: the key alone
  bool sorted;        // the index gives the order: no sorting step
};

// The key queries are the component's, with its double blanks; each one's COUNT(*) has the
// same conditions.
const Need kNeeds[] = {
    {"LogEntryInsert: is the record stored under its backup already",
     "SELECT 1 FROM LogEntry WHERE LogBackupID = 3 AND RecordNumber = 5", "LogEntry_Record", true},
    {"LogEntryInsert: a row stored without a backup that is the record",
     "SELECT LEID FROM LogEntry WHERE LogBackupID IS NULL AND ELServerID = 1 AND LogTypeID = 2 "
     "AND RecordNumber = 5 AND TimeGenerated = '2026-01-01 00:00:00' AND "
     "TimeWritten = '2026-01-01 00:00:00' AND EventID = 7036 LIMIT 1",
     "LogEntry_Unbacked", true},
    {"LogEntryInsert: has the server's log rows without a backup",
     "SELECT EXISTS (SELECT 1 FROM LogEntry WHERE LogBackupID IS NULL AND ELServerID = 1 AND "
     "LogTypeID = 2)",
     "LogEntry_Unbacked", true},
    {"key query without conditions",
     "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC LIMIT 50 OFFSET 100",
     "LogEntry_Time", true},
    {"count without conditions: the narrowest index", "SELECT COUNT(*) FROM LogEntry",
     "LogEntry_LogType", true},
    {"key query of a server's log",
     "SELECT LEID,TimeGenerated FROM LogEntry WHERE (ELServerID = 1 AND LogTypeID = 2) ORDER BY "
     "TimeGenerated DESC LIMIT 50",
     "LogEntry_ServerTime", true},
    {"key query of a time range",
     "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2026-05-01' AND "
     "'2026-08-01' ORDER BY TimeGenerated DESC LIMIT 50",
     "LogEntry_Time", true},
    {"count of sources in a time range",
     "SELECT COUNT(*) FROM LogEntry WHERE  TimeGenerated BETWEEN '2026-05-01' AND '2026-08-01' "
     "AND  ELSourceID IN(3,17)",
     "LogEntry_Source", true},
    {"count of event types", "SELECT COUNT(*) FROM LogEntry WHERE  EventTypeID IN(1,2)",
     "LogEntry_Type", true},
    {"count of event ids", "SELECT COUNT(*) FROM LogEntry WHERE  EventID IN(7036,7040)",
     "LogEntry_EventID", true},
    {"count of categories", "SELECT COUNT(*) FROM LogEntry WHERE  EventCategoryID IN(2,3)",
     "LogEntry_Category", true},
    {"LogEntryTop1000Delete",
     "SELECT LEID FROM LogEntry WHERE ELServerID = 1 ORDER BY LogTypeID, TimeGenerated LIMIT 1000",
     "LogEntry_ServerTime", true},
    {"LogEntriesClear",
     "SELECT LEID FROM LogEntry WHERE TimeGenerated < '2026-03-01' ORDER BY TimeGenerated, LEID "
     "LIMIT 1000",
     "LogEntry_Time", true},
    {"ServerDelete: does the server have entries",
     "SELECT 1 FROM LogEntry WHERE ELServerID = 1 LIMIT 1", "LogEntry_ServerTime", true},
    {"alert sender: the last entry stored before an alert was switched on (CreatedAt rises "
     "with the key, so walking the key down finds it)",
     "SELECT COALESCE(MAX(LEID), 0) FROM LogEntry WHERE CreatedAt < '2026-12-01 00:00:00'", nullptr,
     true},
    {"alert sender: the new entries of a condition",
     "SELECT LEID, CreatedAt, TimeGenerated FROM LogEntry NOT INDEXED WHERE LEID > 10 AND "
     "LEID <= 20 AND ((ELServerID=1 AND LogTypeID IN(1)) AND  EventTypeID IN(1,2)) ORDER BY LEID",
     nullptr, true},
    {"LogEntryPageDetailsGet", "SELECT FullMessage FROM LogEntry WHERE LEID IN (4, 5)", nullptr,
     true},
};

TEST(LogEntryIndexesTest, EveryQueryFindsItsIndexAndEveryIndexServesAQuery) {
  platform::data::TestNetwork net;
  const auto file = LocalCatalogFile(kDefaultCatalog);
  CreateDatabase(file);
  auto session = Session::Open(file);
  std::set<std::string> used;
  for (const Need& need : kNeeds) {
    SCOPED_TRACE(need.who);
    const std::string plan = Plan(*session, need.sql);
    if (need.index != nullptr) {
      EXPECT_NE(plan.find(std::string("INDEX ") + need.index), std::string::npos) << plan;
      used.insert(need.index);
    } else {
      EXPECT_EQ(plan.find("INDEX"), std::string::npos) << plan;
      EXPECT_EQ(plan.find("SCAN LogEntry"), std::string::npos) << plan;
    }
    if (need.sorted) {
      EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    }
  }
  EXPECT_EQ(LogEntryIndexes(*session), used);
}

TEST(LogEntryIndexesTest, UpgradeKeepsEntriesAndTheirIdentity) {
  platform::data::TestNetwork net;
  const auto file = net.DataFolder() / "Old.db";
  const std::string entry =
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) VALUES (1, 1, 7, "
      "'2026-01-01 00:00:00', '2026-01-01 00:00:00', 7036, 4, 1, 1, 1)";
  {
    auto session = Session::Open(file, true);
    UpgradeSchema(*session, {SchemaSteps().begin(), SchemaSteps().end() - 1});
    session->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk');");
    session->Execute(entry);
  }
  UpgradeDatabase(file);
  auto session = Session::Open(file);
  auto count = session->Prepare("SELECT COUNT(*) FROM LogEntry");
  ASSERT_TRUE(count.Step());
  EXPECT_EQ(count.Int64(0), 1);
  EXPECT_THROW(session->Execute(entry), std::exception);  // the same record, once only
  CreateDatabase(LocalCatalogFile(kDefaultCatalog));
  auto fresh = Session::Open(LocalCatalogFile(kDefaultCatalog));
  EXPECT_EQ(LogEntryIndexes(*session), LogEntryIndexes(*fresh));
}

// The key queries of the page view on the server engine, as sent there (the key breaking
// ties of the sort), each with the index it must read alone, in its order (its columns as
// the index's name on a month spells them).
struct ServerNeed {
  const char* sql;
  const char* index;
};

const ServerNeed kServerNeeds[] = {
    {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC LIMIT 50 OFFSET 100",
     "timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated LIMIT 50",
     "timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE (ELServerID = 1 AND LogTypeID = 2) ORDER BY "
     "TimeGenerated DESC LIMIT 50",
     "elserverid_logtypeid_timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2026-05-01' AND "
     "'2026-05-20' ORDER BY TimeGenerated DESC LIMIT 50",
     "timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventTypeID IN(4) ORDER BY TimeGenerated "
     "DESC LIMIT 50",
     "eventtypeid_timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventID IN(7036) ORDER BY TimeGenerated "
     "DESC LIMIT 50",
     "eventid_timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventCategoryID IN(2) ORDER BY "
     "TimeGenerated DESC LIMIT 50",
     "eventcategoryid_timegenerated_leid_idx"},
    {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2026-05-01' AND "
     "'2026-05-20' AND  ELSourceID IN(3) ORDER BY TimeGenerated DESC LIMIT 50",
     "elsourceid_timegenerated_leid_idx"},
};

// Upgraded from the schema before, so the step that reshapes the indexes is what is tested.
TEST(ServerLogEntryIndexesTest, KeyQueriesReadOneIndexAloneInItsOrder) {
  platform::data::TestNetwork net;
  std::string why;
  if (!platform::data::PrepareServerAlias(&why)) GTEST_SKIP() << why;
  auto session = Session::OpenServer(
      {*platform::data::ServerAliasTarget(platform::data::kServerAlias), "TamselDB", "", ""});
  UpgradeSchema(*session, {SchemaSteps().begin(), SchemaSteps().end() - 1});
  UpgradeSchema(*session);
  session->EnsureEntryMonth("2026-05-01 00:00:00");
  session->Execute("VACUUM (ANALYZE) LogEntry");
  // Only a path without a sort or a visit to the table may win where one exists.
  session->Execute(
      "SET enable_seqscan = off; SET enable_bitmapscan = off; "
      "SET enable_sort = off; SET enable_incremental_sort = off");
  for (const ServerNeed& need : kServerNeeds) {
    SCOPED_TRACE(need.sql);
    auto explain =
        session->Prepare("EXPLAIN (COSTS OFF) " + platform::data::ToServerStatement(need.sql));
    std::string plan;
    while (explain.Step()) plan += explain.Text(0) + "\n";
    EXPECT_NE(plan.find("Index Only Scan"), std::string::npos) << plan;
    EXPECT_NE(plan.find(std::string("_") + need.index), std::string::npos) << plan;
    for (const char* refused : {"Seq Scan", "Bitmap", " Index Scan"}) {
      EXPECT_EQ(plan.find(refused), std::string::npos) << plan;
    }
    EXPECT_EQ(plan.find("Sort\n"), std::string::npos) << plan;  // a node, not a merge's key
  }
}

}  // namespace
}  // namespace tamsel::db
