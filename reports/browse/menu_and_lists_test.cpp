// Tests of Reports.MenuXmlGet, Reports.TwoFieldListFromDBGet and the four lookup lists through
// the public interface: the menu tree, the lists of the catalog, failure codes, and names and
// fragments that are refused before anything runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/provider_error.h"
#include "reports/browse/browse_test_support.h"

namespace tamsel::reports::browse {
namespace {

namespace com = platform::com;
namespace data = platform::data;
using testing::BrowseTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;

constexpr const char* kRoot =
    "<NODE DisplayText=\"All Servers\" ID=\"00\" ParentID=\"null\" ServerID=\"0\" "
    "LogTypeID=\"0\" IconOpened=\"Images/NetOpened_icon.gif\" "
    "IconClosed=\"Images/NetClosed_icon.gif\"";

std::string ServerNode(const std::string& name, const std::string& id) {
  return "<NODE DisplayText=\"" + name + "\" ServerID=\"" + id + "\" LogTypeID=\"0\" ID=\"" + id +
         "0\" ParentID=\"00\" IconOpened=\"images/ServerOpened_icon.gif\" "
         "IconClosed=\"images/ServerClosed_icon.gif\">";
}
std::string LogNode(const std::string& name, const std::string& server, const std::string& log) {
  return "<NODE DisplayText=\"" + name + "\" ServerID=\"" + server + "\" LogTypeID=\"" + log +
         "\" ID=\"" + server + log + "\" ParentID=\"" + server +
         "0\" IconOpened=\"images/LogOpened_icon.gif\" IconClosed=\"images/LogClosed_icon.gif\"/>";
}

class MenuAndListsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
    saved_ = *data::ProcedureCatalog::Global().Find("MenuServerListGet");
  }
  void TearDown() override { data::ProcedureCatalog::Global().Register(saved_); }

