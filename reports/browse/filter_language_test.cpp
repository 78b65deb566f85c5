// Tests of the safe filter language: what each attribute form accepts and refuses, the forms
// it runs them in, and the check of a whole report filter.
#include "reports/browse/filter_language.h"

#include <gtest/gtest.h>

#include "platform/com/com_error.h"
#include "reports/browse/condition_builder.h"

namespace tamsel::reports::browse {
namespace {

TEST(FilterLanguageTest, ServerLogTypeExpressionsOfThePagesAreAccepted) {
  for (const char* text :
       {"(ELServerID=1 AND LogTypeID IN(1,2))", "ELServerID=1", "ElServerID = 12",
        "(ELServerID=1 AND LogTypeID IN(1,2)) OR (ELServerID=2 AND LogTypeID=3)",
        "NOT (ELServerID IN (1, 2)) AND LogTypeID NOT IN(4)", "elserverid<>3 and logtypeid>=-1",
        "ELServerID != 2", "((((ELServerID<5))))", "1 = ELServerID", "NOT NOT LogTypeID <= 2"}) {
    EXPECT_TRUE(IsServerLogTypeFilter(text)) << text;
  }
}

TEST(FilterLanguageTest, ServerLogTypeExpressionsOutsideTheLanguageAreRefused) {
  for (const char* text : {"1=1; DROP TABLE LogEntry",
                           "ELServerID=1 --",
                           "ELServerID=1 /* x */",
                           "ELServerID=1)",
                           "(ELServerID=1",
                           "ELSourceID=1",
                           "ELServerID=1 AND EventID IN(1)",
                           "ELServerID='x'",
                           "ELServerID='1' '2'",
                           "ELServerID=-'1'",
                           "ELServerID='1.5'",
                           "'1' BETWEEN ELServerID AND 2",
                           "ELServerID BETWEEN 1",
                           "ELServerID BETWEEN 1 OR 2",
                           "ELServerID=1 [AND] LogTypeID=2",
                           "[ELServerID=1",
                           "[ELServer ID]=1",
                           "[ELServerID]]=1",
                           "[dbo].[ELServerID]=1",
                           "ELServerID=1e5",
                           "ELServerID=0x10",
                           "ELServerID=1AND LogTypeID=2",
                           "ELServerID IN()",
                           "ELServerID IN(1,)",
                           "ELServerID = LEID",
                           "ELServerID=1 UNION SELECT 1",
                           "ELServerID=(SELECT 1)",
                           "\"ELServerID\"=1",
                           "LogEntry.ELServerID=1",
                           "ELServerID=1 OR",
                           "NOT",
                           "",
                           "ELServerID",
                           "ELServerID==1",
                           "ELServerID=1\x01",
                           "ELServerID = 1234567890123456789"}) {
    EXPECT_FALSE(IsServerLogTypeFilter(text)) << text;
  }
  // Nesting is bounded instead of recursed into without end.
  EXPECT_TRUE(IsServerLogTypeFilter(std::string(30, '(') + "ELServerID=1" + std::string(30, ')')));
  EXPECT_FALSE(
      IsServerLogTypeFilter(std::string(5000, '(') + "ELServerID=1" + std::string(5000, ')')));
  std::string manyNots;
  for (int i = 0; i < 5000; ++i) manyNots += "NOT ";
  EXPECT_FALSE(IsServerLogTypeFilter(manyNots + "ELServerID=1"));
}

// Forms the database reads as the same expression: they run with quoted integers bare.
TEST(FilterLanguageTest, ServerLogTypeFormsTheDatabaseAcceptsRunAsPlainExpressions) {
  struct Case {
    const char* text;
    const char* runs;
  } cases[] = {
      {"ELServerID = 1", "ELServerID = 1"},
      {"ELServerID='3'", "ELServerID=3"},
      {"ELServerID = ' -3 ' OR LogTypeID='+2'", "ELServerID = -3 OR LogTypeID=2"},
      {"[ELServerID]=1 AND [logtypeid] IN ('1', 2)", "[ELServerID]=1 AND [logtypeid] IN (1, 2)"},
      {"ELServerID BETWEEN 1 AND 3", "ELServerID BETWEEN 1 AND 3"},
      {"ELServerID BETWEEN'1'AND'3'OR LogTypeID=2", "ELServerID BETWEEN 1 AND 3 OR LogTypeID=2"},
      {"ELServerID NOT BETWEEN '1' AND '3' AND LogTypeID=2",
       "ELServerID NOT BETWEEN 1 AND 3 AND LogTypeID=2"},
      {"(ELServerID BETWEEN LogTypeID AND 4) OR NOT LogTypeID NOT IN (7)",
       "(ELServerID BETWEEN LogTypeID AND 4) OR NOT LogTypeID NOT IN (7)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ServerLogTypeFilterText(c.text), c.runs) << c.text;
}

TEST(FilterLanguageTest, IdentifierListsAreIntegersOnlyAndOnlyEventIdsMayBeNegative) {
  EXPECT_TRUE(IsIdList("3,4"));
  EXPECT_TRUE(IsIdList(" 3 , 4 "));
  EXPECT_TRUE(IsIdList("100"));
  EXPECT_FALSE(IsIdList("-3"));
  EXPECT_TRUE(IsIdList("-3,100", IdSign::Any));
  for (const char* text : {"", "1) OR (1=1", "3,,4", "3,", ",3", "3;4", "3 4", "a", "3.5", "'3'",
                           "3) UNION SELECT ELUserName FROM ELUser --", "1--"}) {
    EXPECT_FALSE(IsIdList(text, IdSign::Any)) << text;
  }
}

TEST(FilterLanguageTest, SortColumnAndOrder) {
  EXPECT_TRUE(IsLogEntryColumn("TimeGenerated"));
  EXPECT_TRUE(IsLogEntryColumn("leid"));
  EXPECT_TRUE(IsLogEntryColumn("FullMessage"));
  for (const char* text :
       {"", "LEID; DELETE FROM LogEntry", "ELServerName", "TimeGenerated ", "1", "LogEntry.LEID"}) {
    EXPECT_FALSE(IsLogEntryColumn(text)) << text;
  }
  EXPECT_TRUE(IsSortOrder(""));
  EXPECT_TRUE(IsSortOrder("desc"));
  EXPECT_TRUE(IsSortOrder("ASC"));
  EXPECT_FALSE(IsSortOrder("DESC, 1"));
  EXPECT_FALSE(IsSortOrder("DESC LIMIT 1"));
}

TEST(FilterLanguageTest, SortColumnMayHaveBlanksAndBrackets) {
  for (const char* text : {"TimeGenerated", " TimeGenerated ", "[TimeGenerated]", " [leid]"}) {
    EXPECT_TRUE(IsSortColumn(text)) << text;
  }
  for (const char* text : {"[TimeGenerated", "[Foo]", "[]", "[[LEID]]", "Time Generated"}) {
    EXPECT_FALSE(IsSortColumn(text)) << text;
  }
  ReportFilter filter;
  filter.sortBy = " [TimeGenerated] ";
  filter.sortOrder = " desc ";
  EXPECT_EQ(CheckReportFilter(filter, FilterUse::KeyQuery), std::nullopt);
  EXPECT_EQ(filter.sortBy, "[TimeGenerated]");
  EXPECT_EQ(filter.sortOrder, "desc");
}

TEST(FilterLanguageTest, CheckNamesTheFirstRefusedAttributeInBuildingOrder) {
  ReportFilter filter;
  filter.sortBy = "TimeGenerated";
  filter.sortOrder = "DESC";
  EXPECT_EQ(CheckReportFilter(filter, FilterUse::KeyQuery), std::nullopt);

  ReportFilter bad = filter;
  bad.elSource = "1) OR (1=1";
  bad.eventCategory = "x";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), "ELSource");

  bad = filter;
  bad.sortBy = "LEID; DELETE FROM LogEntry";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), "SortBy");
  bad.sortBy.clear();
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), "SortBy");
  // Alert conditions use neither the sort nor the time range.
  bad.startDate = "garbage";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::Conditions), std::nullopt);

  bad = filter;
  bad.serverLogTypeFilter = "1=1; DROP TABLE LogEntry";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::Conditions), "ServerLogTypeFilter");
  bad = filter;
  bad.eventType = "4;";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::Conditions), "EventType");
  bad = filter;
  bad.eventId = "-1,x";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::Conditions), "EventID");
  bad = filter;
  bad.eventCategory = "0)";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::Conditions), "EventCategory");

  // Dates: EndDate is read only with a StartDate, may be empty, and both take the stored form.
  bad = filter;
  bad.endDate = "garbage";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), std::nullopt);
  bad.startDate = "1/1/2003";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), "EndDate");
  bad.endDate = "";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), std::nullopt);
  EXPECT_EQ(bad.startDate, "2003-01-01 00:00:00");
  EXPECT_EQ(bad.endDate, "");
  bad.startDate = "2003-01-01'";
  EXPECT_EQ(CheckReportFilter(bad, FilterUse::KeyQuery), "StartDate");
}

