// Tests of Reports' server methods through the public interface: the list, adding with only a
// name, disabling (the collector's server query no longer names the server), deleting only
// once no entries remain, and the batch rule of the two deletions with regional date text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/admin_procedures.h"
#include "database/engine_test_support.h"
#include "platform/data/provider_error.h"
#include "platform/registry/regional_settings.h"
#include "platform/registry/registry.h"
#include "platform/xml/dom.h"
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
using ::testing::Not;
using testing::ScopedProcedureBody;

constexpr std::int32_t kCantConvert = platform::data::kCantConvertValue;

class ServerMethodsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
  }

  std::int32_t Reports(const std::string& method, const Variant& argument) {
    com::Arguments args{argument};
    return Call("Reports." + method, args);
  }
  std::int32_t Add(const std::string& xml, std::string* answer = nullptr) {
    return CallWithDocument("Reports.ServerAdd", xml, answer);
  }
  std::string List() {
    com::Arguments args{Variant()};
    EXPECT_EQ(Call("Reports.ServerListGet", args), 0);
    return args[0].value.CStr();
  }
  // `count` entries of a server, numbered from `first`, generated at `time` (ISO text).
  void AddEntries(int server, int count, int first = 1,
                  const std::string& time = "2026-01-01 00:00:00") {
    env_.Exec("INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application')");
    env_.Exec("INSERT OR IGNORE INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk')");
    env_.Exec(
        "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
        " UNION ALL SELECT i + 1 "
        "FROM n WHERE i < " +
        std::to_string(first + count - 1) +
        ") "
        "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
        "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) SELECT " +
        std::to_string(server) + ", 1, i, '" + time + "', '" + time + "', 1, 4, 1, 1, 1 FROM n");
  }
  int Entries(const std::string& where = "1 = 1") {
    return std::stoi(env_.Scalar("SELECT COUNT(*) FROM LogEntry WHERE " + where));
  }

  AdminTestEnvironment env_{GetParam()};
};

TEST_P(ServerMethodsTest, AddWithOnlyANameMakesAnActiveServerThatTheListAndCollectorShow) {
  EXPECT_EQ(List(), "<ELSERVERLIST/>");
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing ServerListGet"));
  EXPECT_THAT(texts, Contains("sXml <ELSERVERLIST/>"));

  std::string answer;
  ASSERT_EQ(Add("<SERVER ELServerName=\"SRV01\"/>", &answer), 0);
  EXPECT_EQ(answer, "<SERVER ELServerName=\"SRV01\" ELServerID=\"1\"/>");
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing ServerAdd, , SRV01, "));
  EXPECT_THAT(texts, Contains("sXml: " + answer));
  EXPECT_EQ(texts.back(), "Reports.ServerAdd no errors - lngRetVal=0");

  // An id sent in is overwritten; other attributes and children travel back unchanged.
  ASSERT_EQ(Add("<S ELServerID=\"77\" ELServerName=\"SRV02\" ELServerDescription=\"mail\" "
                "note=\"n\"><X/></S>",
                &answer),
            0);
  EXPECT_EQ(answer,
            "<S ELServerID=\"2\" ELServerName=\"SRV02\" ELServerDescription=\"mail\" "
            "note=\"n\"><X/></S>");
  EXPECT_EQ(List(),
            "<ELSERVERLIST><ELSERVER ELServerID=\"1\" ELServerName=\"SRV01\" "
            "ELServerDescription=\"\"/><ELSERVER ELServerID=\"2\" ELServerName=\"SRV02\" "
            "ELServerDescription=\"mail\"/></ELSERVERLIST>");
  EXPECT_THAT(CollectorView(env_.DataSource(), env_.Catalog()).ActiveServers(),
              ElementsAre("1;SRV01", "2;SRV02"));

  // Refusals: the name taken (any case), no name, text that does not parse (the procedure
  // never runs and the page's text stays).
  const std::string taken = "<S ELServerName=\"srv01\"/>";
  EXPECT_EQ(Add(taken, &answer), db::kServerNameTaken);
  EXPECT_EQ(answer, taken);
  EXPECT_EQ(Add("<S ELServerDescription=\"x\"/>"), db::kServerNameInvalid);
  env_.NewTraceTexts();
  EXPECT_EQ(Add("<S ELServerName=", &answer), 91);
  EXPECT_EQ(answer, "<S ELServerName=");
  EXPECT_THAT(env_.NewTraceTexts(), Not(Contains(HasSubstr("->Executing"))));
  EXPECT_EQ(env_.Scalar("SELECT COUNT(*) FROM ELServer"), "2");
}

