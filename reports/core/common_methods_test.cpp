// Tests of CommonMethods: configuration and connection string, the trace file and its lines,
// the per-thread module state.
#include "reports/core/common_methods.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "platform/registry/regional_settings.h"
#include "platform/registry/registry.h"
#include "reports/core/clock.h"
#include "reports/core/component_test_support.h"
#include "reports/core/trace_file.h"

namespace tamsel::reports {
namespace {

using testing::ComponentTestEnvironment;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kDatabaseHead = "<c><DATABASE DBServer=\"SQL01\" DBName=\"TamselDB\" ";

// A configuration whose trace goes to the environment's trace folder.
std::string WithLogFile(const ComponentTestEnvironment& env, std::string config) {
  config.insert(config.rfind("</c>"),
                "<LOGFILE LogFilePath=\"" + env.TraceFolder().string() + "\"/>");
  return config;
}

TEST(ConnectionStringTest, BothAuthenticationFormsInsertTheValuesAsRead) {
  ComponentTestEnvironment env;
  env.WriteAppConfig(WithLogFile(
      env, std::string(kDatabaseHead) +
               "UseNTAuthentication=\"0\" DBUserName=\"web;x\" DBPassword=\"p w\"/></c>"));
  ASSERT_EQ(CommonMethods::DBConnStringInit(), 0);
  EXPECT_EQ(CommonMethods::State().sDBConnString,
            "Provider=SQLOLEDB;Data Source=SQL01;Initial Catalog=TamselDB;user id=web;x;"
            "password=p w");

  CommonMethods::ModuleStateClear();
  env.WriteAppConfig(WithLogFile(
      env, std::string(kDatabaseHead) +
               "UseNTAuthentication=\"-1\" DBUserName=\"web\" DBPassword=\"pw\"/></c>"));
  ASSERT_EQ(CommonMethods::DBConnStringInit(), 0);
  EXPECT_EQ(CommonMethods::State().sDBConnString,
            "Provider=SQLOLEDB;Data Source=SQL01;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES");

  // The trace names the file, server and catalog, never the connection string.
  std::vector<std::string> texts = env.TraceTexts();
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts[0], "Call function CommonMethods.DBConnStringInit");
  EXPECT_EQ(texts[1], "AppConfig path: " + env.AppConfigFile().string());
  EXPECT_EQ(texts[2], "DataSource: SQL01");
  EXPECT_EQ(texts[3], "InitialCatalog: TamselDB");
  EXPECT_EQ(texts[4], "CommonMethods.DBConnStringInit no errors");
  for (const std::string& text : texts) EXPECT_THAT(text, ::testing::Not(HasSubstr("pw")));
}

TEST(ConnectionStringTest, ConfigurationFaultsGiveTheirCodesAndTraceLines) {
  ComponentTestEnvironment env;
  struct Case {
    std::string config;
    std::int32_t code;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"", -103, ""},
      {"<c><DATABASE DBServer=\"x\"></c>", -103, ""},
      {"<c><OTHER/></c>", 91, "Object variable or With block variable not set"},
      // Every attribute is required, Windows authentication or not.
      {std::string(kDatabaseHead) + "UseNTAuthentication=\"1\" DBUserName=\"u\"/></c>", 94,
       "Invalid use of Null"},
      {std::string(kDatabaseHead) + "UseNTAuthentication=\"1\" DBPassword=\"p\"/></c>", 94,
       "Invalid use of Null"},
      {"<c><DATABASE DBName=\"d\" UseNTAuthentication=\"0\" DBUserName=\"u\" "
       "DBPassword=\"p\"/></c>",
       94, "Invalid use of Null"},
      {std::string(kDatabaseHead) + "UseNTAuthentication=\"yes\" DBUserName=\"u\" "
                                    "DBPassword=\"p\"/></c>",
       13, "Type mismatch"},
      {std::string(kDatabaseHead) + "UseNTAuthentication=\"40000\" DBUserName=\"u\" "
                                    "DBPassword=\"p\"/></c>",
       6, "Overflow"},
  };
  for (const Case& c : cases) {
    if (c.config.empty()) {
      env.RemoveAppConfig();
    } else {
      env.WriteAppConfig(c.config.find("</c>") == std::string::npos ? c.config
                                                                    : WithLogFile(env, c.config));
    }
    for (const auto& file : env.TraceFiles()) std::filesystem::remove(file);
    CommonMethods::ModuleStateClear();
    std::optional<platform::data::Connection> conn;
    EXPECT_EQ(CommonMethods::DBConnectionOpen(conn), c.code) << c.config;
    EXPECT_TRUE(CommonMethods::State().sDBConnString.empty());
    std::vector<std::string> texts = env.TraceTexts();
    if (c.code == -103) continue;  // without a configuration the trace goes elsewhere
    ASSERT_GE(texts.size(), 2u) << c.config;
    EXPECT_EQ(texts[texts.size() - 2], "CommonMethods.DBConnStringInit errors " +
                                           std::to_string(c.code) + " - " + c.description);
    EXPECT_EQ(texts.back(),
              "CommonMethods.DBConnectionOpen errors " + std::to_string(c.code) + " - ");
  }
}

