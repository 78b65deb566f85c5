// Tests of the saved report methods through the public interface: items of 1023 characters
// from 0, one transaction per save, listing, deleting and loading, and the failure codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/provider_error.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_test_support.h"

namespace tamsel::reports::browse {
namespace {

namespace com = platform::com;
namespace data = platform::data;
using testing::BrowseTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Pair;

class SavedReportsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
    env_.Exec(
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) VALUES "
        "(1, 'alice', 'x', 2), (2, 'bob', 'x', 2)");
    for (const char* name : {"SavedReportHdrMake", "SavedReportMetaDataAdd"}) {
      saved_.push_back(*data::ProcedureCatalog::Global().Find(name));
    }
  }
  void TearDown() override {
    for (const data::ProcedureDefinition& definition : saved_) {
      data::ProcedureCatalog::Global().Register(definition);
    }
  }

  std::int32_t Save(std::int32_t user, const std::string& description, const std::string& text,
                    bool transactional = true) {
    com::Arguments args{com::Variant(user), com::Variant(description), com::Variant(text)};
    return CallReports("LogReportSave", args, transactional).CLng();
  }
  std::int32_t Get(std::int32_t id, com::Variant& description, com::Variant& text) {
    com::Arguments args{com::Variant(id), description, text};
    std::int32_t code = CallReports("SavedReportGet", args).CLng();
    description = args[1].value;
    text = args[2].value;
    return code;
  }
  std::string List(std::int32_t user) {
    com::Arguments args{com::Variant(user), com::Variant()};
    EXPECT_EQ(CallReports("SavedReportListGet", args).CLng(), 0);
    return args[1].value.CStr();
  }
  std::int32_t Delete(com::Variant id) {
    com::Arguments args{std::move(id)};
    return CallReports("SavedReportDelete", args).CLng();
  }
  // (item number, length) of every stored item of a header, in item order.
  std::vector<std::pair<std::int64_t, std::int64_t>> Items(std::int64_t header) {
    std::vector<std::pair<std::int64_t, std::int64_t>> items;
    data::Statement rows = env_.Db().Prepare(
        "SELECT SavedReportItemID, length(SavedReportMetaData) FROM SavedReportItem WHERE "
        "SavedReportHdrID = ? ORDER BY SavedReportItemID");
    rows.BindInt64(1, header);
    while (rows.Step()) items.emplace_back(rows.Int64(0), rows.Int64(1));
    return items;
  }
  static std::string Text(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    return text;
  }

  BrowseTestEnvironment env_{GetParam()};
  std::vector<data::ProcedureDefinition> saved_;
};

TEST_P(SavedReportsTest, ItemBoundariesOf1023And1024And2500Characters) {
  ASSERT_EQ(Save(1, "exact", Text(1023)), 0);
  ASSERT_EQ(Save(1, "one over", Text(1024)), 0);
  ASSERT_EQ(Save(1, "long", Text(2500)), 0);
  ASSERT_EQ(Save(1, "empty", ""), 0);
  EXPECT_THAT(Items(1), ElementsAre(Pair(0, 1023)));
  EXPECT_THAT(Items(2), ElementsAre(Pair(0, 1023), Pair(1, 1)));
  EXPECT_THAT(Items(3), ElementsAre(Pair(0, 1023), Pair(1, 1023), Pair(2, 454)));
  EXPECT_THAT(Items(4), ElementsAre());
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportHdr"), 4);

  // Characters, not bytes: a two-byte character is never split between items.
  const std::string wide = Text(1022) + "\xC3\xA9" + "z";
  ASSERT_EQ(Save(2, "accents", wide), 0);
  EXPECT_THAT(Items(5), ElementsAre(Pair(0, 1023), Pair(1, 1)));
  // Lengths are 16-bit code units: a character beyond the basic plane counts two, so it does
  // not fit after 1022 others, and its surrogate pair is never split.
  const std::string astral = Text(1022) + "\xF0\x9F\x98\x80" + "z";
  ASSERT_EQ(Save(2, "astral", astral), 0);
  EXPECT_THAT(Items(6), ElementsAre(Pair(0, 1022), Pair(1, 2)));

  // Each round trip gives back the text as saved.
  for (std::int32_t id = 1; id <= 6; ++id) {
    com::Variant description, text;
    ASSERT_EQ(Get(id, description, text), 0);
    const std::vector<std::string> expected = {Text(1023), Text(1024), Text(2500),
                                               "",         wide,       astral};
    EXPECT_EQ(text.CStr(), expected[id - 1]) << id;
  }
}

TEST_P(SavedReportsTest, SaveTracesTheHeaderAndEveryItemCall) {
  ASSERT_EQ(Save(1, "Errors, last week", Text(1030)), 0);
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.LogReportSave");
  EXPECT_THAT(texts, Contains("->Executing SavedReportHdrMake, , 1, Errors, last week"));
  EXPECT_THAT(texts, Contains("SavedReportHdrID: 1"));
  EXPECT_THAT(texts, Contains("->Executing SavedReportMetaDataAdd, 1, 0, " + Text(1023)));
  EXPECT_THAT(texts,
              Contains("->Executing SavedReportMetaDataAdd, 1, 1, " + Text(1030).substr(1023)));
  EXPECT_EQ(texts.back(), "Reports.LogReportSave no errors - lngRetVal=0");
}

