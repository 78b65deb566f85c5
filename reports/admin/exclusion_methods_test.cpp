// Tests of Reports' event exclusion methods through the public interface: the grid grouped by
// change of server key, and submissions with all removals before all additions in one
// transaction, as the collector's exclusion check then sees them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/admin_procedures.h"
#include "database/engine_test_support.h"
#include "reports/admin/admin_test_support.h"

namespace tamsel::reports::admin {
namespace {

namespace com = platform::com;
using testing::AdminTestEnvironment;
using testing::Call;
using testing::CallWithDocument;
using testing::CollectorView;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::ScopedProcedureBody;

class ExclusionMethodsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
    env_.Exec("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (3, 'SRV03'), (5, 'SRV05')");
    env_.NewTraceTexts();
  }
  std::int32_t Grid(std::string* grid) {
    return CallWithDocument("Reports.EventExclusionGridXmlGet", "untouched", grid);
  }
  std::int32_t Submit(const std::string& removals, const std::string& additions) {
    com::Arguments args{Variant(removals), Variant(additions)};
    std::int32_t result = Call("Reports.ExclusionListSubmit", args);
    EXPECT_EQ(args[1].value.CStr(), additions);  // read only
    return result;
  }
  static std::string Pairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string xml = "<LIST>";
    for (const auto& [server, type] : pairs) {
      xml += "<NODE ServerID=\"" + server + "\" EventTypeID=\"" + type + "\"/>";
    }
    return xml + "</LIST>";
  }
  std::vector<std::string> Exclusions() {
    return env_.Rows("SELECT ELServerID || ',' || EventTypeID FROM EventExclusion ORDER BY 1");
  }
  std::vector<std::string> ExecutingLines() {
    std::vector<std::string> lines;
    for (const std::string& text : env_.NewTraceTexts()) {
      if (text.rfind("->Executing ", 0) == 0) lines.push_back(text);
    }
    return lines;
  }

  AdminTestEnvironment env_{GetParam()};
};

TEST_P(ExclusionMethodsTest, GridIsEveryServerAgainstEveryTypeWithItsMarks) {
  env_.Exec("DELETE FROM EventType WHERE EventTypeID NOT IN (1, 2, 4)");
  env_.Exec("INSERT INTO EventExclusion VALUES (5, 2)");
  std::string grid;
  ASSERT_EQ(Grid(&grid), 0);
  EXPECT_EQ(grid,
            "<ROOT><SERVER ServerName=\"SRV03\" ServerID=\"3\">"
            "<EVENTTYPE EventTypeID=\"1\" EventTypeName=\"Error\" IsChecked=\"0\"/>"
            "<EVENTTYPE EventTypeID=\"2\" EventTypeName=\"Warning\" IsChecked=\"0\"/>"
            "<EVENTTYPE EventTypeID=\"4\" EventTypeName=\"Information\" IsChecked=\"0\"/>"
            "</SERVER><SERVER ServerName=\"SRV05\" ServerID=\"5\">"
            "<EVENTTYPE EventTypeID=\"1\" EventTypeName=\"Error\" IsChecked=\"0\"/>"
            "<EVENTTYPE EventTypeID=\"2\" EventTypeName=\"Warning\" IsChecked=\"1\"/>"
            "<EVENTTYPE EventTypeID=\"4\" EventTypeName=\"Information\" IsChecked=\"0\"/>"
            "</SERVER></ROOT>");
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing EventExclusionGridGet"));
  EXPECT_THAT(texts, Contains("sXmlExclusionGrid " + grid));
  EXPECT_EQ(texts.back(), "Reports.EventExclusionGridXmlGet no errors - lngRetVal=0");

  // No event types, then no servers: the bare root.
  env_.Exec("DELETE FROM EventExclusion");
  env_.Exec("DELETE FROM EventType");
  ASSERT_EQ(Grid(&grid), 0);
  EXPECT_EQ(grid, "<ROOT/>");
  env_.Exec("INSERT INTO EventType VALUES (1, 'E', 'Error')");
  env_.Exec("DELETE FROM ELServer");
  ASSERT_EQ(Grid(&grid), 0);
  EXPECT_EQ(grid, "<ROOT/>");
}

TEST_P(ExclusionMethodsTest, GridGroupsByChangeOfKeyAndRefusesKeysBeyondSixteenBits) {
  // Rows of one server split into two runs give two SERVER elements.
  {
    ScopedProcedureBody byType("EventExclusionGridGet", [](auto& call, auto&) {
      call.SelectRows(
          "SELECT s.ELServerID, s.ELServerName, t.EventTypeID, t.EventTypeName, 0 AS IsChecked "
          "FROM ELServer s CROSS JOIN EventType t WHERE t.EventTypeID IN (1, 2) "
          "ORDER BY t.EventTypeID, s.ELServerID");
      return 0;
    });
    std::string grid;
    ASSERT_EQ(Grid(&grid), 0);
    EXPECT_EQ(grid,
              "<ROOT><SERVER ServerName=\"SRV03\" ServerID=\"3\"><EVENTTYPE EventTypeID=\"1\" "
              "EventTypeName=\"Error\" IsChecked=\"0\"/></SERVER>"
              "<SERVER ServerName=\"SRV05\" ServerID=\"5\"><EVENTTYPE EventTypeID=\"1\" "
              "EventTypeName=\"Error\" IsChecked=\"0\"/></SERVER>"
              "<SERVER ServerName=\"SRV03\" ServerID=\"3\"><EVENTTYPE EventTypeID=\"2\" "
              "EventTypeName=\"Warning\" IsChecked=\"0\"/></SERVER>"
              "<SERVER ServerName=\"SRV05\" ServerID=\"5\"><EVENTTYPE EventTypeID=\"2\" "
              "EventTypeName=\"Warning\" IsChecked=\"0\"/></SERVER></ROOT>");
  }
  // A key that is no number (13), a NULL name (94).
  for (const auto& [select, code] :
       {std::pair<std::string, std::int32_t>{"'x' AS ELServerID, 'S'", 13},
        std::pair<std::string, std::int32_t>{"3 AS ELServerID, NULL", 94}}) {
    ScopedProcedureBody odd("EventExclusionGridGet", [select = select](auto& call, auto&) {
      call.SelectRows("SELECT " + select +
                      " AS ELServerName, 1 AS EventTypeID, 'Error' AS EventTypeName, "
                      "0 AS IsChecked");
      return 0;
    });
    std::string grid;
    EXPECT_EQ(Grid(&grid), code);
    EXPECT_EQ(grid, "untouched");
  }
  // A key above 32767 overflows the 16-bit read (6); the answer is left as it was.
  env_.Exec("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (40000, 'BIG')");
  std::string grid;
  EXPECT_EQ(Grid(&grid), 6);
  EXPECT_EQ(grid, "untouched");
  EXPECT_EQ(env_.NewTraceTexts().back().rfind(
                "*** ->Reports.EventExclusionGridXmlGet error: lngRetVal=6; ", 0),
            0u);
}

