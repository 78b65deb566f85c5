// Tests of the server engine: the dialect table, and the provider on the test cluster
// (connection through the alias, keys, spellings, error numbers, transactions).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/data/data_test_support.h"
#include "platform/data/server_test_support.h"
#include "platform/data/sql_dialect.h"
#include "platform/data/transaction_scope.h"

namespace tamsel::platform::data {
namespace {

TEST(SqlDialectTest, RewritesStatementsForTheServer) {
  const struct {
    const char* embedded;
    const char* server;
  } cases[] = {
      {"SELECT a FROM t WHERE b = ? AND c = ?", "SELECT a FROM t WHERE b = $1 AND c = $2"},
      {"SELECT ?2, ?1, ?2, ?", "SELECT $2, $1, $2, $3"},
      {"SELECT '?' || ? FROM t", "SELECT '?' || $1 FROM t"},
      {"INSERT OR IGNORE INTO E (a, b) VALUES (?, ?)",
       "INSERT INTO E (a, b) VALUES ($1, $2) ON CONFLICT DO NOTHING"},
      {"UPDATE A SET U = datetime('now', 'localtime')",
       "UPDATE A SET U = to_char(localtimestamp, 'YYYY-MM-DD HH24:MI:SS')"},
      {"SELECT printf('%02d', M % 60) AS x", "SELECT lpad(CAST(M % 60 AS TEXT), 2, '0') AS x"},
      {"SELECT group_concat(x, '') FROM t", "SELECT string_agg(x, '') FROM t"},
      {"BEGIN IMMEDIATE", "BEGIN"},
      {"SET L = MAX(W.L, excluded.L), M = min(a,b), N = (SELECT MAX(x) FROM t)",
       "SET L = GREATEST(W.L, excluded.L), M = LEAST(a,b), N = (SELECT MAX(x) FROM t)"},
      {"SELECT LEID FROM LogEntry NOT INDEXED WHERE LEID > ?",
       "SELECT LEID FROM LogEntry WHERE LEID > $1"},
      {"SELECT x FROM t WHERE [ELServerID]='1' AND y LIKE '[z]' AND [a b] = 1 AND TG_ARGV[1]",
       "SELECT x FROM t WHERE ELServerID='1' AND y LIKE '[z]' AND [a b] = 1 AND TG_ARGV[1]"},
      {"SELECT LEID,EventID FROM LogEntry WHERE m = 'ORDER BY' ORDER BY EventID ASC LIMIT 3 "
       "OFFSET 6",
       "SELECT LEID,EventID FROM LogEntry WHERE m = 'ORDER BY' ORDER BY EventID ASC, LEID LIMIT 3 "
       "OFFSET 6"},
      {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC",
       "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC, LEID DESC"},
      {"SELECT LEID FROM LogEntry WHERE LEID IN (SELECT k FROM t ORDER BY a) ORDER BY LEID",
       "SELECT LEID FROM LogEntry WHERE LEID IN (SELECT k FROM t ORDER BY a) ORDER BY LEID"},
      {"SELECT x FROM t WHERE k IN (SELECT value FROM json_each(?))",
       "SELECT x FROM t WHERE k IN (SELECT CAST(value AS BIGINT) FROM "
       "json_array_elements_text(CAST($1 AS JSON)) AS j(value))"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToServerStatement(c.embedded), c.server) << c.embedded;
}

// Only the count and the deep pages over every entry sorted by time (with the key's tie
// break in the same direction) use the day counts; anything narrower asks the rows.
TEST(SqlDialectTest, CountsEntriesByDayOnlyForTheWholeTable) {
  const struct {
    const char* statement;
    bool counted;
  } cases[] = {
      {"SELECT COUNT(*) FROM LogEntry", true},
      {"select count( * ) from logentry;", true},
      {"SELECT COUNT(*) FROM LogEntry WHERE ELServerID = 1", false},
      {"SELECT COUNT(*) FROM LogEntryX", false},
      {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC, LEID DESC LIMIT 50 "
       "OFFSET 10000",
       true},
      {"SELECT LEID, TimeGenerated FROM LogEntry ORDER BY TimeGenerated, LEID LIMIT 50 OFFSET "
       "123456",
       true},
      {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC, LEID DESC LIMIT 50 "
       "OFFSET 9999",
       false},
      {"SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC, LEID LIMIT 50 OFFSET "
       "20000",
       false},
      {"SELECT LEID,EventID FROM LogEntry ORDER BY EventID DESC, LEID DESC LIMIT 50 OFFSET 20000",
       false},
      {"SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN(3) ORDER BY TimeGenerated "
       "DESC, LEID DESC LIMIT 50 OFFSET 20000",
       false},
  };
  for (const auto& c : cases) {
    const std::string server = WithEntryDayCounts(c.statement);
    EXPECT_EQ(server != c.statement, c.counted) << c.statement;
    EXPECT_EQ(server.find("tamsel_entry_days") != std::string::npos, c.counted) << c.statement;
  }
}

TEST(SqlDialectTest, RewritesSchemaScriptsForTheServer) {
  const std::string schema = ToServerSchema(
      "CREATE TABLE ELUser (\n  ELUserID INTEGER PRIMARY KEY,\n"
      "  ELUserName TEXT NOT NULL COLLATE NOCASE UNIQUE\n);\n"
      "-- a comment's quote and ? are no SQL\n"
      "CREATE TABLE Pair (\n  A INTEGER NOT NULL,\n  PRIMARY KEY (A)\n) WITHOUT ROWID;\n"
      "CREATE TABLE LogEntry (\n  LEID INTEGER PRIMARY KEY,\n  TimeGenerated TEXT NOT NULL\n);");
  for (const char* expected :
       {"CREATE SEQUENCE IF NOT EXISTS ELUser_key",
        "ELUserID BIGINT PRIMARY KEY DEFAULT nextval('ELUser_key')",
        "CREATE TRIGGER ELUser_key_kept AFTER INSERT ON ELUser",
        "LEID BIGINT NOT NULL DEFAULT nextval('LogEntry_key')", "CREATE TRIGGER LogEntry_key_kept",
        "ELUserName CITEXT NOT NULL UNIQUE", "A BIGINT NOT NULL", "PRIMARY KEY (A)\n);",
        "PRIMARY KEY (LEID, TimeGenerated)\n) PARTITION BY RANGE (TimeGenerated)",
        "PARTITION OF LogEntry DEFAULT", "VALUES ('key:eluser', 'ELUserID')",
        "VALUES ('eluserid', 'ELUserID')"}) {
    EXPECT_NE(schema.find(expected), std::string::npos) << expected << "\n" << schema;
  }
  EXPECT_EQ(schema.find("WITHOUT ROWID"), std::string::npos);
  EXPECT_EQ(schema.find("comment"), std::string::npos);
  EXPECT_EQ(MonthPartitionStatement("2026-12-07 10:00:00"),
            "CREATE TABLE IF NOT EXISTS LogEntry_2026_12 PARTITION OF LogEntry FOR VALUES FROM "
            "('2026-12') TO ('2027-01')");
}

class ServerProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!PrepareServerAlias(&why)) GTEST_SKIP() << why;
    auto session = Session::OpenServer({Target(), "TamselDB", "", ""});
    session->ExecuteSchema(
        "CREATE TABLE ELServer (\n  ELServerID INTEGER PRIMARY KEY,\n"
        "  ELServerName TEXT NOT NULL COLLATE NOCASE UNIQUE,\n  Status INTEGER NOT NULL\n);");
  }