TEST(FilterLanguageTest, RefusalIsErrorFiveNamingTheAttribute) {
  try {
    RefuseArgument("ELSource");
    FAIL();
  } catch (const platform::com::ComError& error) {
    EXPECT_EQ(error.Number(), 5);
    EXPECT_EQ(error.Description(), "Invalid procedure call or argument: ELSource");
  }
}

TEST(ConditionBuilderTest, LeadInBeforeTheFirstConditionAndAndBeforeEachLaterOne) {
  ConditionBuilder where(" WHERE ");
  EXPECT_FALSE(where.HasConditions());
  where.Append("a");
  where.Append(" b");
  where.Append(" c");
  EXPECT_EQ(where.Text(), " WHERE a AND  b AND  c");

  ConditionBuilder none(" WHERE ");
  AppendFilterConditions(none, ReportFilter{}, TimeRange::Include);
  EXPECT_EQ(none.Text(), "");
}

TEST(ConditionBuilderTest, AlertConditionsWithAnEmptyLeadIn) {
  ReportFilter filter;
  filter.serverLogTypeFilter = "(ELServerID=1 AND LogTypeID IN(1,2))";
  filter.eventType = "1,2";
  filter.eventIdExclude = "exclude";
  filter.eventId = "100,101";
  filter.startDate = "2003-01-01";  // never part of alert conditions
  ConditionBuilder alert;
  AppendFilterConditions(alert, filter, TimeRange::Omit);
  EXPECT_EQ(alert.Text(),
            "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(1,2) AND  EventID NOT "
            "IN(100,101)");

  filter.serverLogTypeFilter.clear();
  ConditionBuilder leadingBlank;
  AppendFilterConditions(leadingBlank, filter, TimeRange::Omit);
  EXPECT_EQ(leadingBlank.Text(), " EventTypeID IN(1,2) AND  EventID NOT IN(100,101)");

  // The exclusion needs "exclude" exactly.
  filter.eventIdExclude = "Exclude";
  filter.eventType.clear();
  ConditionBuilder inclusion;
  AppendFilterConditions(inclusion, filter, TimeRange::Omit);
  EXPECT_EQ(inclusion.Text(), " EventID IN(100,101)");
}

}  // namespace
}  // namespace tamsel::reports::browse
