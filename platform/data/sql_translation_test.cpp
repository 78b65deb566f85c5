// Tests of the rewriting of SQL Server "alias = expression" select items and transactions.
#include "platform/data/sql_translation.h"

#include <gtest/gtest.h>

namespace tamsel::platform::data {
namespace {

TEST(SqlTranslationTest, RewritesAliasItemsOfTheSelectList) {
  EXPECT_EQ(TranslateSql("SELECT ELServerID = ELServerID, ELServerName = ELServerName FROM "
                         "ELServer WHERE Status = 1"),
            "SELECT ELServerID AS ELServerID, ELServerName AS ELServerName FROM ELServer WHERE "
            "Status = 1");
  EXPECT_EQ(TranslateSql("select n = count(*), [Full Name] = a + ',' + b from t"),
            "select count(*) AS n, a + ',' + b AS [Full Name] from t");
  EXPECT_EQ(TranslateSql("SELECT DISTINCT x = f(a, b) FROM t"),
            "SELECT DISTINCT f(a, b) AS x FROM t");
}

TEST(SqlTranslationTest, ExplicitTransactionsTakeTheWriteLockWhenTheyBegin) {
  EXPECT_EQ(TranslateSql("BEGIN TRANSACTION"), "BEGIN IMMEDIATE TRANSACTION");
  EXPECT_EQ(TranslateSql("  begin tran"), "  BEGIN IMMEDIATE TRANSACTION");
  EXPECT_EQ(TranslateSql("BEGIN TRANSACTION;"), "BEGIN IMMEDIATE TRANSACTION;");
}

TEST(SqlTranslationTest, LeavesEverythingElseAlone) {
  const char* unchanged[] = {
      "SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventID = 5 ORDER BY TimeGenerated DESC",
      "SELECT a FROM t WHERE b = (SELECT c = 1)",
      "SELECT a == b FROM t",
      "SELECT 'x = y' FROM t",
      "UPDATE t SET a = 1",
      "SELECT a >= b, c <= d FROM t",
      "BEGIN IMMEDIATE",
      "BEGIN TRANSACTIONS",
      "COMMIT TRANSACTION",
  };
  for (const char* sql : unchanged) EXPECT_EQ(TranslateSql(sql), sql);
}

}  // namespace
}  // namespace tamsel::platform::data