TEST(ConnectionStringTest, TheSampleConfigurationIsComplete) {
  ComponentTestEnvironment env;
  // Beside this folder (the file name the compiler was given is absolute).
  std::ifstream sample(std::filesystem::path(__FILE__).parent_path().parent_path() /
                       "AppConfig.sample.xml");
  ASSERT_TRUE(sample.good());
  env.WriteAppConfig(std::string(std::istreambuf_iterator<char>(sample), {}));
  ASSERT_EQ(CommonMethods::DBConnStringInit(), 0);
  EXPECT_EQ(
      CommonMethods::State().sDBConnString,
      "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES");
  std::string folder;
  EXPECT_EQ(CommonMethods::LogFolderGet(folder), 0);
  EXPECT_EQ(folder, "/var/log/tamsel");
}

TEST(TraceFileTest, MissingConfigurationTracesToTheRootOfTheCurrentDrive) {
  ComponentTestEnvironment env;
  env.RemoveAppConfig();
  ScopedClockForTesting clock([] { return MakeLocalTime(2026, 12, 7, 6, 5, 0); });
  std::optional<platform::data::Connection> conn;
  EXPECT_EQ(CommonMethods::DBConnectionOpen(conn), -103);
  EXPECT_EQ(CommonMethods::State().sLogFileName, "\\TamselReportsCom12072026_06.txt");
  std::filesystem::path file = env.Root() / "network" / ComponentTestEnvironment::kMachine /
                               "drives" / "C" / "TamselReportsCom12072026_06.txt";
  ASSERT_TRUE(std::filesystem::exists(file));
  std::vector<std::string> lines = ComponentTestEnvironment::RawLines(file);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_THAT(lines[3], HasSubstr("\tCommonMethods.DBConnStringInit errors -103 - \r\n"));
  EXPECT_THAT(lines[4], HasSubstr("\tCommonMethods.DBConnectionOpen errors -103 - \r\n"));
}

