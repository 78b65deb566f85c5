// Tests of the method skeleton: the transaction check, result codes of procedures and of the
// provider, the trace lines of both paths, password masking, and the votes of nested calls
// deciding the one transaction of a root call.
#include "reports/core/method_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/com/automation_object.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/session.h"
#include "reports/core/component_test_support.h"
#include "reports/core/transaction_binding.h"

namespace tamsel::reports {
namespace {

namespace com = platform::com;
namespace data = platform::data;
using testing::ComponentTestEnvironment;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

void RegisterTestProcedures() {
  data::ProcedureCatalog& catalog = data::ProcedureCatalog::Global();
  catalog.Register({"FrameTestReturn", {{"@Code", data::adInteger}}, [](data::ProcedureCall& call) {
                      return int(call.Arg(0).CLng());
                    }});
  catalog.Register(
      {"FrameTestInsert",
       {{"@Value", data::adVarChar}, {"@Code", data::adInteger}},
       [](data::ProcedureCall& call) {
         call.GetSession().Prepare("INSERT INTO FrameRows(v) VALUES(?)").Bind(1, call.Arg(0)).Run();
         return int(call.Arg(1).CLng());
       }});
  catalog.Register({"FrameTestLogIn",
                    {{"@AppUserName", data::adVarChar}, {"@AppUserPassword", data::adVarChar}},
                    [](data::ProcedureCall&) { return 0; }});
}

class MethodFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTransactionBinding();
    RegisterTestProcedures();
    std::filesystem::path file = env_.CreateDatabaseFile();
    data::Session::Open(file)->Execute("CREATE TABLE FrameRows(v TEXT)");
  }

  std::vector<std::string> Rows() {
    std::unique_ptr<data::Session> session =
        data::Session::Open(data::CatalogFile(data::DataFolder("(local)"), env_.Catalog()));
    data::Statement statement = session->Prepare("SELECT v FROM FrameRows ORDER BY rowid");
    std::vector<std::string> rows;
    while (statement.Step()) rows.push_back(statement.Text(0));
    return rows;
  }

  ComponentTestEnvironment env_;
};

// A method of the skeleton: one procedure call inserting `value` and returning `code`.
std::int32_t InsertRow(const std::string& value, std::int32_t code) {
  MethodFrame frame("Reports.FrameTestInsert");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("FrameTestInsert");
    command.GetParameters().Append(
        command.CreateParameter("@Value", data::adVarChar, data::adParamInput, 50, value));
    command.GetParameters().Append(
        command.CreateParameter("@Code", data::adInteger, data::adParamInput, 4, code));
    call.Execute(command);
  });
}

// Runs `method` as a root call does: in a new object context.
template <class Method>
std::int32_t AsRootCall(bool transactional, Method method) {
  com::ContextCall context(transactional);
  std::int32_t result = method();
  context.End();
  return result;
}

const std::vector<std::string> kOpenLines = {"Call function CommonMethods.DBConnectionOpen",
                                             "Call function CommonMethods.DBConnStringInit",
                                             "",  // AppConfig path, checked apart
                                             "DataSource: (local)",
                                             "InitialCatalog: TamselDB",
                                             "CommonMethods.DBConnStringInit no errors",
                                             "CommonMethods.DBConnectionOpen no errors"};
const std::vector<std::string> kCloseLines = {"Call function CommonMethods.DBConnectionClose",
                                              "CommonMethods.DBConnectionClose no errors"};

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<std::string> WithoutConfigPath(std::vector<std::string> texts) {
  for (std::string& text : texts) {
    if (text.rfind("AppConfig path: ", 0) == 0) text.clear();
  }
  return texts;
}

TEST_F(MethodFrameTest, SuccessCommitsAndTracesEveryStep) {
  EXPECT_EQ(AsRootCall(true, [] { return InsertRow("a", 0); }), 0);
  EXPECT_THAT(Rows(), ElementsAre("a"));
  EXPECT_THAT(WithoutConfigPath(env_.TraceTexts()),
              ElementsAreArray(Lines({{">>>Reports.FrameTestInsert"},
                                      kOpenLines,
                                      {"->Executing FrameTestInsert, a, 0"},
                                      kCloseLines,
                                      {"Reports.FrameTestInsert no errors - lngRetVal=0"}})));
  EXPECT_TRUE(CommonMethods::State().sLogFileName.empty());
  EXPECT_TRUE(CommonMethods::State().sDBConnString.empty());
}

