// Tests of the alert definitions through the public interface: saving with the id omitted or
// given, the metadata items and their rollback, the list, reading back and deleting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "reports/alerts/alerts_test_support.h"

namespace tamsel::reports::alerts {
namespace {

namespace com = platform::com;
using testing::AlertsTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ScopedProcedureBody;

class AlertDefinitionsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
  }

  // AlertHdrUpdate with the id omitted (a new alert); returns the result, `id` the new id.
  std::int32_t Save(const std::string& description, const std::string& metaData,
                    Variant* id = nullptr) {
    com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant(description),
                        Variant(metaData), Variant(std::int16_t{-1})};
    std::int32_t result = CallReports("AlertHdrUpdate", args);
    if (id) *id = args[3].value;
    return result;
  }

  std::vector<std::string> ItemLengths(const std::string& id) {
    return env_.Rows(
        "SELECT AlertItemID || ':' || length(AlertItemMetaData) FROM AlertItem "
        "WHERE AlertHdrID = " +
        id + " ORDER BY AlertItemID");
  }

  AlertsTestEnvironment env_{GetParam()};
};

TEST_P(AlertDefinitionsTest, OmittedIdCreatesTheAlertAndHandsBackItsId) {
  // A variable holding -1 asks what omitting the argument asks, and receives the id.
  com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant("disk full"),
                      Variant("<INPUT name=\"a\"/>"), Variant(std::int16_t{-1})};
  ASSERT_EQ(CallReports("AlertHdrUpdate", args), 0);
  const std::string id = args[3].value.CStr();
  EXPECT_THAT(env_.Rows("SELECT AlertHdrID, AppUserID, AlertDesc FROM AlertHdr"),
              ElementsAre(id + "|3|disk full"));
  EXPECT_THAT(ItemLengths(id), ElementsAre("0:17"));

  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.AlertHdrUpdate");
  EXPECT_THAT(texts, Contains("->Executing AlertHdrUpdate, , 3, disk full"));
  EXPECT_THAT(texts, Contains("AlertHdrID: " + id));
  EXPECT_THAT(texts,
              Contains("->Executing AlertItemMetaDataAdd, " + id + ", 0, <INPUT name=\"a\"/>"));
  EXPECT_EQ(texts.back(), "Reports.AlertHdrUpdate no errors - lngRetVal=0");

  // Really omitted: the default applies, and a second alert is made.
  com::Arguments omitted{Variant(AlertsTestEnvironment::kUser), Variant("second"), Variant(""),
                         com::Argument::Missing()};
  ASSERT_EQ(CallReports("AlertHdrUpdate", omitted), 0);
  EXPECT_THAT(env_.Rows("SELECT AlertDesc FROM AlertHdr ORDER BY AlertHdrID"),
              ElementsAre("disk full", "second"));
  EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing AlertHdrUpdate, , 3, second"));
}

TEST_P(AlertDefinitionsTest, IdSevenUpdatesThatAlertAndReplacesEveryItem) {
  env_.Exec("INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc) VALUES (7, 3, 'old')");
  env_.Exec("INSERT INTO AlertItem VALUES (7, 0, 'x'), (7, 1, 'y'), (7, 2, 'z')");
  com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant("new"),
                      Variant(std::string(1024, 'm')), Variant(7)};
  ASSERT_EQ(CallReports("AlertHdrUpdate", args), 0);
  EXPECT_EQ(args[3].value, Variant(7));
  EXPECT_THAT(env_.Rows("SELECT AlertDesc FROM AlertHdr"), ElementsAre("new"));
  EXPECT_THAT(ItemLengths("7"), ElementsAre("0:1023", "1:1"));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AlertHdrUpdate, 7, 3, new"));
  EXPECT_THAT(texts, Contains("->Executing AlertItemMetaDataAdd, 7, 1, m"));

  // An empty metadata stores no item; the header alone succeeds.
  args = {Variant(AlertsTestEnvironment::kUser), Variant("newer"), Variant(""), Variant(7)};
  ASSERT_EQ(CallReports("AlertHdrUpdate", args), 0);
  EXPECT_THAT(ItemLengths("7"), IsEmpty());
  EXPECT_THAT(env_.NewTraceTexts(), Not(Contains(::testing::HasSubstr("AlertItemMetaDataAdd"))));

  // The procedure's own refusal is the result; nothing of the call remains.
  args = {Variant(AlertsTestEnvironment::kUser), Variant("gone"), Variant("x"), Variant(8)};
  EXPECT_EQ(CallReports("AlertHdrUpdate", args), 1);
  EXPECT_THAT(env_.NewTraceTexts().back(),
              "*** ->Reports.AlertHdrUpdate error: lngRetVal=1; Err.Description= ");
}

