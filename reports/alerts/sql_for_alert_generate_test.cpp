// Tests of the alert SQL: the worked texts, the All rule, the identifier switch, document
// order, text already in `sql`, a report filter given directly, every failure code, the refusal
// of values outside the filter language, and AlertHdrSetStatus with its nested calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "reports/alerts/alert_query_parameters.h"
#include "reports/alerts/alerts_test_support.h"

namespace tamsel::reports::alerts {
namespace {

namespace com = platform::com;
using testing::AlertsTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ScopedProcedureBody;

std::string Input(const std::string& name, const std::string& value) {
  return "<INPUT name=\"" + name + "\" value=\"" + value + "\"/>";
}

const std::string kServers = Input("hServerLogTypeFilter", "(ELServerID=1 AND LogTypeID IN(1,2))");
const std::string kEventIds = Input("chk_EventID", "on") +
                              Input("radio_EventIDExclude", "exclude") +
                              Input("txtEventID", "100,101");
// The selection of the worked example.
const std::string kWorked = kServers + Input("hELSource", "All") + Input("hEventType", "1,2") +
                            kEventIds + Input("hEventCategory", "All");

class SqlForAlertGenerateTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
  }

  // Stores `metaData` as alert 5 (in two items, so the reading puts them together).
  void StoreAlert(const std::string& metaData) {
    env_.Exec("DELETE FROM AlertItem; DELETE FROM AlertHdr;");
    env_.Exec("INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc) VALUES (5, 3, 'a')");
    const std::size_t half = metaData.size() / 2;
    for (int item = 0; item < 2; ++item) {
      std::string piece = item == 0 ? metaData.substr(0, half) : metaData.substr(half);
      std::string quoted;
      for (char c : piece) quoted += c == '\'' ? std::string("''") : std::string(1, c);
      env_.Exec("INSERT INTO AlertItem VALUES (5, " + std::to_string(item) + ", '" + quoted + "')");
    }
  }

  // SqlForAlertGenerate for alert 5 from its stored metadata; `sql` in, result out.
  std::int32_t Generate(const std::string& metaData, Variant& sql, bool transactional = true) {
    StoreAlert(metaData);
    com::Arguments args{Variant("5"), sql, Variant("")};
    std::int32_t result = CallReports("SqlForAlertGenerate", args, transactional);
    sql = args[1].value;
    return result;
  }

  std::string SqlFor(const std::string& metaData) {
    Variant sql("");
    EXPECT_EQ(Generate(metaData, sql), 0) << metaData;
    return sql.CStr();
  }

  AlertsTestEnvironment env_{GetParam()};
};

TEST_P(SqlForAlertGenerateTest, WorkedAlertTexts) {
  EXPECT_EQ(QueryParametersXml(kWorked),
            "<QueryParameters ServerLogTypeFilter=\"(ELServerID=1 AND LogTypeID IN(1,2))\" "
            "EventType=\"1,2\" EventIDExclude=\"exclude\" EventID=\"100,101\"/>");
  EXPECT_EQ(SqlFor(kWorked),
            "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(1,2) AND  EventID NOT "
            "IN(100,101)");

  std::string withoutSwitch = kWorked;
  withoutSwitch.erase(withoutSwitch.find(Input("chk_EventID", "on")),
                      Input("chk_EventID", "on").size());
  EXPECT_EQ(SqlFor(withoutSwitch), "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(1,2)");

  std::string emptyServers = kWorked;
  emptyServers.replace(0, kServers.size(), Input("hServerLogTypeFilter", ""));
  EXPECT_EQ(SqlFor(emptyServers), " EventTypeID IN(1,2) AND  EventID NOT IN(100,101)");
}

