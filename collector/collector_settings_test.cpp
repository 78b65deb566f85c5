// Tests of the collector's settings: reading at start with defaults, the values written back,
// the writers and their failure traces, and the state counter under the Status key.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/collector_service.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "service/test_support.h"

namespace tamsel::collector {
namespace {

namespace reg = platform::registry;
using service::testing::ApplicationEvents;
using ::testing::ElementsAre;

constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\Tamsel\\Parameters";
constexpr const char* kStatus = "SYSTEM\\CurrentControlSet\\Services\\Tamsel\\Status";

class CollectorSettingsTest : public ::testing::Test {
 protected:
  reg::RegistryKey Key(const char* path) {
    reg::RegistryKey key;
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE, path, key);
    return key;
  }
  bool Exists(const char* path) {
    reg::RegistryKey key;
    return reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, path, reg::KEY_READ, key) == 0;
  }
  DWORD Dword(const char* path, const char* name) {
    DWORD value = 0xDEADBEEF;
    Key(path).GetDword(name, value);
    return value;
  }

  service::testing::ServiceTestEnvironment environment_;
  CCollectorService service_{"Tamsel"};
};

TEST_F(CollectorSettingsTest, MissingParametersKeyGivesDefaultsAndIsCreated) {
  ASSERT_FALSE(Exists(kParameters));
  EXPECT_TRUE(service_.OnInit());
  EXPECT_EQ(service_.stateStart_, 0);
  EXPECT_EQ(service_.stateIncrement_, 1);
  EXPECT_EQ(service_.stateCounter_, 0);
  EXPECT_EQ(service_.refreshRate_, 900000);
  EXPECT_EQ(service_.ntAuthentication_, 0);
  EXPECT_EQ(service_.logFileFlag_, 0);
  EXPECT_EQ(service_.catalog_, "TamselDB");
  EXPECT_EQ(service_.databaseServerName_, "");
  EXPECT_EQ(service_.backupPath_, "");
  EXPECT_EQ(Dword(kParameters, "RefreshRate"), 900000u);
  EXPECT_EQ(Dword(kStatus, "Current"), 0u);
  EXPECT_THAT(environment_.Trace(),
              ElementsAre(std::string("Creating key: ") + kParameters,
                          std::string("Creating key: ") + kStatus, "Saving 'Current' as 0"));
  EXPECT_TRUE(ApplicationEvents().empty());
}

TEST_F(CollectorSettingsTest, EverySettingIsReadWithItsRules) {
  reg::RegistryKey key = Key(kParameters);
  key.SetDword("Start", 7);
  key.SetDword("Inc", 3);
  key.SetDword("RefreshRate", 0);  // kept: only a negative rate is replaced
  key.SetDword("DBUseNTAuthentication", 0);
  key.SetString("DatabaseServerName", "SQL1");
  key.SetString("DBUserName", "collector");
  key.SetString("BakupPath", "D:\\EventBackups");
  key.SetString("LogFilePath", "C:\\logs\\tamsel.log");
  // No DBPassword: an empty password.
  service_.password_ = "before";
  EXPECT_TRUE(service_.OnInit());
  EXPECT_EQ(service_.stateStart_, 7);
  EXPECT_EQ(service_.stateIncrement_, 3);
  EXPECT_EQ(service_.stateCounter_, 7);
  EXPECT_EQ(service_.refreshRate_, 0);
  EXPECT_EQ(Dword(kParameters, "RefreshRate"), 0u);
  EXPECT_EQ(Dword(kStatus, "Current"), 7u);
  EXPECT_EQ(service_.databaseServerName_, "SQL1");
  EXPECT_EQ(service_.userName_, "collector");
  EXPECT_EQ(service_.password_, "");
  EXPECT_EQ(service_.backupPath_, "D:\\EventBackups");
  EXPECT_EQ(service_.logFileFlag_, 1);
  EXPECT_EQ(service_.logFilePath_, "C:\\logs\\tamsel.log");
  auto events = ApplicationEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, service::EVMSG_WARNING);
  EXPECT_EQ(events[0].type, service::EVENTLOG_INFORMATION_TYPE);
  EXPECT_THAT(events[0].strings,
              ElementsAre("Logging \"enabled\".  Log file: C:\\logs\\tamsel.log"));
}

TEST_F(CollectorSettingsTest, NtAuthenticationSkipsUserAndPassword) {
  reg::RegistryKey key = Key(kParameters);
  key.SetDword("DBUseNTAuthentication", 1);
  key.SetString("DBUserName", "sa");
  key.SetString("DBPassword", "secret");
  service_.OnInit();
  EXPECT_EQ(service_.ntAuthentication_, 1);
  EXPECT_EQ(service_.userName_, "");
  EXPECT_EQ(service_.password_, "");
}

