// Tests of Reports.SqlQueryGenerate and Reports.TextSqlMake through the public interface: the
// worked examples exact, the edge cases of the filter, refusals of unsafe values, trace lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/com/com_error.h"
#include "reports/browse/browse_test_support.h"
#include "reports/core/common_methods.h"

namespace tamsel::reports::browse {
namespace {

namespace com = platform::com;
using testing::BrowseTestEnvironment;
using testing::CallReports;
using ::testing::ElementsAre;

constexpr const char* kWorkedKeyQuery =
    "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01' AND "
    "'2003-01-31' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) ORDER BY TimeGenerated "
    "DESC";

// The worked example as generated: its date bounds take the stored form, so a bound at
// midnight compares with the stored text as the date it names.
constexpr const char* kWorkedKeyQueryStored =
    "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01 00:00:00' "
    "AND '2003-01-31 00:00:00' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) ORDER BY "
    "TimeGenerated DESC";

class QueryGenerationTest : public ::testing::Test {
 protected:
  // SqlQueryGenerate outside any transaction (it needs none); returns lngRetVal.
  std::int32_t Generate(const std::string& filterXml, com::Variant& sql) {
    com::Arguments args{com::Variant(filterXml), sql};
    std::int32_t code = CallReports("SqlQueryGenerate", args, false).CLng();
    sql = args[1].value;
    return code;
  }
  std::string Generated(const std::string& attributes) {
    com::Variant sql;
    EXPECT_EQ(Generate("<ReportFilter " + attributes + "/>", sql), 0) << attributes;
    return sql.IsEmpty() ? std::string() : sql.CStr();
  }