TEST_P(SavedReportsTest, AFailedItemUndoesTheWholeSave) {
  data::ProcedureCatalog::Global().Register(
      {"SavedReportMetaDataAdd", saved_[1].parameters, [this](data::ProcedureCall& call) {
         if (call.Arg(1).CLng() == 1) return 7;
         return saved_[1].body(call);
       }});
  EXPECT_EQ(Save(1, "two items", Text(1500)), 7);
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportHdr"), 0);
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportItem"), 0);
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.LogReportSave error: lngRetVal=7; Err.Description= ");
}

TEST_P(SavedReportsTest, SaveFailureCodes) {
  // An unknown user: the provider's error, nothing kept.
  EXPECT_EQ(Save(99, "nobody", "x"), data::kIntegrityViolation);
  // A description longer than its 255 characters cannot be stored.
  EXPECT_EQ(Save(1, Text(256), "x"), data::kErrorsInCommand);
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportHdr"), 0);
  EXPECT_EQ(Save(1, "outside", "x", false), -102);
  // A header procedure that leaves the identifier NULL: 94 when it is converted.
  data::ProcedureCatalog::Global().Register(
      {"SavedReportHdrMake", saved_[0].parameters, [](data::ProcedureCall&) { return 0; }});
  EXPECT_EQ(Save(1, "null id", "x"), 94);
  EXPECT_THAT(env_.TraceTexts(), Contains("SavedReportHdrID: "));
}

// Descriptions are counted in 16-bit units, as the items are; what is stored always lists as
// well-formed XML.
TEST_P(SavedReportsTest, DescriptionLimitInUnitsAndListsThatStayWellFormed) {
  std::string wide;
  for (int i = 0; i < 128; ++i) wide += "\xF0\x9F\x98\x80";  // 256 units
  EXPECT_LT(Save(1, wide, "x"), 0);
  EXPECT_EQ(Save(1, std::string(255, 'a'), "x"), 0);
  EXPECT_LT(Save(1, std::string(256, 'a'), "x"), 0);
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportHdr"), 1);

  ASSERT_EQ(Save(2,
                 "a\x01"
                 "b\xFF",
                 "x"),
            0);
  const std::string list = List(2);
  EXPECT_THAT(list, ::testing::HasSubstr("SavedReportDescription=\"a\xEF\xBF\xBD"
                                         "b\xEF\xBF\xBD\""));
  EXPECT_TRUE(platform::xml::Document().LoadXml(list)) << list;
}

TEST_P(SavedReportsTest, ListDeleteAndLoad) {
  ASSERT_EQ(Save(1, "first <&>", "a"), 0);
  ASSERT_EQ(Save(2, "bob's", "b"), 0);
  ASSERT_EQ(Save(1, "second", Text(1100)), 0);
  EXPECT_EQ(List(1),
            "<SAVEDREPORTLIST><SAVEDREPORT SavedReportHdrID=\"1\" SavedReportDescription=\"first "
            "&lt;&amp;>\"/><SAVEDREPORT SavedReportHdrID=\"3\" SavedReportDescription=\"second\"/>"
            "</SAVEDREPORTLIST>");
  EXPECT_EQ(List(3), "<SAVEDREPORTLIST/>");

  com::Variant description, text;
  ASSERT_EQ(Get(3, description, text), 0);
  EXPECT_EQ(description.CStr(), "second");
  EXPECT_EQ(text.CStr(), Text(1100));
  // A description passed in stays; the pieces are appended to the text passed in.
  description = com::Variant("mine");
  text = com::Variant("> ");
  ASSERT_EQ(Get(1, description, text), 0);
  EXPECT_EQ(description.CStr(), "mine");
  EXPECT_EQ(text.CStr(), "> a");
  // No rows: both outputs as passed, result 0.
  description = com::Variant();
  text = com::Variant("as passed");
  ASSERT_EQ(Get(42, description, text), 0);
  EXPECT_TRUE(description.IsEmpty());
  EXPECT_EQ(text.CStr(), "as passed");

  // Identifiers as text or as numbers; the items go with the header.
  EXPECT_EQ(Delete(com::Variant("3")), 0);
  EXPECT_EQ(Delete(com::Variant(std::int16_t{1})), 0);
  EXPECT_EQ(List(1), "<SAVEDREPORTLIST/>");
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportItem"), 1);
  // Text that is no number fails the parameter's conversion: the provider's error.
  EXPECT_EQ(Delete(com::Variant("two")), data::kCantConvertValue);
  EXPECT_EQ(Delete(com::Variant("2; DELETE FROM SavedReportHdr")), data::kCantConvertValue);
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM SavedReportHdr"), 1);
}

TAMSEL_ON_BOTH_ENGINES(SavedReportsTest);

}  // namespace
}  // namespace tamsel::reports::browse
