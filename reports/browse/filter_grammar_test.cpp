// Randomised tests of the filter language against the SQL engine: every text the language
// accepts is valid SQL over the tables it is meant for, and every key query built from a
// checked filter parses back. Texts are drawn from the language's own tokens, so the parser
// meets the near misses a page could send.
#include <gtest/gtest.h>

#include <random>

#include "database/database_file.h"
#include "platform/data/data_test_support.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/key_query.h"

namespace tamsel::reports::browse {
namespace {

const std::vector<std::string> kVocabulary = {"ELServerID",
                                              "LogTypeID",
                                              "ElServerID",
                                              "ELSourceID",
                                              "EventID",
                                              "TimeGenerated",
                                              "AND",
                                              "OR",
                                              "NOT",
                                              "IN",
                                              "BETWEEN",
                                              "(",
                                              ")",
                                              ",",
                                              "=",
                                              "<>",
                                              "!=",
                                              "<",
                                              ">",
                                              "<=",
                                              ">=",
                                              "-",
                                              "1",
                                              "22",
                                              "0",
                                              "'2003-01-01'",
                                              "''",
                                              " ",
                                              "EventTypeID",
                                              "LEID",
                                              "[ELServerID]",
                                              "[LogTypeID]",
                                              "'3'",
                                              "'Jan 1 2003'"};

std::string RandomText(std::mt19937& random, int maxTokens) {
  std::uniform_int_distribution<int> count(1, maxTokens);
  std::uniform_int_distribution<std::size_t> pick(0, kVocabulary.size() - 1);
  std::string text;
  for (int n = count(random); n > 0; --n) text += kVocabulary[pick(random)] + " ";
  return text;
}

class FilterGrammarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::CreateDatabase(db::LocalCatalogFile(db::kDefaultCatalog));
    session_ = platform::data::Session::Open(db::LocalCatalogFile(db::kDefaultCatalog));
  }
  // True when the engine compiles `sql`.
  bool Compiles(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(session_->Handle(), sql.c_str(), -1, &statement, nullptr);
    sqlite3_finalize(statement);
    return rc == SQLITE_OK;
  }

  platform::data::TestNetwork network_;
  std::unique_ptr<platform::data::Session> session_;
};

TEST_F(FilterGrammarTest, EveryAcceptedServerLogTypeExpressionIsValidOverBothTables) {
  std::mt19937 random(20261207);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string text = RandomText(random, 7);
    std::optional<std::string> runs = ServerLogTypeFilterText(text);
    if (!runs) continue;
    ++accepted;
    EXPECT_TRUE(Compiles("SELECT LEID FROM LogEntry WHERE " + *runs)) << text;
    EXPECT_TRUE(Compiles("SELECT 1 FROM ELServerLogType WHERE " + *runs)) << text;
  }
  EXPECT_GT(accepted, 100);
}

TEST_F(FilterGrammarTest, KeyQueriesOfRandomFiltersParseBackAndCompile) {
  std::mt19937 random(7);
  const std::vector<std::string> expressions = {"", "ELServerID=1",
                                                "(ELServerID=1 OR LogTypeID "
                                                "IN(2,3)) AND NOT LogTypeID=4"};
  const std::vector<std::string> lists = {"", "3", "3,4,-5"};
  int built = 0;
  for (int i = 0; i < 2000; ++i) {
    auto any = [&](const std::vector<std::string>& values) {
      return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)];
    };
    ReportFilter filter;
    filter.sortBy = any({"TimeGenerated", "LEID", "EventID", "FullMessage"});
    filter.sortOrder = any({"", "ASC", "desc"});
    filter.serverLogTypeFilter = any(expressions);
    filter.startDate = any({"", "2003-01-01", "1/31/2003 2:00 PM", " Jan 31 2003 "});
    filter.endDate = any({"", "2003-02-01 00:00:00"});
    filter.elSource = any(lists);
    filter.eventType = any(lists);
    filter.eventId = any(lists);
    filter.eventIdExclude = any({"", "exclude"});
    filter.eventCategory = any(lists);
    if (CheckReportFilter(filter, FilterUse::KeyQuery)) continue;  // negative ids refused
    ++built;
    const std::string sql = KeyQueryText(filter);
    std::optional<KeyQuery> parsed = ParseKeyQuery(sql);
    ASSERT_TRUE(parsed) << sql;
    EXPECT_TRUE(Compiles(parsed->text)) << sql;
    EXPECT_TRUE(Compiles(CountQueryText(*parsed))) << sql;
  }
  EXPECT_GT(built, 100);
}

TEST_F(FilterGrammarTest, MutatedKeyQueriesAreRefusedOrStillValid) {
  std::mt19937 random(99);
  const std::string base =
      "SELECT LEID,TimeGenerated FROM LogEntry WHERE ELServerID=1 AND  TimeGenerated BETWEEN "
      "'2003-01-01' AND '2003-01-31' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) ORDER "
      "BY TimeGenerated DESC";
  const std::vector<std::string> extras = {
      ";", "--", "/*", "'", "\"", "UNION SELECT 1", "OR 1=1", ")", "(", "AppUser", ".", "[", "x"};
  for (int i = 0; i < 5000; ++i) {
    std::string sql = base;
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, sql.size())(random);
    const bool fromVocabulary = random() % 2 == 0;
    const std::string insert =
        fromVocabulary
            ? RandomText(random, 2)
            : extras[std::uniform_int_distribution<std::size_t>(0, extras.size() - 1)(random)];
    sql.insert(at, insert);
    if (std::optional<KeyQuery> parsed = ParseKeyQuery(sql)) {
      EXPECT_TRUE(Compiles(parsed->text)) << sql;
    }
  }
}

}  // namespace
}  // namespace tamsel::reports::browse