  void AddServerLogs() {
    env_.Exec(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV1'), (2, 'SRV2'), "
        "(12, 'SRV12');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application'), (2, 'System'),"
        " (20, 'Security');"
        "INSERT INTO ELServerLogType VALUES (1, 1), (1, 2), (2, 1);"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (3, 'Srv'), (4, 'Disk');");
  }

  // Calls a method whose last argument receives the XML; returns lngRetVal.
  std::int32_t Call(const std::string& method, com::Arguments args, com::Variant& out,
                    bool transactional = true) {
    std::int32_t code = CallReports(method, args, transactional).CLng();
    out = args.back().value;
    return code;
  }

  // Replaces MenuServerListGet by one returning fixed rows.
  void MenuRows(data::Rowset rows) {
    data::ProcedureCatalog::Global().Register(
        {"MenuServerListGet", {}, [rows](data::ProcedureCall& call) {
           call.SetRows(rows);
           return 0;
         }});
  }

  BrowseTestEnvironment env_{GetParam()};
  data::ProcedureDefinition saved_;
};

TEST_P(MenuAndListsTest, MenuTreeOfTheWorkedExample) {
  AddServerLogs();
  com::Variant tree;
  ASSERT_EQ(Call("MenuXmlGet", {com::Variant()}, tree), 0);
  EXPECT_EQ(tree.CStr(), std::string(kRoot) + ">" + ServerNode("SRV1", "1") +
                             LogNode("Application", "1", "1") + LogNode("System", "1", "2") +
                             "</NODE>" + ServerNode("SRV2", "2") +
                             LogNode("Application", "2", "1") + "</NODE></NODE>");
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.MenuXmlGet");
  EXPECT_THAT(texts, Contains("->Executing MenuServerListGet"));
  EXPECT_THAT(texts, Contains("sXmlMenuTree " + tree.CStr()));
  EXPECT_EQ(texts.back(), "Reports.MenuXmlGet no errors - lngRetVal=0");
}

TEST_P(MenuAndListsTest, MenuWithoutRowsAndWithJoinedIdentifiersThatCollide) {
  com::Variant tree;
  ASSERT_EQ(Call("MenuXmlGet", {com::Variant()}, tree), 0);
  EXPECT_EQ(tree.CStr(), std::string(kRoot) + "/>");

  AddServerLogs();
  env_.Exec("INSERT INTO ELServerLogType VALUES (12, 2)");
  env_.Exec("UPDATE ELServerLogType SET LogTypeID = 20 WHERE ELServerID = 1 AND LogTypeID = 2");
  ASSERT_EQ(Call("MenuXmlGet", {com::Variant()}, tree), 0);
  // Server 12 and log 20 of server 1 both have ID "120"; both nodes are made.
  EXPECT_THAT(tree.CStr(), ::testing::HasSubstr(LogNode("Security", "1", "20")));
  EXPECT_THAT(tree.CStr(), ::testing::HasSubstr(ServerNode("SRV12", "12")));
}

TEST_P(MenuAndListsTest, MenuFailureCodes) {
  AddServerLogs();
  env_.Exec(
      "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (40000, 'BIG');"
      "INSERT INTO ELServerLogType VALUES (40000, 1)");
  com::Variant tree("kept");
  EXPECT_EQ(Call("MenuXmlGet", {tree}, tree), 6);
  EXPECT_EQ(tree.CStr(), "kept");
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.MenuXmlGet error: lngRetVal=6; Err.Description= Overflow");

  MenuRows(
      {{"ELServerID", "ELServerName", "LogTypeName", "LogTypeID"},
       {{com::Variant(1), com::Variant::Null(), com::Variant("Application"), com::Variant(1)}}});
  EXPECT_EQ(Call("MenuXmlGet", {tree}, tree), 94);
  MenuRows({{"ELServerID", "ELServerName", "LogTypeName", "LogTypeID"},
            {{com::Variant(0), com::Variant("X"), com::Variant("Application"), com::Variant(1)}}});
  EXPECT_EQ(Call("MenuXmlGet", {tree}, tree), 91);
  EXPECT_EQ(Call("MenuXmlGet", {tree}, tree, false), -102);
  data::ProcedureCatalog::Global().Register(
      {"MenuServerListGet", {}, [](data::ProcedureCall&) { return 7; }});
  EXPECT_EQ(Call("MenuXmlGet", {tree}, tree), 7);
  EXPECT_EQ(tree.CStr(), "kept");
}

TEST_P(MenuAndListsTest, TwoFieldListsOfTheCatalog) {
  AddServerLogs();
  struct Case {
    const char* procedure;
    std::string rows;
  };
  const std::vector<Case> cases = {
      {"ELServerNameListGet",
       "<NODE Field0=\"1\" Field1=\"SRV1\"/><NODE Field0=\"12\" Field1=\"SRV12\"/>"
       "<NODE Field0=\"2\" Field1=\"SRV2\"/>"},
      {"LogTypeNameListGet",
       "<NODE Field0=\"1\" Field1=\"Application\"/><NODE Field0=\"20\" Field1=\"Security\"/>"
       "<NODE Field0=\"2\" Field1=\"System\"/>"},
      {"ELSourceNameListGet",
       "<NODE Field0=\"4\" Field1=\"Disk\"/><NODE Field0=\"3\" Field1=\"Srv\"/>"},
      {"EventTypeNameListGet",
       "<NODE Field0=\"1\" Field1=\"Error\"/><NODE Field0=\"16\" Field1=\"Failure Audit\"/>"
       "<NODE Field0=\"4\" Field1=\"Information\"/><NODE Field0=\"0\" Field1=\"Success\"/>"
       "<NODE Field0=\"8\" Field1=\"Success Audit\"/><NODE Field0=\"2\" Field1=\"Warning\"/>"},
      {"EventCategoryNameListGet", "<NODE Field0=\"1\" Field1=\"\"/>"},
      {"AppRoleNameListGet",
       "<NODE Field0=\"1\" Field1=\"Administrator\"/><NODE Field0=\"2\" Field1=\"User\"/>"},
  };
  for (const Case& c : cases) {
    com::Variant list;
    ASSERT_EQ(Call("TwoFieldListFromDBGet", {com::Variant(c.procedure), com::Variant()}, list), 0)
        << c.procedure;
    EXPECT_EQ(list.CStr(), "<ROOT>" + c.rows + "</ROOT>");
    EXPECT_THAT(env_.TraceTexts(), Contains(std::string("->Executing ") + c.procedure));
    EXPECT_TRUE(data::ProcedureCatalog::Global().Find(c.procedure)->twoFieldList);
  }
  env_.Exec("DELETE FROM AppRole");
  com::Variant empty;
  ASSERT_EQ(Call("TwoFieldListFromDBGet", {com::Variant("AppRoleNameListGet"), empty}, empty), 0);
  EXPECT_EQ(empty.CStr(), "<ROOT/>");
}

// The database resolves a procedure named with its owner, in brackets or with blanks around.
TEST_P(MenuAndListsTest, TwoFieldListNamesInTheFormsTheDatabaseResolves) {
  for (const char* name : {"dbo.AppRoleNameListGet", "[dbo].[AppRoleNameListGet]",
                           "DBO.AppRoleNameListGet", " [AppRoleNameListGet] "}) {
    com::Variant list;
    env_.NewTraceTexts();
    ASSERT_EQ(Call("TwoFieldListFromDBGet", {com::Variant(name), com::Variant()}, list), 0) << name;
    EXPECT_EQ(list.CStr(),
              "<ROOT><NODE Field0=\"1\" Field1=\"Administrator\"/>"
              "<NODE Field0=\"2\" Field1=\"User\"/></ROOT>");
    EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing AppRoleNameListGet"));
  }
  // The server-and-log fragment runs with its quoted integers bare.
  AddServerLogs();
  com::Variant list;
  ASSERT_EQ(Call("ServerLogTypeFilterListGet",
                 {com::Variant("[ELServerID]='1' AND LogTypeID BETWEEN 1 AND '2'"), list}, list),
            0);
  EXPECT_EQ(
      list.CStr(),
      "<SERVERLOGTYPEFILTERLIST><SERVERLOGTYPE ServerName=\"SRV1\" LogTypeName=\"Application\"/>"
      "<SERVERLOGTYPE ServerName=\"SRV1\" LogTypeName=\"System\"/></SERVERLOGTYPEFILTERLIST>");
}

TEST_P(MenuAndListsTest, TwoFieldListRefusesProceduresThatAreNotListsAndReportsProviderErrors) {
  for (const char* name :
       {"AppUserListGet", "SavedReportDelete", "MenuServerListGet", "NoSuchProcedure",
        "ELServerNameListGet; DROP TABLE LogEntry", "sys.ELServerNameListGet", "dbo.AppUserListGet",
        "dbo..ELServerNameListGet", "[ELServerNameListGet", "dbo.", ""}) {
    com::Variant list("kept");
    env_.NewTraceTexts();
    EXPECT_EQ(Call("TwoFieldListFromDBGet", {com::Variant(name), list}, list), 5) << name;
    EXPECT_EQ(list.CStr(), "kept");
    std::vector<std::string> texts = env_.NewTraceTexts();
    EXPECT_THAT(texts, Not(Contains(::testing::StartsWith("->Executing"))));
    EXPECT_EQ(texts.back(),
              "*** ->Reports.TwoFieldListFromDBGet error: lngRetVal=5; Err.Description= Invalid "
              "procedure call or argument: sSpName");
  }
  // A list of one column: the data layer's error for the missing second field.
  data::ProcedureCatalog::Global().Register({"OneColumnListGet",
                                             {},
                                             [](data::ProcedureCall& call) {
                                               call.SelectRows("SELECT 1 AS Only");
                                               return 0;
                                             },
                                             true});
  com::Variant list;
  EXPECT_EQ(Call("TwoFieldListFromDBGet", {com::Variant("OneColumnListGet"), list}, list),
            data::kItemNotFound);
  // More than two columns: the first two.
  data::ProcedureCatalog::Global().Register({"ThreeColumnListGet",
                                             {},
                                             [](data::ProcedureCall& call) {
                                               call.SelectRows("SELECT 1 AS a, 'x' AS b, 3 AS c");
                                               return 0;
                                             },
                                             true});
  ASSERT_EQ(Call("TwoFieldListFromDBGet", {com::Variant("ThreeColumnListGet"), list}, list), 0);
  EXPECT_EQ(list.CStr(), "<ROOT><NODE Field0=\"1\" Field1=\"x\"/></ROOT>");
}

TEST_P(MenuAndListsTest, LookupListsResolveFragmentsIntoNames) {
  AddServerLogs();
  env_.Exec("INSERT INTO EventCategory (EventCategoryID, EventCategoryName) VALUES (7, 'Disk')");
  com::Variant list;
  ASSERT_EQ(Call("ServerLogTypeFilterListGet",
                 {com::Variant("(ELServerID=1 AND LogTypeID IN(1,2))"), list}, list),
            0);
  EXPECT_EQ(
      list.CStr(),
      "<SERVERLOGTYPEFILTERLIST><SERVERLOGTYPE ServerName=\"SRV1\" LogTypeName=\"Application\"/>"
      "<SERVERLOGTYPE ServerName=\"SRV1\" LogTypeName=\"System\"/></SERVERLOGTYPEFILTERLIST>");
  EXPECT_THAT(env_.TraceTexts(),
              Contains("->Executing SELECT  s.ELServerName,lt.LogTypeName FROM ELServer "
                       "s,LogType lt,(select ELServerID, LogTypeID FROM ELServerLogType WHERE "
                       "(ELServerID=1 AND LogTypeID IN(1,2)))d WHERE d.ElServerID = "
                       "s.ELServerID AND d.LogTypeID = lt.LogTypeID"));

  ASSERT_EQ(Call("EventSourceListGet", {com::Variant("3,4"), list}, list), 0);
  EXPECT_EQ(list.CStr(),
            "<EVENTSOURCELIST><EVENTSOURCE ELSourceName=\"Disk\"/>"
            "<EVENTSOURCE ELSourceName=\"Srv\"/></EVENTSOURCELIST>");
  EXPECT_THAT(env_.TraceTexts(),
              Contains("->Executing SELECT  ELSourceName FROM ELSource WHERE ElSourceID IN "
                       "(3,4) Order by ELSourceName"));
  // A number passed as a number is its own one-element list.
  ASSERT_EQ(Call("EventTypeListGet", {com::Variant(std::int32_t{16}), list}, list), 0);
  EXPECT_EQ(list.CStr(),
            "<EVENTTYPELIST><EVENTTYPE EventTypeName=\"Failure Audit\"/></EVENTTYPELIST>");
  ASSERT_EQ(Call("EventCategoryListGet", {com::Variant("7,1"), list}, list), 0);
  EXPECT_EQ(list.CStr(),
            "<EVENTCATEGORYLIST><EVENTCATEGORY EventCategoryName=\"\"/>"
            "<EVENTCATEGORY EventCategoryName=\"Disk\"/></EVENTCATEGORYLIST>");
  ASSERT_EQ(Call("EventCategoryListGet", {com::Variant("99"), list}, list), 0);
  EXPECT_EQ(list.CStr(), "<EVENTCATEGORYLIST/>");
  EXPECT_EQ(Call("EventSourceListGet", {com::Variant("3"), list}, list, false), -102);
}

TEST_P(MenuAndListsTest, LookupFragmentsOutsideTheirFormAreRefusedUnexecuted) {
  AddServerLogs();
  struct Case {
    const char* method;
    com::Variant fragment;
  };
  const std::vector<Case> cases = {
      {"ServerLogTypeFilterListGet", com::Variant("1=1) d, AppUser u --")},
      {"ServerLogTypeFilterListGet", com::Variant("1=1; DROP TABLE LogEntry")},
      {"EventSourceListGet", com::Variant("1) OR (1=1")},
      {"EventSourceListGet", com::Variant("3) UNION SELECT AppUserPassword FROM AppUser --")},
      {"EventTypeListGet", com::Variant("")},
      {"EventCategoryListGet", com::Variant::Null()},
      {"EventCategoryListGet", com::Variant()},
      {"EventTypeListGet", com::Variant("-1")},
  };
  for (const Case& c : cases) {
    com::Variant list("kept");
    env_.NewTraceTexts();
    EXPECT_EQ(Call(c.method, {c.fragment, list}, list), 5) << c.method;
    EXPECT_EQ(list.CStr(), "kept");
    EXPECT_EQ(env_.NewTraceTexts().back(),
              std::string("*** ->Reports.") + c.method +
                  " error: lngRetVal=5; Err.Description= Invalid procedure call or argument: "
                  "qryFragment");
  }
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM ELServer"), 3);
}

TAMSEL_ON_BOTH_ENGINES(MenuAndListsTest);

}  // namespace
}  // namespace tamsel::reports::browse