  static std::string Target() { return *ServerAliasTarget(kServerAlias); }

  Connection Open(const std::string& extra = "TRUSTED_CONNECTION=YES;") {
    Connection connection;
    connection.Open(std::string("Provider=sqloledb;Data Source=") + kServerAlias +
                    ";Initial Catalog=TamselDB;" + extra);
    return connection;
  }

  TestNetwork network_;
};

TEST_F(ServerProviderTest, KeysCountFromTheHighestAndNamesKeepTheirSpelling) {
  Connection connection = Open();
  connection.Execute("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (5, 'A', 1)");
  Session& session = connection.GetSession();
  EXPECT_EQ(session.GetEngine(), Engine::Server);
  session.Prepare("INSERT INTO ELServer (ELServerName, Status) VALUES (?, 1)")
      .BindText(1, "b")
      .Run();
  EXPECT_EQ(session.LastInsertRowId(), 6);
  Recordset rows = connection.Execute(
      "SELECT ELServerID, ELServerName, (Status = 1) AS Active, COUNT(*) OVER () AS Total "
      "FROM ELServer WHERE ELServerName = 'B'");
  ASSERT_FALSE(rows.IsEOF());
  EXPECT_EQ(rows.GetFields().Item(0L).Name(), "ELServerID");
  EXPECT_EQ(rows.GetFields().Item(3L).Name(), "Total");
  EXPECT_EQ(rows[0L].CLng(), 6);
  EXPECT_EQ(rows[1L].CStr(), "b");
  EXPECT_EQ(rows[2L].CLng(), 1);  // a boolean reads as a number, as on the embedded engine
}