  BrowseTestEnvironment env_;
};

TEST_F(QueryGenerationTest, WorkedExamplesGiveTheirKeyQueriesAndTrace) {
  EXPECT_EQ(Generated("SortBy=\"TimeGenerated\" SortOrder=\"DESC\" StartDate=\"2003-01-01\" "
                      "EndDate=\"2003-01-31\" ELSource=\"3,4\" EventID=\"100,101\" "
                      "EventIDExclude=\"exclude\""),
            kWorkedKeyQueryStored);
  EXPECT_THAT(
      env_.NewTraceTexts(),
      ElementsAre(">>>Reports.SqlQueryGenerate", std::string("sql ") + kWorkedKeyQueryStored,
                  "Reports.SqlQueryGenerate no errors - lngRetVal=0"));
  EXPECT_TRUE(CommonMethods::State().sLogFileName.empty());

  EXPECT_EQ(Generated("SortBy=\"TimeGenerated\" SortOrder=\"DESC\""),
            "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC");
}

TEST_F(QueryGenerationTest, FilterEdgeCases) {
  // Only the server-and-log fragment: one blank after WHERE.
  EXPECT_EQ(
      Generated("SortBy=\"LEID\" ServerLogTypeFilter=\"(ELServerID=1 AND LogTypeID IN(1,2))\""),
      "SELECT LEID,LEID FROM LogEntry WHERE (ELServerID=1 AND LogTypeID IN(1,2)) ORDER BY "
      "LEID ");
  // The exclusion needs "exclude" exactly; EventIDExclude alone adds nothing.
  EXPECT_EQ(Generated("SortBy=\"EventID\" EventID=\"7\" EventIDExclude=\"Exclude\""),
            "SELECT LEID,EventID FROM LogEntry WHERE  EventID IN(7) ORDER BY EventID ");
  EXPECT_EQ(Generated("SortBy=\"EventID\" EventIDExclude=\"exclude\""),
            "SELECT LEID,EventID FROM LogEntry ORDER BY EventID ");
  // StartDate alone: an empty second literal; EndDate alone: nothing.
  EXPECT_EQ(Generated("SortBy=\"TimeGenerated\" StartDate=\"2003-01-01\""),
            "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01 "
            "00:00:00' AND '' ORDER BY TimeGenerated ");
  EXPECT_EQ(Generated("SortBy=\"TimeGenerated\" EndDate=\"2003-01-01\""),
            "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated ");
  // Conditions in their fixed order whatever the attribute order; empty values set nothing.
  EXPECT_EQ(Generated("EventCategory=\"5\" EventID=\"-1\" EventType=\"1,2\" ELSource=\"\" "
                      "ServerLogTypeFilter=\"ELServerID=2\" SortBy=\"LEID\" SortOrder=\"ASC\""),
            "SELECT LEID,LEID FROM LogEntry WHERE ELServerID=2 AND  EventTypeID IN(1,2) AND  "
            "EventID IN(-1) AND  EventCategoryID IN(5) ORDER BY LEID ASC");
  // A date in the regional form takes the stored form, so it compares as a date.
  EXPECT_EQ(Generated("SortBy=\"TimeGenerated\" StartDate=\"1/1/2003\" "
                      "EndDate=\"1/31/2003 11:59:59 PM\""),
            "SELECT LEID,TimeGenerated FROM LogEntry WHERE  TimeGenerated BETWEEN '2003-01-01 "
            "00:00:00' AND '2003-01-31 23:59:59' ORDER BY TimeGenerated ");
  // Forms the database accepts: blanks around the sort, a bracketed column, quoted integers.
  EXPECT_EQ(Generated("SortBy=\" [TimeGenerated] \" SortOrder=\" desc\" "
                      "ServerLogTypeFilter=\"ELServerID BETWEEN '1' AND 2\" "
                      "StartDate=\"Jan 1 2003\" EndDate=\"2003-01-31T12:00:00\""),
            "SELECT LEID,[TimeGenerated] FROM LogEntry WHERE ELServerID BETWEEN 1 AND 2 AND  "
            "TimeGenerated BETWEEN '2003-01-01 00:00:00' AND '2003-01-31 12:00:00' ORDER BY "
            "[TimeGenerated] desc");
}

TEST_F(QueryGenerationTest, FilterThatIsNotXmlFailsWith91) {
  com::Variant sql("before");
  EXPECT_EQ(Generate("<ReportFilter SortBy=", sql), 91);
  // The unfinished text: the query had been begun when the first attribute read failed.
  EXPECT_EQ(sql.CStr(), "SELECT LEID,");
  EXPECT_THAT(env_.NewTraceTexts(),
              ElementsAre(">>>Reports.SqlQueryGenerate",
                          "*** ->Reports.SqlQueryGenerate error: lngRetVal=91; Err.Description= "
                          "Object variable or With block variable not set"));
  EXPECT_TRUE(CommonMethods::State().sLogFileName.empty());
}

TEST_F(QueryGenerationTest, UnsafeValuesAreRefusedWithFiveNamingTheAttribute) {
  struct Case {
    std::string attributes;
    std::string attribute;
  };
  const std::vector<Case> cases = {
      {"SortBy=\"LEID\" ELSource=\"1) OR (1=1\"", "ELSource"},
      {"SortBy=\"LEID\" ServerLogTypeFilter=\"1=1; DROP TABLE LogEntry\"", "ServerLogTypeFilter"},
      {"SortBy=\"LEID; DELETE FROM LogEntry\"", "SortBy"},
      {"SortOrder=\"DESC\"", "SortBy"},
      {"SortBy=\"LEID\" SortOrder=\"DESC; DELETE FROM LogEntry\"", "SortOrder"},
      {"SortBy=\"LEID\" StartDate=\"2003-01-01' OR '1'='1\"", "StartDate"},
      {"SortBy=\"LEID\" StartDate=\"2003-01-01\" EndDate=\"x' --\"", "EndDate"},
      {"SortBy=\"LEID\" EventType=\"4 UNION SELECT 1\"", "EventType"},
      {"SortBy=\"LEID\" EventID=\"1,)\"", "EventID"},
      {"SortBy=\"LEID\" EventCategory=\"0) OR (1=1\"", "EventCategory"},
  };
  for (const Case& c : cases) {
    com::Variant sql("before");
    EXPECT_EQ(Generate("<F " + c.attributes + "/>", sql), 5) << c.attributes;
    EXPECT_EQ(sql.CStr(), "SELECT LEID,");
    EXPECT_THAT(env_.NewTraceTexts(),
                ElementsAre(">>>Reports.SqlQueryGenerate",
                            "*** ->Reports.SqlQueryGenerate error: lngRetVal=5; "
                            "Err.Description= Invalid procedure call or argument: " +
                                c.attribute));
  }
}

TEST_F(QueryGenerationTest, FullTextQueryOfTheWorkedExample) {
  com::Arguments args{com::Variant(kWorkedKeyQuery)};
  const std::string text = CallReports("TextSqlMake", args).CStr();
  EXPECT_EQ(
      text,
      "SELECT\\n\\tle.LEID\\n\\t,s.ELServerName\\n\\t,lt.LogTypeName\\n\\t,le.RecordNumber\\n\\t,"
      "le.TimeGenerated\\n\\t,le.EventID\\n\\t,et.EventTypeCode\\n\\t,et.EventTypeName\\n\\t,ec."
      "EventCategoryID\\n\\t,ec.EventCategoryName\\n\\t,elu.ELUserName\\n\\t,els.ELSourceName\\n\\t"
      ",le.FullMessage\\n\\t,le.CreatedAt\\nFROM\\n"
      "\\t(SELECT LEID FROM LogEntry WHERE  TimeGenerated BETWEEN \\'2003-01-01\\' AND "
      "\\'2003-01-31\\' AND  ELSourceID IN(3,4) AND  EventID NOT IN(100,101) )d "
      "\\n\\t,LogEntry le\\n\\t,ELServer s\\n\\t,LogType lt\\n\\t,EventType et\\n\\t,EventCategory "
      "ec\\n\\t,ELUser elu\\n\\t,ELSource els "
      "\\nWHERE\\n\\tle.LEID = d.LEID\\n\\tAND le.ELServerID = s.ELServerID\\n\\tAND le.LogTypeID "
      "= lt.LogTypeID\\n\\tAND le.EventTypeID = et.EventTypeID\\n\\tAND le.EventCategoryID = "
      "ec.EventCategoryID\\n\\tAND le.ELUserID = elu.ELUserID\\n\\tAND le.ELSourceID = "
      "els.ELSourceID "
      "\\nORDER BY\\n\\tle.TimeGenerated DESC");
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.find('\t'), std::string::npos);
  // TextSqlMake traces nothing.
  EXPECT_TRUE(env_.NewTraceTexts().empty());
}

TEST_F(QueryGenerationTest, FullTextQueryRefusesWhatIsNotAKeyQuery) {
  for (const char* sql :
       {"SELECT LEID,TimeGenerated FROM LogEntry", "no query at all",
        "SELECT LEID,TimeGenerated FROM LogEntry WHERE ELServerID=1 ORDER BY TimeGenerated \\' + "
        "alert(1) + \\'"}) {
    com::Arguments args{com::Variant(sql)};
    try {
      CallReports("TextSqlMake", args);
      ADD_FAILURE() << sql;
    } catch (const com::ComError& error) {
      EXPECT_EQ(error.Number() & 0xFFFF, 5) << sql;
    }
  }
}

}  // namespace
}  // namespace tamsel::reports::browse