TEST_F(MethodFrameTest, CallOutsideATransactionGivesMinus102AndOpensNoConnection) {
  EXPECT_EQ(AsRootCall(false, [] { return InsertRow("a", 0); }), -102);
  EXPECT_THAT(Rows(), ElementsAre());
  EXPECT_THAT(env_.TraceTexts(),
              ElementsAreArray(Lines({{">>>Reports.FrameTestInsert"},
                                      kCloseLines,
                                      {"*** ->Reports.FrameTestInsert error: lngRetVal=-102; "
                                       "Err.Description= This call requires transaction"}})));
}

TEST_F(MethodFrameTest, ProcedureReturningFiveGivesFiveAndRollsBack) {
  EXPECT_EQ(AsRootCall(true, [] { return InsertRow("a", 5); }), 5);
  EXPECT_THAT(Rows(), ElementsAre());
  EXPECT_THAT(WithoutConfigPath(env_.TraceTexts()),
              ElementsAreArray(Lines(
                  {{">>>Reports.FrameTestInsert"},
                   kOpenLines,
                   {"->Executing FrameTestInsert, a, 5"},
                   kCloseLines,
                   {"*** ->Reports.FrameTestInsert error: lngRetVal=5; Err.Description= "}})));
}

TEST_F(MethodFrameTest, RaisedErrorsBecomeTheResultWithTheirDescription) {
  // The provider's error for an unknown procedure, a negative HRESULT.
  std::int32_t code = AsRootCall(true, [] {
    MethodFrame frame("AppAdmin.Missing");
    return frame.Run([](MethodFrame& call) {
      data::Command command = call.StoredProcedure("NoSuchProcedure");
      call.Execute(command);
    });
  });
  EXPECT_EQ(code, static_cast<std::int32_t>(0x80040E14u));
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->AppAdmin.Missing error: lngRetVal=-2147217900; Err.Description= Could not "
            "find stored procedure 'NoSuchProcedure'.");

  // A conversion in the body: the VB number.
  EXPECT_EQ(AsRootCall(true,
                       [] {
                         MethodFrame frame("AppAdmin.Convert");
                         return frame.Run([](MethodFrame&) { com::Variant("x7").CLng(); });
                       }),
            13);
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->AppAdmin.Convert error: lngRetVal=13; Err.Description= Type mismatch");
}

TEST_F(MethodFrameTest, ConfigurationFailureIsTheResultOfTheMethod) {
  env_.WriteAppConfig(
      "<c><DATABASE DBServer=\"(local)\" DBName=\"TamselDB\" UseNTAuthentication=\"1\" "
      "DBUserName=\"u\"/><LOGFILE LogFilePath=\"" +
      env_.TraceFolder().string() + "\"/></c>");
  EXPECT_EQ(AsRootCall(true, [] { return InsertRow("a", 0); }), 94);
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_THAT(texts, Contains("CommonMethods.DBConnStringInit errors 94 - Invalid use of Null"));
  EXPECT_THAT(texts, Contains("CommonMethods.DBConnectionOpen errors 94 - "));
  EXPECT_EQ(texts.back(), "*** ->Reports.FrameTestInsert error: lngRetVal=94; Err.Description= ");
}

TEST_F(MethodFrameTest, PasswordsAreMaskedInTheExecutingLine) {
  AsRootCall(true, [] {
    MethodFrame frame("AppAdmin.AppUserLogIn");
    return frame.Run([](MethodFrame& call) {
      data::Command command = call.StoredProcedure("FrameTestLogIn");
      command.GetParameters().Append(command.CreateParameter(
          "@AppUserName", data::adVarChar, data::adParamInput, 50, com::Variant("alice")));
      command.GetParameters().Append(command.CreateParameter(
          "@AppUserPassword", data::adVarChar, data::adParamInput, 20, com::Variant("s3cr, et")));
      call.Execute(command);
    });
  });
  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_THAT(texts, Contains("->Executing FrameTestLogIn, alice, ********"));
  for (const std::string& text : texts) EXPECT_EQ(text.find("s3cr"), std::string::npos);
}