TEST_P(SqlForAlertGenerateTest, AllMeansEveryItemOnlyWithThatCase) {
  EXPECT_EQ(SqlFor(kServers + Input("hELSource", "All") + Input("hEventCategory", "3,All")),
            "(ELServerID=1 AND LogTypeID IN(1,2))");
  EXPECT_EQ(SqlFor(kServers + Input("hELSource", "3,4") + Input("hEventType", "4") +
                   Input("hEventCategory", "7")),
            "(ELServerID=1 AND LogTypeID IN(1,2)) AND  ELSourceID IN(3,4) AND  EventTypeID "
            "IN(4) AND  EventCategoryID IN(7)");
  // A field without a value sets nothing.
  EXPECT_EQ(SqlFor(kServers + "<INPUT name=\"hELSource\"/>"),
            "(ELServerID=1 AND LogTypeID IN(1,2))");
  // "all" is passed on like any value, and then it is no list of identifiers: refused.
  Variant sql("kept");
  EXPECT_EQ(Generate(kServers + Input("hELSource", "all"), sql), 5);
  EXPECT_EQ(sql, Variant("kept"));
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.SqlForAlertGenerate error: lngRetVal=5; Err.Description= Invalid "
            "procedure call or argument: ELSource");
}

TEST_P(SqlForAlertGenerateTest, EventIdSwitchAndSense) {
  // The switch on without the radio: inclusion.
  EXPECT_EQ(QueryParametersXml(kServers + Input("chk_EventID", "") + Input("txtEventID", "100")),
            "<QueryParameters ServerLogTypeFilter=\"(ELServerID=1 AND LogTypeID IN(1,2))\" "
            "EventIDExclude=\"include\" EventID=\"100\"/>");
  EXPECT_EQ(SqlFor(kServers + Input("chk_EventID", "") + Input("txtEventID", "100")),
            "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventID IN(100)");
  // Only the exact lower-case "exclude" excludes.
  EXPECT_EQ(SqlFor(kServers + Input("chk_EventID", "on") +
                   Input("radio_EventIDExclude", "Exclude") + Input("txtEventID", "-1,7")),
            "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventID IN(-1,7)");
  // Identifiers without the switch are ignored.
  EXPECT_EQ(
      SqlFor(kServers + Input("radio_EventIDExclude", "exclude") + Input("txtEventID", "100")),
      "(ELServerID=1 AND LogTypeID IN(1,2))");
}

TEST_P(SqlForAlertGenerateTest, FirstFieldInDocumentOrderAndExactNamesCount) {
  const std::string metaData =
      "<form><fieldset><INPUT name=\"hEventType\" value=\"7\"/></fieldset>" + kServers +
      "</form><INPUT name=\"hEventType\" value=\"8\"/><INPUT name=\"heventcategory\" "
      "value=\"9\"/><input name=\"hEventCategory\" value=\"10\"/>"
      "<INPUT name=\"hServerLogTypeFilter\" value=\"ELServerID=2\"/>";
  EXPECT_EQ(SqlFor(metaData), "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(7)");
}

TEST_P(SqlForAlertGenerateTest, ConditionsFollowTextAlreadyInSql) {
  Variant sql("SELECT LEID FROM LogEntry WHERE");
  ASSERT_EQ(Generate(kWorked, sql), 0);
  EXPECT_EQ(sql, Variant("SELECT LEID FROM LogEntry WHERE(ELServerID=1 AND LogTypeID IN(1,2)) "
                         "AND  EventTypeID IN(1,2) AND  EventID NOT IN(100,101)"));
  EXPECT_THAT(env_.TraceTexts(), Contains("sql " + sql.CStr()));

  // Nothing applies: `sql` stays as it was and the call succeeds.
  sql = Variant("x");
  ASSERT_EQ(Generate(Input("hServerLogTypeFilter", "") + Input("hELSource", "All"), sql), 0);
  EXPECT_EQ(sql, Variant("x"));
  // Not even its type changes: a NULL stays NULL, and the trace shows no text.
  sql = Variant::Null();
  ASSERT_EQ(Generate(Input("hServerLogTypeFilter", "") + Input("hELSource", "All"), sql), 0);
  EXPECT_TRUE(sql.IsNull());
  EXPECT_THAT(env_.TraceTexts(), Contains("sql "));
}