TEST_P(AlertDefinitionsTest, MetaDataIsStoredInItemsOf1023CodeUnits) {
  const std::pair<std::size_t, std::vector<std::string>> cases[] = {
      {1023, {"0:1023"}},
      {1024, {"0:1023", "1:1"}},
      {2046, {"0:1023", "1:1023"}},
      {2047, {"0:1023", "1:1023", "2:1"}}};
  for (const auto& [length, expected] : cases) {
    Variant id;
    // Half the characters take two bytes: the cut counts characters, not bytes.
    std::string metaData;
    for (std::size_t i = 0; i < length; ++i) metaData += i % 2 ? "\xC3\xA9" : "e";
    ASSERT_EQ(Save("m", metaData, &id), 0);
    EXPECT_THAT(ItemLengths(id.CStr()), ::testing::ElementsAreArray(expected)) << length;

    // Read back whole.
    com::Arguments get{id, Variant(), Variant()};
    ASSERT_EQ(CallReports("AlertHdrGet", get), 0);
    EXPECT_EQ(get[2].value, Variant(metaData)) << length;
  }
}

TEST_P(AlertDefinitionsTest, AnItemFailureRollsBackTheHeaderAndEveryItem) {
  ScopedProcedureBody failSecond("AlertItemMetaDataAdd",
                                 [](platform::data::ProcedureCall& call, const auto& original) {
                                   return call.Arg(1).CLng() == 1 ? 50 : original(call);
                                 });
  // A new alert: nothing stays, although the id was handed back.
  Variant id;
  EXPECT_EQ(Save("new", std::string(2047, 'n'), &id), 50);
  EXPECT_FALSE(id.IsNull() || id.IsEmpty());
  EXPECT_THAT(env_.Rows("SELECT COUNT(*) FROM AlertHdr"), ElementsAre("0"));
  EXPECT_THAT(env_.Rows("SELECT COUNT(*) FROM AlertItem"), ElementsAre("0"));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AlertItemMetaDataAdd, " + id.CStr() + ", 1, " +
                              std::string(1023, 'n')));
  EXPECT_EQ(texts.back(), "*** ->Reports.AlertHdrUpdate error: lngRetVal=50; Err.Description= ");

  // An existing alert keeps its description and its earlier items.
  env_.Exec("INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc) VALUES (7, 3, 'old')");
  env_.Exec("INSERT INTO AlertItem VALUES (7, 0, 'x'), (7, 1, 'y'), (7, 2, 'z')");
  com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant("new"),
                      Variant(std::string(1500, 'n')), Variant(7)};
  EXPECT_EQ(CallReports("AlertHdrUpdate", args), 50);
  EXPECT_THAT(env_.Rows("SELECT AlertDesc FROM AlertHdr"), ElementsAre("old"));
  EXPECT_THAT(env_.Rows("SELECT AlertItemMetaData FROM AlertItem ORDER BY AlertItemID"),
              ElementsAre("x", "y", "z"));
}

TEST_P(AlertDefinitionsTest, IdsThatCannotBeUsedFailTheCall) {
  // An id the procedure leaves NULL fails when converted for the items, even with none.
  {
    ScopedProcedureBody noId("AlertHdrUpdate",
                             [](platform::data::ProcedureCall& call, const auto&) {
                               call.SetOutput(0, Variant::Null());
                               return 0;
                             });
    Variant id;
    EXPECT_EQ(Save("d", "", &id), 94);
    EXPECT_TRUE(id.IsNull());
    EXPECT_EQ(env_.NewTraceTexts().back(),
              "*** ->Reports.AlertHdrUpdate error: lngRetVal=94; Err.Description= Invalid use of "
              "Null");
  }
  // Text the data layer cannot convert to an integer.
  com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant("d"), Variant(""),
                      Variant("seven")};
  EXPECT_EQ(CallReports("AlertHdrUpdate", args), static_cast<std::int32_t>(0x80040E07u));
  EXPECT_EQ(args[3].value, Variant("seven"));
  // NULL asks for a new alert, as -1 does.
  args = {Variant(AlertsTestEnvironment::kUser), Variant("d"), Variant(""), Variant::Null()};
  EXPECT_EQ(CallReports("AlertHdrUpdate", args), 0);
  EXPECT_FALSE(args[3].value.IsNull());
}

