// Tests of the key query: built from a filter, parsed back, and refused when it is anything
// but a key query.
#include "reports/browse/key_query.h"

#include <gtest/gtest.h>

namespace tamsel::reports::browse {
namespace {

constexpr const char* kWorkedExample =
    "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01' AND "
    "'2003-01-31' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) ORDER BY TimeGenerated "
    "DESC";

TEST(KeyQueryTest, EveryGeneratedFormParsesBackToItsParts) {
  ReportFilter filter;
  filter.sortBy = "TimeGenerated";
  filter.sortOrder = "DESC";
  filter.startDate = "2003-01-01";
  filter.endDate = "2003-01-31";
  filter.elSource = "3,4";
  filter.eventId = "100,101";
  filter.eventIdExclude = "exclude";
  ASSERT_EQ(KeyQueryText(filter), kWorkedExample);

  std::optional<KeyQuery> parsed = ParseKeyQuery(kWorkedExample);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->sortBy, "TimeGenerated");
  EXPECT_EQ(parsed->sortOrder, "DESC");
  // The count runs the conditions with the dates in their stored form.
  EXPECT_EQ(CountQueryText(*parsed),
            "SELECT COUNT(*) FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01 00:00:00' AND "
            "'2003-01-31 00:00:00' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) ");

  // Every condition at once, a server-and-log expression whose own ANDs and ORs precede the
  // conditions, an empty end date, and no sort order.
  filter.serverLogTypeFilter = "ELServerID=1 AND LogTypeID=2 OR (ELServerID=2 AND LogTypeID=1)";
  filter.endDate = "";
  filter.eventType = "1,4";
  filter.eventIdExclude = "";
  filter.eventId = "-5,7";
  filter.eventCategory = "0";
  filter.sortBy = "LEID";
  filter.sortOrder = "";
  const std::string all = KeyQueryText(filter);
  parsed = ParseKeyQuery(all);
  ASSERT_TRUE(parsed) << all;
  EXPECT_EQ(parsed->sortOrder, "");
  EXPECT_EQ(CountQueryText(*parsed),
            "SELECT COUNT(*) FROM LogEntry WHERE " + filter.serverLogTypeFilter +
                " AND  TimeGenerated BETWEEN '2003-01-01 00:00:00' AND '' AND  ELSourceID "
                "IN(3,4) AND  "
                "EventTypeID IN(1,4) AND  EventID IN(-5,7) AND  EventCategoryID IN(0) ");

