// LogEntry's rows counted per day on the server engine: the counts follow every change of the
// rows, and the count and deep pages that use them give what the plain statements give, in
// both orders, at day boundaries, amid equal times and past the end. The plain forms carry a
// condition that changes nothing, so the server answers them from the rows. On the embedded
// engine both forms are plain and must agree as well.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/engine_test_support.h"
#include "platform/data/command.h"
#include "platform/data/sql_dialect.h"

namespace tamsel::db {
namespace {

using namespace platform::data;

// `count` rows numbered from `first`, over five days of March and one of April, two servers,
// with seven distinct seconds a day so that many rows share a time.
std::string StoreRows(int first, int count) {
  return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
         " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(first + count - 1) +
         ") INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
         "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) "
         "SELECT 1 + i % 2, 1, i, CASE WHEN i % 9 = 0 THEN '2026-04-01 00:00:0' || (i % 7) "
         "ELSE '2026-03-1' || (i % 5) || ' 00:00:0' || (i % 7) END, '2026-04-01 00:00:00', 1, "
         "4, 1, 1, 1 FROM n";
}

class EntryDayCountsTest : public EngineDatabaseTest {
 protected:
  void SetUp() override {
    EngineDatabaseTest::SetUp();
    if (IsSkipped()) return;
    Run("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'A'), (2, 'B')");
    Run("INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application')");
    Run("INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'S')");
    if (GetParam() == Engine::Server) {
      for (const char* month : {"2026-03", "2026-04"}) Run(MonthPartitionStatement(month));
    }
  }

  void Run(const std::string& sql) { conn_.Execute(sql, adExecuteNoRecords); }

  // Every row's columns, joined.
  std::string Rows(const std::string& sql) {
    std::string text;
    for (Recordset rows = conn_.Execute(sql); !rows.IsEOF(); rows.MoveNext()) {
      for (long i = 0; i < rows.GetFields().Count(); ++i) text += rows[i].CStr() + "|";
      text += "\n";
    }
    return text;
  }

  long long Count(const std::string& where) {
    return std::stoll(Rows("SELECT COUNT(*) FROM LogEntry" + where).substr(0, 20));
  }

  // The counted and the plain forms agree on the count and on deep pages in both orders.
  void ExpectPlainAnswers(const std::string& step) {
    const long long total = Count(" WHERE LEID > 0");
    EXPECT_EQ(Count(""), total) << step;
    for (const char* order : {" DESC", ""}) {
      for (long long offset : {10000LL, 12345LL, total - 50, total - 1, total, total + 7}) {
        if (offset < 0) continue;
        const std::string page = " ORDER BY TimeGenerated" + std::string(order) +
                                 " LIMIT 50 OFFSET " + std::to_string(offset);
        EXPECT_EQ(Rows("SELECT LEID,TimeGenerated FROM LogEntry" + page),
                  Rows("SELECT LEID,TimeGenerated FROM LogEntry WHERE LEID > 0" + page))
            << step << ", order" << order << ", offset " << offset;
      }
    }
  }
};

TEST_P(EntryDayCountsTest, CountsAndDeepPagesFollowEveryChangeOfTheRows) {
  const struct {
    const char* step;
    std::string sql;
  } steps[] = {
      {"stored", StoreRows(1, 24000)},
      {"a server deleted with its rows", "DELETE FROM ELServer WHERE ELServerID = 2"},
      {"rows moved to another day and month",
       "UPDATE LogEntry SET TimeGenerated = '2026-04-01 00:00:09' WHERE LEID % 10 = 3"},
      {"the server added again", "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (2, 'B')"},
      {"rows of both servers added", StoreRows(30001, 8000)},
      {"some rows deleted", "DELETE FROM LogEntry WHERE LEID % 4 = 0"},
      {"every row deleted", "DELETE FROM LogEntry"},
  };
  for (const auto& [step, sql] : steps) {
    ASSERT_NO_THROW(Run(sql)) << step;
    ExpectPlainAnswers(step);
  }
}

TEST_P(EntryDayCountsTest, ServerCountsAreRebuiltAfterALoadThatBypassedThem) {
  if (GetParam() != Engine::Server) GTEST_SKIP() << "the server engine keeps the counts";
  Run(StoreRows(1, 12000));
  Run("ALTER TABLE LogEntry DISABLE TRIGGER USER");
  Run(StoreRows(20001, 3000));
  Run("ALTER TABLE LogEntry ENABLE TRIGGER USER");
  EXPECT_EQ(Count(""), 12000);  // the counts, missing the load
  const ServerLogin login{*ServerAliasTarget(kServerAlias), "TamselDB", "", ""};
  const std::vector<std::string> problems = CheckDatabase(login);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("tamsel_recount_entries()"), std::string::npos) << problems[0];
  EXPECT_EQ(Rows("SELECT tamsel_recount_entries()"), "15000|\n");
  ExpectPlainAnswers("recounted");
  EXPECT_TRUE(CheckDatabase(login).empty());
}

TEST_P(EntryDayCountsTest, KeysFromTheOldKeyFunctionMoveToASequence) {
  if (GetParam() != Engine::Server) GTEST_SKIP() << "keys of the server engine";
  // A source table as databases made before keys came from sequences have it.
  Run("INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (41, 'Before')");
  Run("CREATE FUNCTION tamsel_next_key(t TEXT, c TEXT) RETURNS BIGINT LANGUAGE plpgsql AS "
      "'DECLARE n BIGINT; BEGIN EXECUTE format(''SELECT COALESCE(MAX(%I), 0) + 1 FROM %I'', "
      "lower(c), lower(t)) INTO n; RETURN n; END'");
  Run("ALTER TABLE ELSource ALTER COLUMN ELSourceID SET DEFAULT tamsel_next_key('ELSource', "
      "'ELSourceID')");
  Run("DROP TRIGGER ELSource_key_kept ON ELSource");
  Run("DROP SEQUENCE ELSource_key");
  Run("UPDATE VersionInfo SET SchemaVersion = 8");
  auto session = Session::OpenServer({*ServerAliasTarget(kServerAlias), "TamselDB", "", ""});
  EXPECT_EQ(UpgradeSchema(*session), 8);
  Run("INSERT INTO ELSource (ELSourceName) VALUES ('After')");
  Run("INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (60, 'Explicit')");
  Run("INSERT INTO ELSource (ELSourceName) VALUES ('Last')");
  EXPECT_EQ(Rows("SELECT ELSourceID FROM ELSource WHERE ELSourceName IN ('After', 'Last') "
                 "ORDER BY ELSourceID"),
            "42|\n61|\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM pg_proc WHERE proname = 'tamsel_next_key'"), "0|\n");
}

TAMSEL_ON_BOTH_ENGINES(EntryDayCountsTest);

}  // namespace
}  // namespace tamsel::db