TEST_P(SqlForAlertGenerateTest, AGivenReportFilterNeedsNeitherDatabaseNorTransaction) {
  env_.NewTraceTexts();
  com::Arguments args{Variant("not a number"), Variant(""),
                      Variant("<ReportFilter SortBy=\"TimeGenerated\" SortOrder=\"DESC\" "
                              "StartDate=\"2003-01-01\" EndDate=\"2003-01-31\" ELSource=\"3,4\" "
                              "EventID=\"100,101\" EventIDExclude=\"exclude\"/>")};
  ASSERT_EQ(CallReports("SqlForAlertGenerate", args, false), 0);
  EXPECT_EQ(args[1].value, Variant(" ELSourceID IN(3,4) AND  EventID NOT IN(100,101)"));
  // No connection, no transaction check: entry, the text, the outcome.
  EXPECT_THAT(env_.NewTraceTexts(),
              ElementsAre(">>>Reports.SqlForAlertGenerate",
                          "sql  ELSourceID IN(3,4) AND  EventID NOT IN(100,101)",
                          "Reports.SqlForAlertGenerate no errors - lngRetVal=0"));
}

TEST_P(SqlForAlertGenerateTest, OutsideATransactionTheNestedAlertHdrGetGivesMinus102) {
  Variant sql("");
  EXPECT_EQ(Generate(kWorked, sql, false), -102);
  EXPECT_EQ(sql, Variant(""));
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_THAT(texts, Contains("*** ->Reports.AlertHdrGet error: lngRetVal=-102; "
                              "Err.Description= This call requires transaction"));
  EXPECT_EQ(texts.back(),
            "*** ->Reports.SqlForAlertGenerate error: lngRetVal=-102; "
            "Err.Description= ");
}

TEST_P(SqlForAlertGenerateTest, EveryFailureLeavesSqlAsItWas) {
  struct Case {
    std::string alertHdrID;
    std::string metaData;  // stored as alert 5 (when no sXml is given)
    std::string sXml;
    std::int32_t code;
  };
  const Case cases[] = {
      {"abc", kWorked, "", 13},
      {"", kWorked, "", 13},
      {"5", kWorked + "<unclosed>", "", 91},
      {"5", Input("hEventType", "1"), "", 91},
      {"5", kServers + Input("chk_EventID", "on"), "", 91},
      {"5", "", "", 91},
      {"6", kWorked, "", 91},  // no such alert: no rows, no fields
      {"5", "<INPUT name=\"hServerLogTypeFilter\"/>", "", 94},
      {"x", "", "<QueryParameters", 91},
      // Values outside the filter language.
      {"5", Input("hServerLogTypeFilter", "1=1; DELETE FROM LogEntry"), "", 5},
      {"5", kServers + Input("chk_EventID", "") + Input("txtEventID", "1) OR (1=1"), "", 5},
      {"5", kServers + Input("hEventCategory", "7 --"), "", 5},
      {"x", "", "<Q ServerLogTypeFilter=\"FullMessage LIKE '%'\"/>", 5},
  };
  for (const Case& c : cases) {
    StoreAlert(c.metaData);
    com::Arguments args{Variant(c.alertHdrID), Variant("before"), Variant(c.sXml)};
    EXPECT_EQ(CallReports("SqlForAlertGenerate", args), c.code) << c.metaData << c.sXml;
    EXPECT_EQ(args[1].value, Variant("before"));
    EXPECT_THAT(env_.TraceTexts().back(),
                HasSubstr("*** ->Reports.SqlForAlertGenerate error: lngRetVal=" +
                          std::to_string(c.code) + "; Err.Description= "));
  }
  // The nested call's own failure is the result, with an empty description.
  ScopedProcedureBody failing("AlertHdrGet",
                              [](platform::data::ProcedureCall&, const auto&) { return 9; });
  com::Arguments args{Variant("5"), Variant(""), Variant("")};
  EXPECT_EQ(CallReports("SqlForAlertGenerate", args), 9);
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.SqlForAlertGenerate error: lngRetVal=9; Err.Description= ");
}

