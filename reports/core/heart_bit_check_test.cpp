// Tests of Reports.HeartBitCheck through the public interface, with the database up and down,
// and of the component's slots: fixed DISPIDs and unbuilt methods that say so.
#include "reports/core/heart_bit_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/data/procedure_catalog.h"
#include "reports/core/component_objects.h"
#include "reports/core/component_test_support.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports {
namespace {

namespace com = platform::com;
namespace data = platform::data;
using testing::ComponentTestEnvironment;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kVersion = "TamselDB schema 1 (test)";

class HeartBitCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterCoreMethods(MethodRegistry::Global());
    data::ProcedureCatalog::Global().Register({"VersionInfoGet",
                                               {{"@VersionInfoDesc", data::adVarChar, true}},
                                               [this](data::ProcedureCall& call) {
                                                 call.SetOutput(0, version_);
                                                 return returnValue_;
                                               }});
  }

  std::string Call(bool transactional = true) {
    com::Arguments args;
    return ComponentCall("Reports.HeartBitCheck", args, com::Activation{transactional}).CStr();
  }

  ComponentTestEnvironment env_;
  com::Variant version_ = com::Variant(kVersion);
  int returnValue_ = 0;
};

TEST_F(HeartBitCheckTest, DatabaseUpGivesOkAndTheVersionWithoutSeparator) {
  env_.CreateDatabaseFile();
  EXPECT_EQ(Call(), std::string("Database connection: OK<br>") + kVersion);
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.HeartBitCheck");
  EXPECT_THAT(texts, Contains("->Executing VersionInfoGet, "));
  EXPECT_EQ(texts.back(), "Reports.HeartBitCheck no errors - lngRetVal=0");
}

TEST_F(HeartBitCheckTest, DatabaseDownGivesAnEmptyString) {
  // No database file: the provider cannot open the catalog.
  EXPECT_EQ(Call(), "");
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_THAT(texts.back(), HasSubstr("*** ->Reports.HeartBitCheck error: lngRetVal=-"));
  EXPECT_THAT(texts.back(), HasSubstr("; Err.Description= "));
}

TEST_F(HeartBitCheckTest, FailuresAfterTheConnectionFollowTheHeartbeatRules) {
  env_.CreateDatabaseFile();
  // A non-zero return value: empty string, the code in the trace.
  returnValue_ = 5;
  EXPECT_EQ(Call(), "");
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.HeartBitCheck error: lngRetVal=5; Err.Description= ");
  // A raised error: its description is the answer, and the code stays 0.
  returnValue_ = 0;
  version_ = com::Variant::Null();
  EXPECT_EQ(Call(), "Invalid use of Null");
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.HeartBitCheck error: lngRetVal=0; Err.Description= Invalid use of Null");
  // Outside a transaction.
  EXPECT_EQ(Call(false), "This call requires transaction");
}

TEST(ComponentSlotsTest, DispatchTablesKeepTheirSlotsAndUnbuiltMethodsSaySo) {
  const com::InterfaceInfo& reports = ReportsInterface();
  ASSERT_EQ(reports.Methods().size(), 32u);
  ASSERT_EQ(AppAdminInterface().Methods().size(), 9u);
  EXPECT_EQ(reports.GetIdOfName("HeartBitCheck"), 0x60030000);
  EXPECT_EQ(reports.GetIdOfName("sqlforalertgenerate"), 0x6003001F);
  EXPECT_EQ(reports.GetIdOfName("TextSqlMake"), 0x60030012);
  EXPECT_EQ(AppAdminInterface().GetIdOfName("AppUserPageAccessCheck"), 0x60030008);

  // Slot parameters a page relies on: optional defaults and by-reference kinds.
  const com::MethodInfo* update = reports.Method(*reports.GetIdOfName("AlertHdrUpdate"));
  ASSERT_EQ(update->params.size(), 4u);
  EXPECT_EQ(update->params[3].passBy, com::PassBy::Reference);
  EXPECT_EQ(update->params[3].defaultValue, com::Variant(std::int16_t{-1}));

  ComponentTestEnvironment env;
  if (!MethodRegistry::Global().IsImplemented("Reports.MenuXmlGet")) {
    try {
      com::Arguments menu{com::Variant()};
      ComponentCall("Reports.MenuXmlGet", menu);
      ADD_FAILURE() << "an unbuilt method answered";
    } catch (const com::ComError& error) {
      EXPECT_EQ(error.Number(), com::E_NOTIMPL);
      EXPECT_EQ(error.Description(), "Reports.MenuXmlGet is not implemented in this build");
    }
  }
  EXPECT_THROW(MethodRegistry::Global().Add<&HeartBitCheck>("Reports.TextSqlMakeX"),
               std::logic_error);
  // A function whose signature does not fit the slot is refused when it is installed.
  EXPECT_THROW(MethodRegistry::Global().Add<&HeartBitCheck>("Reports.MenuXmlGet"),
               std::logic_error);
}

}  // namespace
}  // namespace tamsel::reports