// Text enters as the multi-byte conversion gives it, so every answer stays well-formed UTF-8
// XML; a character XML forbids makes the page's document one that does not load.
TEST_P(ServerMethodsTest, NamesThatAreNotUtf8OrNotXmlNeverSpoilTheAnswers) {
  const std::string replaced = "U\xEF\xBF\xBD\xEF\xBF\xBD";
  std::string answer;
  ASSERT_EQ(Add("<S ELServerName=\"U\xFF\xFE\"/>", &answer), 0);
  EXPECT_EQ(answer, "<S ELServerName=\"" + replaced + "\" ELServerID=\"1\"/>");
  EXPECT_EQ(env_.Scalar("SELECT ELServerName FROM ELServer"), replaced);
  const std::string list = List();
  EXPECT_EQ(list, "<ELSERVERLIST><ELSERVER ELServerID=\"1\" ELServerName=\"" + replaced +
                      "\" ELServerDescription=\"\"/></ELSERVERLIST>");
  EXPECT_TRUE(platform::xml::Document().LoadXml(list));

  for (const char* forbidden : {"<S ELServerName=\"A&#1;\"/>", "<S ELServerName=\"A\x01\"/>"}) {
    EXPECT_EQ(Add(forbidden, &answer), 91) << forbidden;
    EXPECT_EQ(answer, forbidden);
  }
  EXPECT_EQ(env_.Scalar("SELECT COUNT(*) FROM ELServer"), "1");
}

TEST_P(ServerMethodsTest, ListWithANullColumnFailsWithNinetyFourAndLeavesTheAnswer) {
  ScopedProcedureBody nullDescription("ServerListGet", [](auto& call, auto&) {
    call.SelectRows("SELECT 1 AS ELServerID, 'SRV01' AS ELServerName, NULL AS ELServerDescription");
    return 0;
  });
  com::Arguments args{Variant("<OLD/>")};
  EXPECT_EQ(Call("Reports.ServerListGet", args), 94);
  EXPECT_EQ(args[0].value, Variant("<OLD/>"));
}

TEST_P(ServerMethodsTest, DisabledServerLeavesTheCollectorsSetAndAddingItAgainRestoresIt) {
  ASSERT_EQ(Add("<S ELServerName=\"SRV01\"/>"), 0);
  ASSERT_EQ(Add("<S ELServerName=\"SRV02\" ELServerDescription=\"keep\"/>"), 0);
  env_.NewTraceTexts();
  ASSERT_EQ(Reports("ServerDisable", Variant("2")), 0);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing ServerDisable, 2"));
  EXPECT_EQ(texts.back(), "Reports.ServerDisable no errors - lngRetVal=0");
  EXPECT_THAT(CollectorView(env_.DataSource(), env_.Catalog()).ActiveServers(),
              ElementsAre("1;SRV01"));
  // Still listed for the page, which may yet delete its entries.
  EXPECT_THAT(List(), HasSubstr("ELServerName=\"SRV02\""));

  std::string answer;
  ASSERT_EQ(Add("<S ELServerName=\"SRV02\"/>", &answer), 0);
  EXPECT_EQ(answer, "<S ELServerName=\"SRV02\" ELServerID=\"2\"/>");
  EXPECT_EQ(env_.Scalar("SELECT ELServerDescription FROM ELServer WHERE ELServerID = 2"), "keep");
  EXPECT_THAT(CollectorView(env_.DataSource(), env_.Catalog()).ActiveServers(),
              ElementsAre("1;SRV01", "2;SRV02"));

  EXPECT_EQ(Reports("ServerDisable", Variant(9)), db::kServerNotFound);
  EXPECT_EQ(Reports("ServerDisable", Variant("two")), kCantConvert);
  EXPECT_THAT(
      env_.NewTraceTexts(),
      Contains("*** ->Reports.ServerDisable error: lngRetVal=" + std::to_string(kCantConvert) +
               "; Err.Description= Error converting data type varchar to int "
               "(parameter '@ELServerID')."));
}