// --- Nested calls through the public interface ---

std::int32_t NestedInsert(const std::string& value, std::int32_t code);

const com::InterfaceInfo& NestingInterface() {
  using com::ParamType;
  static const com::InterfaceInfo info(
      "_FrameTest", com::Guid(),
      {{"Insert", {{"value", ParamType::BStr}, {"code", ParamType::Long}}, ParamType::Long},
       {"InsertAndNest",
        {{"value", ParamType::BStr}, {"nestedCode", ParamType::Long}, {"code", ParamType::Long}},
        ParamType::Long}});
  return info;
}

std::int32_t InsertAndNest(const std::string& value, std::int32_t nestedCode, std::int32_t code);

std::shared_ptr<com::IDispatchObject> NewObject(bool transactional) {
  static const std::vector<com::MethodBody> bodies = {
      com::Bind<&NestedInsert>(NestingInterface().Methods()[0]),
      com::Bind<&InsertAndNest>(NestingInterface().Methods()[1])};
  return std::make_shared<com::AutomationObject>(
      NestingInterface(), "Reports", [](std::size_t slot) { return bodies[slot]; },
      com::Activation{transactional});
}

std::int32_t NestedInsert(const std::string& value, std::int32_t code) {
  return InsertRow(value, code);
}

// Inserts `value`, then calls Insert("nested", nestedCode) through the public interface and
// ignores its result; then fails with `code` when it is not 0.
std::int32_t InsertAndNest(const std::string& value, std::int32_t nestedCode, std::int32_t code) {
  MethodFrame frame("Reports.InsertAndNest");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("FrameTestInsert");
    command.GetParameters().Append(
        command.CreateParameter("@Value", data::adVarChar, data::adParamInput, 50, value));
    command.GetParameters().Append(
        command.CreateParameter("@Code", data::adInteger, data::adParamInput, 4, 0));
    call.Execute(command);
    com::Arguments args{com::Variant("nested"), com::Variant(nestedCode)};
    com::CallByName(*NewObject(false), "Insert", args);
    if (code != 0) call.Fail(code);
  });
}

std::int32_t CallInsertAndNest(std::int32_t nestedCode, std::int32_t code) {
  com::Arguments args{com::Variant("root"), com::Variant(nestedCode), com::Variant(code)};
  return com::CallByName(*NewObject(true), "InsertAndNest", args).CLng();
}

TEST_F(MethodFrameTest, NestedCallsShareTheRootTransactionAndItsVotes) {
  // Both vote complete: one commit holds both rows. The nested object was made without a
  // transaction of its own, yet it joins the root's context.
  EXPECT_EQ(CallInsertAndNest(0, 0), 0);
  EXPECT_THAT(Rows(), ElementsAre("root", "nested"));

  // The nested call votes abort, the root complete: the abort dooms the whole call.
  EXPECT_EQ(CallInsertAndNest(5, 0), 0);
  EXPECT_THAT(Rows(), ElementsAre("root", "nested"));

  // The nested call votes complete, the root abort: nothing of the call remains.
  EXPECT_EQ(CallInsertAndNest(0, 7), 7);
  EXPECT_THAT(Rows(), ElementsAre("root", "nested"));

  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_THAT(texts, Contains("*** ->Reports.FrameTestInsert error: lngRetVal=5; "
                              "Err.Description= "));
  EXPECT_THAT(texts, Contains("*** ->Reports.InsertAndNest error: lngRetVal=7; "
                              "Err.Description= "));
  EXPECT_THAT(texts, Not(Contains(::testing::HasSubstr("-102"))));
}

}  // namespace
}  // namespace tamsel::reports