  ReportFilter bare;
  bare.sortBy = "EventID";
  parsed = ParseKeyQuery(KeyQueryText(bare));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(CountQueryText(*parsed), "SELECT COUNT(*) FROM LogEntry ");
  EXPECT_EQ(PageQueryText("SELECT LEID,EventID FROM LogEntry ORDER BY EventID ", 100, 50),
            "SELECT LEID,EventID FROM LogEntry ORDER BY EventID  LIMIT 50 OFFSET 100");
}

TEST(KeyQueryTest, BlanksAndCaseAreFree) {
  EXPECT_TRUE(
      ParseKeyQuery("select leid , timegenerated from logentry where elsourceid in ( 3 "
                    ", 4 ) order by TIMEGENERATED asc"));
  EXPECT_TRUE(ParseKeyQuery("SELECT LEID,TimeGenerated\r\nFROM LogEntry\tORDER BY TimeGenerated"));
}

// Forms the database accepts run with their dates in the stored form and quoted integers
// bare; the rest of the text runs as written.
TEST(KeyQueryTest, DateFormsBracketsAndQuotedIntegersRunInTheStoredForm) {
  struct Case {
    const char* sql;
    const char* runs;
  } cases[] = {
      {"SELECT LEID,TimeGenerated FROM LogEntry WHERE TimeGenerated BETWEEN '2003-01-01' AND "
       "'2003-01-31' ORDER BY TimeGenerated",
       "SELECT LEID,TimeGenerated FROM LogEntry WHERE TimeGenerated BETWEEN '2003-01-01 "
       "00:00:00' AND '2003-01-31 00:00:00' ORDER BY TimeGenerated"},
      {"SELECT LEID,[TimeGenerated] FROM [LogEntry] WHERE [ELServerID]='1' AND "
       "[TimeGenerated] BETWEEN ' Jan 1 2003 ' AND '2003-01-31T23:59:59.5' ORDER BY "
       "[TimeGenerated] DESC",
       "SELECT LEID,[TimeGenerated] FROM [LogEntry] WHERE [ELServerID]=1 AND "
       "[TimeGenerated] BETWEEN '2003-01-01 00:00:00' AND '2003-01-31 23:59:59' ORDER BY "
       "[TimeGenerated] DESC"},
      {"SELECT LEID,EventID FROM LogEntry WHERE ELServerID BETWEEN 1 AND 2 AND TimeGenerated "
       "BETWEEN '20030101' AND '' ORDER BY EventID",
       "SELECT LEID,EventID FROM LogEntry WHERE ELServerID BETWEEN 1 AND 2 AND TimeGenerated "
       "BETWEEN '2003-01-01 00:00:00' AND '' ORDER BY EventID"},
  };
  for (const Case& c : cases) {
    std::optional<KeyQuery> parsed = ParseKeyQuery(c.sql);
    ASSERT_TRUE(parsed) << c.sql;
    EXPECT_EQ(parsed->text, c.runs);
    // The count runs the same conditions.
    EXPECT_NE(parsed->where.find("WHERE"), std::string::npos);
    EXPECT_NE(parsed->text.find(parsed->where), std::string::npos) << c.sql;
  }
}

TEST(KeyQueryTest, AnythingButAKeyQueryIsRefused) {
  for (const char* sql : {
           "SELECT LEID,TimeGenerated FROM AppUser ORDER BY TimeGenerated DESC",
           "SELECT LEID,AppUserPassword FROM LogEntry ORDER BY AppUserPassword",
           "SELECT LEID,TimeGenerated FROM LogEntry, AppUser ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY EventID DESC",
           "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC;",
           "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC; DELETE FROM "
           "LogEntry",
           "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC --",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE 1=1 OR ELSourceID IN(1) ORDER BY "
           "TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN(3) AND  ELSourceID "
           "IN(4) ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventTypeID IN(3) AND  ELSourceID "
           "IN(4) ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN(3) AND ELServerID=1 "
           "ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN(SELECT ELUserID FROM "
           "ELUser) ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID NOT IN(3) ORDER BY "
           "TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01' "
           "AND '2003-01-31'' OR ''1''=''1' ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '1/1/2003 x' "
           "AND '' ORDER BY TimeGenerated",
           "SELECT LEID,[TimeGenerated FROM LogEntry ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry [ORDER] BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM [dbo].[LogEntry] ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN('3') ORDER BY "
           "TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '' AND '' "
           "ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry UNION SELECT AppUserID,AppUserName FROM "
           "AppUser ORDER BY TimeGenerated",
           "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC LIMIT 1",
           "SELECT LEID, FROM LogEntry ORDER BY ",
           "SELECT * FROM LogEntry ORDER BY TimeGenerated",
           "DELETE FROM LogEntry",
           "",
       }) {
    EXPECT_FALSE(ParseKeyQuery(sql)) << sql;
  }
}

TEST(KeyQueryTest, AlertConditionsOfTheGeneratedFormOnly) {
  const std::pair<const char*, bool> cases[] = {
      {"", true},
      {"(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(1,2) AND  EventID NOT IN(100,101)",
       true},
      {" EventTypeID IN(1,2) AND  EventID NOT IN(100,101)", true},
      {"ELServerID=1 OR ELServerID=2", true},
      {" EventCategoryID IN(4)", true},
      {" TimeGenerated BETWEEN '2003-01-01' AND '2003-01-31'", false},
      {"ELServerID=1 AND  TimeGenerated BETWEEN '2003-01-01' AND '2003-01-31'", false},
      {"ELServerID=1) OR (1=1", false},
      {"ELServerID=1; DELETE FROM LogEntry", false},
      {"ELServerID IN (SELECT ELServerID FROM ELServer)", false},
      {" EventID IN(1) AND  ELSourceID IN(1)", false},
      {"FullMessage LIKE '%x%'", false},
      {"ELServerID=1 ORDER BY LEID", false},
      {"ELServerID=1 --", false},
  };
  for (const auto& [condition, accepted] : cases) {
    EXPECT_EQ(IsAlertCondition(condition), accepted) << condition;
  }
}

}  // namespace
}  // namespace tamsel::reports::browse
