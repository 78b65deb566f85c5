// The ledger's judgement of one pass against the pass before it, and the status query's
// rows of a server that was deleted since.
#include "database/ledger_procedures.h"

#include <gtest/gtest.h>

#include <map>

#include "database/engine_test_support.h"

namespace tamsel::db {
namespace {

TEST(ClassifyLedgerPassTest, GapsFromWhereTheLogWasExpectedToGoOn) {
  struct Case {
    const char* name;
    LedgerPassFacts facts;
    std::string kind;
    std::int64_t size;
  };
  const Case cases[] = {
      {"first pass of a log", {"read", 57, std::nullopt}, "", 0},
      {"goes on where expected", {"read", 1, 1}, "", 0},
      {"oldest records overwritten", {"read", 41, 1}, "wrapped", 40},
      {"numbering went back", {"read", 3, 120}, "cleared", -1},
      {"nothing read", {"read", std::nullopt, 1}, "silent", 0},
      {"server unreachable", {"offline", std::nullopt, 1}, "offline", 0},
      {"log not archived", {"not archived", std::nullopt, 1}, "", 0},
  };
  for (const Case& c : cases) {
    const LedgerGap gap = ClassifyLedgerPass(c.facts);
    EXPECT_EQ(gap.kind, c.kind) << c.name;
    EXPECT_EQ(gap.size, c.size) << c.name;
  }
}

using LedgerStatusTest = EngineDatabaseTest;

TEST_P(LedgerStatusTest, RowsOfADeletedServerSayItIsGone) {
  conn_.Execute("INSERT INTO ELServer (ELServerName) VALUES ('LEDGERSRV')");
  const std::string id =
      conn_.Execute("SELECT ELServerID FROM ELServer WHERE ELServerName = 'LEDGERSRV'")[0L].CStr();
  conn_.Execute(
      "INSERT INTO CollectionLedger (ELServerID, LogName, PassStart, PassEnd, Outcome, "
      "RecordsRead, RecordsStored, FirstRecord, LastRecord, NextExpected, GapKind, GapSize) "
      "VALUES (" +
      id +
      ", 'System', '2024-01-01 10:00:00', '2024-01-01 10:00:05', 'read', 1, 1, 1, 1, 2, '', 0), "
      "(987654, 'System', '2024-01-01 10:00:00', '2024-01-01 10:00:05', 'read', 1, 1, 1, 1, 2, "
      "'', 0)");
  std::map<std::string, std::pair<std::string, std::string>> rows;  // id -> name, known
  for (auto found = conn_.Execute(kLedgerStatusQuery); !found.IsEOF(); found.MoveNext()) {
    rows[found["ServerID"].CStr()] = {found["ServerName"].CStr(), found["ServerKnown"].CStr()};
  }
  EXPECT_EQ(rows[id], std::make_pair(std::string("LEDGERSRV"), std::string("1")));
  EXPECT_EQ(rows["987654"],
            std::make_pair(std::string("(deleted server 987654)"), std::string("0")));
}

TAMSEL_ON_BOTH_ENGINES(LedgerStatusTest);

}  // namespace
}  // namespace tamsel::db