// Two writers inserting into one table at once: neither waits for the other's commit, and
// both keep their rows under different keys, above any key inserted explicitly.
TEST_F(ServerProviderTest, ConcurrentWritersGetDistinctKeys) {
  auto first = Session::OpenServer({Target(), "TamselDB", "", ""});
  auto second = Session::OpenServer({Target(), "TamselDB", "", ""});
  // A writer that had to wait for the other's key would fail here instead of hanging.
  second->Execute("SET lock_timeout = '5s'");
  const char* insert = "INSERT INTO ELServer (ELServerName, Status) VALUES (?, 1)";
  first->Execute("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (7, 'x', 1)");
  first->Execute("BEGIN");
  second->Execute("BEGIN");
  first->Prepare(insert).BindText(1, "a").Run();
  second->Prepare(insert).BindText(1, "b").Run();
  const std::int64_t a = first->LastInsertRowId(), b = second->LastInsertRowId();
  second->Execute("COMMIT");
  first->Execute("COMMIT");
  EXPECT_NE(a, b);
  EXPECT_GT(std::min(a, b), 7);
  auto count = first->Prepare("SELECT COUNT(*) FROM ELServer WHERE ELServerID IN (?, ?)");
  count.BindInt64(1, a).BindInt64(2, b).Step();
  EXPECT_EQ(count.Int64(0), 2);
}

TEST_F(ServerProviderTest, FailuresCarryTheProvidersNumbers) {
  Connection connection = Open();
  connection.Execute("INSERT INTO ELServer (ELServerName, Status) VALUES ('A', 1)");
  const struct {
    const char* sql;
    std::uint32_t hr;
  } cases[] = {
      {"SELECT * FROM NoSuchTable", 0x80040E37u},
      {"INSERT INTO ELServer (ELServerName, Status) VALUES ('a', 1)", 0x80040E2Fu},
      {"INSERT INTO ELServer (ELServerName) VALUES ('c')", 0x80040E2Fu},
      {"SELEC 1", 0x80040E14u},
      {"SELECT NoSuchColumn FROM ELServer", 0x80040E14u},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hresult([&] { connection.Execute(c.sql); }), c.hr) << c.sql;
  }
  // The connection stays usable after each failure.
  EXPECT_EQ(connection.Execute("SELECT COUNT(*) FROM ELServer")[0L].CLng(), 1);
}

TEST_F(ServerProviderTest, LoginFailuresAreReportedAsTheProviderDoes) {
  EXPECT_EQ(Hresult([&] { Open("User ID=nobody;Password=x;"); }), 0x80040E4Du);
  EXPECT_EQ(Hresult([&] {
              Connection connection;
              connection.Open(std::string("Data Source=") + kServerAlias +
                              ";Initial Catalog=NoSuchDB;TRUSTED_CONNECTION=YES;");
            }),
            0x80004005u);
  WriteAlias("DOWN", "host=/nonexistent/socket/folder");
  EXPECT_EQ(Hresult([&] {
              Connection connection;
              connection.Open("Data Source=DOWN;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;");
            }),
            0x80004005u);
}

TEST_F(ServerProviderTest, TransactionScopeCommitsOrRollsBackTheServerToo) {
  for (const bool commit : {false, true}) {
    TransactionScope scope;
    Connection connection = Open();
    connection.Execute(commit ? "INSERT INTO ELServer (ELServerName, Status) VALUES ('kept', 1)"
                              : "INSERT INTO ELServer (ELServerName, Status) VALUES ('gone', 1)");
    connection.Close();
    if (commit) {
      EXPECT_TRUE(scope.Commit());
    } else {
      scope.Abort();
    }
  }
  Connection connection = Open();
  EXPECT_EQ(
      connection.Execute("SELECT COUNT(*) FROM ELServer WHERE ELServerName = 'KEPT'")[0L].CLng(),
      1);
  EXPECT_EQ(
      connection.Execute("SELECT COUNT(*) FROM ELServer WHERE ELServerName = 'gone'")[0L].CLng(),
      0);
}

// A connection that runs ever new texts keeps only a bounded number prepared on the server;
// a text it let go runs again when it comes back, and one a caller still holds across the
// evictions runs too.
TEST_F(ServerProviderTest, PreparedStatementsStayBoundedAndEvictedTextsRunAgain) {
  auto session = Session::OpenServer({Target(), "TamselDB", "", ""});
  auto text = [](int i) { return "SELECT " + std::to_string(i) + " + ? AS n"; };
  auto run = [&](Statement& statement, int argument) {
    statement.BindInt64(1, argument);
    return statement.Step() ? statement.Int64(0) : -1;
  };
  Statement held = session->Prepare("SELECT 1000 + ? AS n");
  const int texts = static_cast<int>(ServerLink::kPreparedLimit) * 2 + 7;
  for (int i = 0; i < texts; ++i) {
    Statement statement = session->Prepare(text(i));
    ASSERT_EQ(run(statement, 1), i + 1) << text(i);
  }
  auto count = session->Prepare("SELECT COUNT(*) FROM pg_prepared_statements");
  ASSERT_TRUE(count.Step());
  // The bound, and the statement still held.
  EXPECT_LE(count.Int64(0), static_cast<std::int64_t>(ServerLink::kPreparedLimit) + 1);
  EXPECT_EQ(run(held, 5), 1005);
  for (const int i : {0, 1, texts - 1}) {
    Statement statement = session->Prepare(text(i));
    EXPECT_EQ(run(statement, 2), i + 2) << text(i);
  }
}

}  // namespace
}  // namespace tamsel::platform::data