TEST_P(ExclusionMethodsTest, TwoEmptyDocumentsRunNoProcedureAndSucceed) {
  EXPECT_EQ(Submit("<DEL/>", "<INS><OTHER ServerID=\"3\" EventTypeID=\"2\"/></INS>"), 0);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.ExclusionListSubmit");
  EXPECT_EQ(texts.back(), "Reports.ExclusionListSubmit no errors - lngRetVal=0");
  EXPECT_THAT(texts, ::testing::Not(Contains(HasSubstr("->Executing"))));
  EXPECT_THAT(Exclusions(), IsEmpty());
}

TEST_P(ExclusionMethodsTest, RemovalsRunBeforeAdditionsAndTheCollectorSeesTheResult) {
  env_.Exec("INSERT INTO EventExclusion VALUES (3, 1), (5, 4)");
  ASSERT_EQ(Submit(Pairs({{"3", "2"}, {"3", "1"}, {"5", "16"}}),
                   Pairs({{"3", "2"}, {"5", "4"}, {"5", "8"}})),
            0);
  // (3,2) listed in both ends up present; removing the absent (5,16) and adding the present
  // (5,4) change nothing.
  EXPECT_THAT(Exclusions(), ElementsAre("3,2", "5,4", "5,8"));
  EXPECT_THAT(ExecutingLines(), ElementsAre("->Executing EventExclusionDelete, 3, 2",
                                            "->Executing EventExclusionDelete, 3, 1",
                                            "->Executing EventExclusionDelete, 5, 16",
                                            "->Executing EventExclusionInsert, 3, 2",
                                            "->Executing EventExclusionInsert, 5, 4",
                                            "->Executing EventExclusionInsert, 5, 8"));

  // What the collector asks of each record it reads.
  CollectorView collector(env_.DataSource(), env_.Catalog());
  EXPECT_EQ(collector.ExclusionCheck(3, 2), 1);
  EXPECT_EQ(collector.ExclusionCheck(3, 1), 0);
  EXPECT_EQ(collector.ExclusionCheck(5, 8), 1);
  EXPECT_EQ(collector.ExclusionCheck(5, 2), 0);
}

TEST_P(ExclusionMethodsTest, AFailureOnTheThirdInsertUndoesTheWholeCall) {
  env_.Exec("INSERT INTO EventExclusion VALUES (3, 1)");
  EXPECT_EQ(Submit(Pairs({{"3", "1"}}), Pairs({{"3", "2"}, {"5", "2"}, {"9", "2"}, {"5", "4"}})),
            db::kServerNotFound);
  EXPECT_THAT(Exclusions(), ElementsAre("3,1"));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_EQ(texts.back(),
            "*** ->Reports.ExclusionListSubmit error: lngRetVal=22; Err.Description= ");
  // The fourth pair is never tried.
  EXPECT_THAT(texts, ::testing::Not(Contains("->Executing EventExclusionInsert, 5, 4")));
  EXPECT_THAT(texts, Contains("->Executing EventExclusionInsert, 9, 2"));

  EXPECT_EQ(Submit("<L/>", Pairs({{"3", "99"}})), db::kEventTypeNotFound);
  EXPECT_EQ(Submit("<L/>", "<L><NODE ServerID=\"3\"/></L>"), db::kPairIncomplete);
  EXPECT_EQ(Submit("<L><NODE EventTypeID=\"1\"/></L>", "<L/>"), db::kPairIncomplete);
  EXPECT_THAT(Exclusions(), ElementsAre("3,1"));
}

TEST_P(ExclusionMethodsTest, EitherInputThatIsNoDocumentFailsWithNinetyOne) {
  env_.Exec("INSERT INTO EventExclusion VALUES (3, 1)");
  EXPECT_EQ(Submit("", "<L/>"), 91);
  // The removals ran before the additions failed to load; the abort takes them back.
  EXPECT_EQ(Submit(Pairs({{"3", "1"}}), "<L>"), 91);
  EXPECT_THAT(ExecutingLines(), ElementsAre("->Executing EventExclusionDelete, 3, 1"));
  EXPECT_THAT(Exclusions(), ElementsAre("3,1"));
}

TAMSEL_ON_BOTH_ENGINES(ExclusionMethodsTest);

}  // namespace
}  // namespace tamsel::reports::admin