TEST_P(ServerMethodsTest, BatchesOfAThousandAnswerZeroWhileFullAndOneOnceShort) {
  ASSERT_EQ(Add("<S ELServerName=\"SRV01\"/>"), 0);
  ASSERT_EQ(Add("<S ELServerName=\"SRV02\"/>"), 0);
  AddEntries(1, 2500);
  AddEntries(2, 10);
  env_.NewTraceTexts();
  std::vector<std::int32_t> results;
  std::vector<int> left;
  for (int call = 0; call < 4; ++call) {
    results.push_back(Reports("LogEntryTop1000Delete", Variant(1)));
    left.push_back(Entries("ELServerID = 1"));
  }
  EXPECT_THAT(results, ElementsAre(0, 0, 1, 1));
  EXPECT_THAT(left, ElementsAre(1500, 500, 0, 0));
  EXPECT_EQ(Entries("ELServerID = 2"), 10);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing LogEntryTop1000Delete, 1, "));
  EXPECT_THAT(texts, Contains("Reports.LogEntryTop1000Delete no errors - lngRetVal=0"));
  EXPECT_EQ(texts.back(), "Reports.LogEntryTop1000Delete no errors - lngRetVal=1");

  // Exactly a thousand: the call that takes them answers 0, only the next one 1.
  AddEntries(1, 1000);
  EXPECT_EQ(Reports("LogEntryTop1000Delete", Variant(1)), 0);
  EXPECT_EQ(Reports("LogEntryTop1000Delete", Variant(1)), 1);
  EXPECT_EQ(Entries(), 10);
}

TEST_P(ServerMethodsTest, BatchCountsOtherThanAThousandAndAMissingCount) {
  ASSERT_EQ(Add("<S ELServerName=\"SRV01\"/>"), 0);
  AddEntries(1, 5);
  {
    ScopedProcedureBody more("LogEntryTop1000Delete", [](auto& call, auto&) {
      call.SetOutput(1, Variant(1001));
      return 0;
    });
    EXPECT_EQ(Reports("LogEntryTop1000Delete", Variant(1)), 1);
  }
  {
    // The procedure deletes but reports no count: 94, and its deletions are rolled back.
    ScopedProcedureBody silent("LogEntryTop1000Delete", [](auto& call, auto& original) {
      original(call);
      call.SetOutput(1, Variant::Null());
      return 0;
    });
    env_.NewTraceTexts();
    EXPECT_EQ(Reports("LogEntryTop1000Delete", Variant(1)), 94);
    EXPECT_EQ(env_.NewTraceTexts().back().rfind(
                  "*** ->Reports.LogEntryTop1000Delete error: lngRetVal=94; ", 0),
              0u);
    EXPECT_EQ(Entries(), 5);
  }
}