TEST_P(AlertDefinitionsTest, MinusOneAsAnyNumericFormAsksForANewAlert) {
  // The id compares with the literal -1 by number, whatever form the page posts it in.
  const Variant forms[] = {Variant("-1"), Variant(" -1 "), Variant("-1.0"), Variant(-1.0),
                           Variant(std::int32_t{-1})};
  for (const Variant& form : forms) {
    com::Arguments args{Variant(AlertsTestEnvironment::kUser), Variant("new"), Variant(""), form};
    EXPECT_EQ(CallReports("AlertHdrUpdate", args), 0) << form.CStr();
    EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing AlertHdrUpdate, , 3, new"))
        << form.CStr();
  }
  EXPECT_THAT(env_.Rows("SELECT COUNT(*) FROM AlertHdr"), ElementsAre("5"));
}

TEST_P(AlertDefinitionsTest, ListReadBackAndDelete) {
  Variant first, second;
  ASSERT_EQ(Save("disk <full> & \"more\"", "<INPUT name=\"x\" value=\"1\"/>", &first), 0);
  ASSERT_EQ(Save("cpu", "<a/>", &second), 0);
  env_.NewTraceTexts();

  com::Arguments list{Variant("kept on failure")};
  ASSERT_EQ(CallReports("AlertListGet", list), 0);
  const std::string expected =
      "<ALERTLIST><ALERT AlertHdrID=\"" + first.CStr() +
      "\" AppUserName=\"alice\" AlertDesc=\"disk &lt;full> &amp; &quot;more&quot;\"/>"
      "<ALERT AlertHdrID=\"" +
      second.CStr() +
      "\" AppUserName=\"alice\" AlertDesc=\"cpu\"/>"
      "</ALERTLIST>";
  EXPECT_EQ(list[0].value, Variant(expected));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AlertListGet"));
  EXPECT_THAT(texts, Contains("sXml " + expected));

  // A description already given is kept; the metadata is appended to what the variable held.
  com::Arguments get{first, Variant("mine"), Variant("<!--before-->")};
  ASSERT_EQ(CallReports("AlertHdrGet", get), 0);
  EXPECT_EQ(get[1].value, Variant("mine"));
  EXPECT_EQ(get[2].value, Variant("<!--before--><INPUT name=\"x\" value=\"1\"/>"));
  // NULL is a value: it is not replaced, and appending to it starts from nothing.
  get = {first, Variant::Null(), Variant::Null()};
  ASSERT_EQ(CallReports("AlertHdrGet", get), 0);
  EXPECT_TRUE(get[1].value.IsNull());
  EXPECT_EQ(get[2].value, Variant("<INPUT name=\"x\" value=\"1\"/>"));
  // No rows: result 0, both outputs as passed; nothing of the outputs is traced.
  get = {Variant(999), Variant(), Variant("m")};
  ASSERT_EQ(CallReports("AlertHdrGet", get), 0);
  EXPECT_TRUE(get[1].value.IsEmpty());
  EXPECT_EQ(get[2].value, Variant("m"));
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AlertHdrGet, 999"));
  EXPECT_EQ(texts.back(), "Reports.AlertHdrGet no errors - lngRetVal=0");

  com::Arguments del{first};
  ASSERT_EQ(CallReports("AlertDelete", del), 0);
  EXPECT_THAT(env_.Rows("SELECT AlertDesc FROM AlertHdr"), ElementsAre("cpu"));
  EXPECT_THAT(env_.Rows("SELECT COUNT(*) FROM AlertItem WHERE AlertHdrID = " + first.CStr()),
              ElementsAre("0"));
  EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing AlertDelete, " + first.CStr()));
}

TEST_P(AlertDefinitionsTest, NullColumnsFailWith94AndLeaveTheOutputs) {
  {
    ScopedProcedureBody nullName(
        "AlertListGet", [](platform::data::ProcedureCall& call, const auto&) {
          call.SelectRows("SELECT 1 AS AlertHdrID, NULL AS AppUserName, 'd' AS AlertDesc");
          return 0;
        });
    com::Arguments list{Variant("before")};
    EXPECT_EQ(CallReports("AlertListGet", list), 94);
    EXPECT_EQ(list[0].value, Variant("before"));
  }
  ScopedProcedureBody nullItem("AlertHdrGet", [](platform::data::ProcedureCall& call, const auto&) {
    call.SelectRows(
        "SELECT 'd' AS AlertDesc, 'a' AS AlertItemMetaData UNION ALL "
        "SELECT 'd', NULL");
    return 0;
  });
  com::Arguments get{Variant(1), Variant(""), Variant("")};
  EXPECT_EQ(CallReports("AlertHdrGet", get), 94);
  EXPECT_EQ(get[1].value, Variant("d"));
  EXPECT_EQ(get[2].value, Variant("a"));
}

TAMSEL_ON_BOTH_ENGINES(AlertDefinitionsTest);

}  // namespace
}  // namespace tamsel::reports::alerts