TEST_P(SqlForAlertGenerateTest, SetStatusTracesTheNestedCallsInOrderAndStoresTheSql) {
  StoreAlert(kWorked);
  env_.NewTraceTexts();
  com::Arguments args{Variant(5), Variant(std::int16_t{2})};
  ASSERT_EQ(CallReports("AlertHdrSetStatus", args), 0);

  const std::string sql =
      "(ELServerID=1 AND LogTypeID IN(1,2)) AND  EventTypeID IN(1,2) AND  EventID NOT "
      "IN(100,101)";
  const std::vector<std::string> open = {"Call function CommonMethods.DBConnectionOpen",
                                         "Call function CommonMethods.DBConnStringInit",
                                         "AppConfig path: " + env_.AppConfigFile().string(),
                                         "DataSource: " + env_.DataSource(),
                                         "InitialCatalog: TamselDB",
                                         "CommonMethods.DBConnStringInit no errors",
                                         "CommonMethods.DBConnectionOpen no errors"};
  const std::vector<std::string> close = {"Call function CommonMethods.DBConnectionClose",
                                          "CommonMethods.DBConnectionClose no errors"};
  std::vector<std::string> expected = {">>>Reports.AlertHdrSetStatus",
                                       ">>>Reports.SqlForAlertGenerate", ">>>Reports.AlertHdrGet"};
  expected.insert(expected.end(), open.begin(), open.end());
  expected.push_back("->Executing AlertHdrGet, 5");
  expected.insert(expected.end(), close.begin(), close.end());
  expected.push_back("Reports.AlertHdrGet no errors - lngRetVal=0");
  expected.push_back("sql " + sql);
  expected.push_back("Reports.SqlForAlertGenerate no errors - lngRetVal=0");
  expected.insert(expected.end(), open.begin(), open.end());
  expected.push_back("->Executing AlertHdrSetStatus, 5, " + sql + ", 2");
  expected.insert(expected.end(), close.begin(), close.end());
  expected.push_back("Reports.AlertHdrSetStatus no errors - lngRetVal=0");
  EXPECT_THAT(env_.NewTraceTexts(), ElementsAreArray(expected));
  EXPECT_THAT(env_.Rows("SELECT AlertSql, Status FROM AlertHdr"), ElementsAre(sql + "|2"));

  // No condition at all: the empty text is stored.
  StoreAlert(Input("hServerLogTypeFilter", "") + Input("hEventType", "All"));
  ASSERT_EQ(CallReports("AlertHdrSetStatus", args), 0);
  EXPECT_THAT(env_.Rows("SELECT AlertSql, Status FROM AlertHdr"), ElementsAre("|2"));
}

TEST_P(SqlForAlertGenerateTest, SetStatusStoresNothingWhenTheSqlCannotBeMade) {
  StoreAlert(kServers + Input("hEventType", "1); DROP TABLE AlertHdr; --"));
  env_.NewTraceTexts();
  com::Arguments args{Variant(5), Variant(std::int16_t{1})};
  EXPECT_EQ(CallReports("AlertHdrSetStatus", args), 5);
  EXPECT_THAT(env_.Rows("SELECT AlertSql, Status FROM AlertHdr"), ElementsAre("NULL|0"));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Not(Contains(HasSubstr("->Executing AlertHdrSetStatus"))));
  EXPECT_EQ(texts.back(), "*** ->Reports.AlertHdrSetStatus error: lngRetVal=5; Err.Description= ");

  // An id that is no number fails in SqlForAlertGenerate with 13; no connection is opened.
  args = {Variant("five"), Variant(std::int16_t{1})};
  EXPECT_EQ(CallReports("AlertHdrSetStatus", args), 13);
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Not(Contains("Call function CommonMethods.DBConnectionOpen")));
  EXPECT_EQ(texts.back(), "*** ->Reports.AlertHdrSetStatus error: lngRetVal=13; Err.Description= ");

  // Outside a transaction the method's own check stops it before anything nested runs.
  args = {Variant(5), Variant(std::int16_t{1})};
  EXPECT_EQ(CallReports("AlertHdrSetStatus", args, false), -102);
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Not(Contains(">>>Reports.SqlForAlertGenerate")));
  EXPECT_THAT(env_.Rows("SELECT AlertSql, Status FROM AlertHdr"), ElementsAre("NULL|0"));
}

TAMSEL_ON_BOTH_ENGINES(SqlForAlertGenerateTest);

}  // namespace
}  // namespace tamsel::reports::alerts