TEST(TraceFileTest, NamesFollowTheHourChosenAtTheFirstLineOfACall) {
  ComponentTestEnvironment env;
  std::tm now = MakeLocalTime(2026, 12, 31, 23, 59, 59);
  ScopedClockForTesting clock([&] { return now; });
  CommonMethods::TraceWrite(">>>Reports.HeartBitCheck");
  now = MakeLocalTime(2027, 1, 1, 0, 0, 5);  // the call runs on into the new year
  CommonMethods::TraceWrite("Reports.HeartBitCheck no errors - lngRetVal=0");
  EXPECT_EQ(CommonMethods::State().sLogFileName,
            (env.TraceFolder() / "TamselReportsCom12312026_23.txt").string());
  CommonMethods::ModuleStateClear();
  CommonMethods::TraceWrite(">>>Reports.HeartBitCheck");  // the next call
  std::vector<std::filesystem::path> files = env.TraceFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].filename(), "TamselReportsCom01012027_00.txt");
  EXPECT_EQ(files[1].filename(), "TamselReportsCom12312026_23.txt");
  EXPECT_EQ(ComponentTestEnvironment::RawLines(files[1]).size(), 2u);
  EXPECT_EQ(ComponentTestEnvironment::RawLines(files[0]).size(), 1u);

  EXPECT_EQ(TraceFileName("D:\\Logs", MakeLocalTime(2027, 3, 4, 9, 0, 0)),
            "D:\\Logs\\TamselReportsCom03042027_09.txt");
  EXPECT_EQ(TraceFileName("/var/log/tamsel", MakeLocalTime(2027, 10, 14, 17, 0, 0)),
            "/var/log/tamsel/TamselReportsCom10142027_17.txt");
}

TEST(TraceFileTest, LinesCarryRegionalDateAndTimeThenTabAndEndInCrLf) {
  ComponentTestEnvironment env;
  ScopedClockForTesting clock([] { return MakeLocalTime(2026, 3, 5, 14, 7, 9); });
  CommonMethods::TraceWrite("first");
  {
    namespace reg = platform::registry;
    reg::RegistryKey international;
    ASSERT_EQ(
        reg::RegistryKey::Create(reg::HKEY_CURRENT_USER, reg::kInternationalKey, international), 0);
    international.SetString("sShortDate", "dd.MM.yyyy");
    international.SetString("sTimeFormat", "HH:mm:ss");
  }
  CommonMethods::ModuleStateClear();  // the formats are read again by the next call
  CommonMethods::TraceWrite("second\twith tab");
  std::vector<std::filesystem::path> files = env.TraceFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(
      ComponentTestEnvironment::RawLines(files[0]),
      ElementsAre("3/5/2026 2:07:09 PM\tfirst\r\n", "05.03.2026 14:07:09\tsecond\twith tab\r\n"));
}

TEST(TraceFileTest, ConcurrentWritersNeverInterleaveOrLoseLines) {
  ComponentTestEnvironment env;
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string text(300, char('a' + t));
      for (int i = 0; i < kLines; ++i) CommonMethods::TraceWrite(text);
      CommonMethods::ModuleStateClear();
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> texts = env.TraceTexts();
  ASSERT_EQ(texts.size(), std::size_t(kThreads * kLines));
  for (const std::string& text : texts) {
    ASSERT_EQ(text.size(), 300u);
    EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
  }
}

TEST(ModuleStateTest, EachThreadHasItsOwnStateAndClearingTouchesOnlyItsOwn) {
  ComponentTestEnvironment env;
  ASSERT_EQ(CommonMethods::DBConnStringInit(), 0);
  std::string mine = CommonMethods::State().sDBConnString;
  ASSERT_FALSE(mine.empty());
  std::string otherAtStart = "unset";
  std::string otherAfterItsInit;
  std::thread other([&] {
    otherAtStart = CommonMethods::State().sDBConnString + CommonMethods::State().sLogFileName;
    env.WriteAppConfig(
        "<c><DATABASE DBServer=\"OTHER\" DBName=\"X\" UseNTAuthentication=\"1\" "
        "DBUserName=\"u\" DBPassword=\"p\"/></c>");
    CommonMethods::DBConnStringInit();
    otherAfterItsInit = CommonMethods::State().sDBConnString;
    CommonMethods::ModuleStateClear();
  });
  other.join();
  EXPECT_EQ(otherAtStart, "");
  EXPECT_THAT(otherAfterItsInit, HasSubstr("Data Source=OTHER"));
  EXPECT_EQ(CommonMethods::State().sDBConnString, mine);
  CommonMethods::ModuleStateClear();
  EXPECT_THAT(CommonMethods::State().sDBConnString, IsEmpty());
  EXPECT_THAT(CommonMethods::State().sLogFileName, IsEmpty());
}

}  // namespace
}  // namespace tamsel::reports