TEST_F(CollectorSettingsTest, EmptyStringsKeepDefaultsAndNegativeRateIsReplaced) {
  reg::RegistryKey key = Key(kParameters);
  key.SetString("DatabaseServerName", "");
  key.SetString("BakupPath", "");
  key.SetString("DBUserName", "");
  key.SetString("LogFilePath", "");
  key.SetDword("RefreshRate", 0xFFFFFFF0u);
  service_.databaseServerName_ = "default server";
  service_.backupPath_ = "default path";
  service_.userName_ = "default user";
  service_.OnInit();
  EXPECT_EQ(service_.databaseServerName_, "default server");
  EXPECT_EQ(service_.backupPath_, "default path");
  EXPECT_EQ(service_.userName_, "default user");
  EXPECT_EQ(service_.logFileFlag_, 0);
  EXPECT_EQ(service_.refreshRate_, 900000);
  EXPECT_EQ(Dword(kParameters, "RefreshRate"), 900000u);
  EXPECT_TRUE(ApplicationEvents().empty());
}

TEST_F(CollectorSettingsTest, ValueWidthsAreBounded) {
  reg::RegistryKey key = Key(kParameters);
  // A DWORD is read as four bytes whatever type it was stored with; shorter data is
  // zero-extended, longer data leaves the default.
  key.SetBinary("Inc", {0x10, 0x00});
  key.SetString("Start", "a long text");
  key.SetString("DatabaseServerName", std::string(255, 's'));
  key.SetString("BakupPath", std::string(256, 'b'));  // with its NUL, 257 bytes: too long
  service_.backupPath_ = "default path";
  service_.OnInit();
  EXPECT_EQ(service_.stateIncrement_, 16);
  EXPECT_EQ(service_.stateStart_, 0);
  EXPECT_EQ(service_.databaseServerName_, std::string(255, 's'));
  EXPECT_EQ(service_.backupPath_, "default path");
  EXPECT_THAT(environment_.Trace(),
              ::testing::Contains("Value 'BakupPath' is too long (257 bytes) and was ignored"));
}

TEST_F(CollectorSettingsTest, WritersStoreTheirValues) {
  EXPECT_EQ(service_.SetRefreshRate(120000), 1);
  EXPECT_EQ(service_.refreshRate_, 120000);
  EXPECT_EQ(service_.SetNTAuthentication(1), 0);
  EXPECT_EQ(service_.ntAuthentication_, 0);  // the member is the running service's, untouched
  EXPECT_EQ(service_.SetParameterString("DBPassword", "pa ss"), 1);
  EXPECT_EQ(Dword(kParameters, "RefreshRate"), 120000u);
  EXPECT_EQ(Dword(kParameters, "DBUseNTAuthentication"), 1u);
  std::vector<std::uint8_t> data;
  reg::DWORD type = 0;
  Key(kParameters).GetBinary("DBPassword", data, type);
  EXPECT_EQ(type, reg::REG_SZ);
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string("pa ss") + '\0');

  service_.stateCounter_ = 42;
  EXPECT_TRUE(service_.OnUserControl(128));
  EXPECT_EQ(Dword(kStatus, "Current"), 42u);
  service_.stateCounter_ = 43;
  EXPECT_FALSE(service_.OnUserControl(129));
  EXPECT_EQ(Dword(kStatus, "Current"), 42u);
}

TEST_F(CollectorSettingsTest, WriterFailuresAreTracedAndReturned) {
  // Without the machine's folder its registry cannot be written.
  std::filesystem::remove_all(environment_.Root() / "net" / "SRV01");
  environment_.ClearTrace();
  int parameterResult = service_.SetParameterString("DatabaseServerName", "SQL1");
  int ntResult = service_.SetNTAuthentication(1);
  service_.SaveCurrentState();
  EXPECT_NE(parameterResult, 0);
  EXPECT_NE(parameterResult, 1);
  EXPECT_EQ(ntResult, parameterResult);
  std::string code = std::to_string(parameterResult);
  std::vector<std::string> trace = environment_.Trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[1], "Failed to create the reg key (" + code + ")");
  EXPECT_EQ(trace[3], "Failed to create key (" + code + ")");
  EXPECT_EQ(trace[5], "Failed to create Status key (" + code + ")");
}

}  // namespace
}  // namespace tamsel::collector