TEST_P(ServerMethodsTest, ClearTakesEntriesGeneratedBeforeTheTimeReadUnderRegionalSettings) {
  ASSERT_EQ(Add("<S ELServerName=\"SRV01\"/>"), 0);
  AddEntries(1, 1200, 1, "2026-12-31 22:59:59");
  AddEntries(1, 3, 5000, "2026-12-31 23:00:00");
  env_.NewTraceTexts();
  // en-US by default: month first, twelve-hour clock.
  EXPECT_EQ(Reports("LogEntriesClear", Variant("12/31/2026 11:00:00 PM")), 0);
  EXPECT_EQ(Entries(), 203);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing LogEntriesClear, 12/31/2026 11:00:00 PM, "));
  EXPECT_EQ(Reports("LogEntriesClear", Variant("12/31/2026 11:00:00 PM")), 1);
  EXPECT_EQ(Entries(), 3);
  EXPECT_EQ(env_.NewTraceTexts().back(), "Reports.LogEntriesClear no errors - lngRetVal=1");

  // Day first on this machine: the same text is no date, the day-first one is.
  {
    platform::registry::RegistryKey key;
    ASSERT_EQ(platform::registry::RegistryKey::Create(platform::registry::HKEY_CURRENT_USER,
                                                      platform::registry::kInternationalKey, key),
              0);
    ASSERT_EQ(key.SetString("sShortDate", "dd/MM/yyyy"), 0);
    ASSERT_EQ(key.SetString("sTimeFormat", "HH:mm:ss"), 0);
  }
  EXPECT_EQ(Reports("LogEntriesClear", Variant("12/31/2026 11:00:00 PM")), kCantConvert);
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing LogEntriesClear, 12/31/2026 11:00:00 PM, "));
  EXPECT_EQ(texts.back(),
            "*** ->Reports.LogEntriesClear error: lngRetVal=" + std::to_string(kCantConvert) +
                "; Err.Description= Error converting data type varchar to datetime (parameter "
                "'@TimeGenerated').");
  EXPECT_EQ(Reports("LogEntriesClear", Variant("31/12/2026 23:00:01")), 1);
  EXPECT_EQ(Entries(), 0);
  // The trace shows the text as the page sent it, not the date it was read as.
  EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing LogEntriesClear, 31/12/2026 23:00:01, "));
  EXPECT_EQ(Reports("LogEntriesClear", Variant("")), kCantConvert);
}

TEST_P(ServerMethodsTest, DeleteIsRefusedWhileEntriesRemainAndThenTakesLogsAndExclusions) {
  ASSERT_EQ(Add("<S ELServerName=\"SRV01\"/>"), 0);
  ASSERT_EQ(Add("<S ELServerName=\"SRV02\"/>"), 0);
  AddEntries(1, 3);
  env_.Exec("INSERT INTO ELServerLogType VALUES (1, 1), (2, 1)");
  env_.Exec("INSERT INTO EventExclusion VALUES (1, 4), (2, 4)");
  env_.NewTraceTexts();
  EXPECT_EQ(Reports("ServerDelete", Variant(1)), db::kServerHasEntries);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing ServerDelete, 1"));
  EXPECT_EQ(texts.back(), "*** ->Reports.ServerDelete error: lngRetVal=23; Err.Description= ");
  EXPECT_EQ(env_.Scalar("SELECT COUNT(*) FROM ELServer"), "2");

  EXPECT_EQ(Reports("LogEntryTop1000Delete", Variant(1)), 1);
  EXPECT_EQ(Reports("ServerDelete", Variant(1)), 0);
  EXPECT_THAT(env_.Rows("SELECT ELServerID FROM ELServer"), ElementsAre("2"));
  EXPECT_THAT(env_.Rows("SELECT ELServerID FROM ELServerLogType"), ElementsAre("2"));
  EXPECT_THAT(env_.Rows("SELECT ELServerID FROM EventExclusion"), ElementsAre("2"));
  EXPECT_EQ(Reports("ServerDelete", Variant(1)), db::kServerNotFound);
  EXPECT_THAT(CollectorView(env_.DataSource(), env_.Catalog()).ActiveServers(),
              ElementsAre("2;SRV02"));
}

TAMSEL_ON_BOTH_ENGINES(ServerMethodsTest);

}  // namespace
}  // namespace tamsel::reports::admin
