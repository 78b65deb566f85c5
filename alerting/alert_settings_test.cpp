// The settings of TamselAlerts: defaults, values that cannot mean anything kept at their
// default, and the command line's options stored into its own Parameters key.
#include "alerting/alert_settings.h"

#include <gtest/gtest.h>

#include "alerting/alerts_service.h"
#include "platform/registry/registry.h"
#include "service/test_support.h"

namespace tamsel::alerting {
namespace {

namespace reg = platform::registry;

constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\TamselAlerts\\Parameters";

class AlertSettingsTest : public ::testing::Test {
 protected:
  reg::RegistryKey Parameters() {
    reg::RegistryKey key;
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE, kParameters, key);
    return key;
  }
  service::testing::ServiceTestEnvironment environment_;
};

TEST_F(AlertSettingsTest, StoredValuesAndTheirDefaults) {
  AlertSettings defaults = ReadAlertSettings();
  EXPECT_EQ(defaults.evaluationPeriod, 60);
  EXPECT_EQ(defaults.smtpPort, 25);
  EXPECT_EQ(defaults.smtpSecurity, "none");
  EXPECT_EQ(defaults.maxEntriesPerMail, 50);
  EXPECT_EQ(defaults.deferHorizonDays, 7);

  reg::RegistryKey key = Parameters();
  key.SetDword("EvaluationPeriod", 0);   // no period: default kept
  key.SetDword("SmtpPort", 70000);       // no port: default kept
  key.SetDword("MaxEntriesPerMail", 0);  // nothing listed makes no digest: default kept
  key.SetDword("DeferHorizonDays", 2);
  key.SetString("SmtpSecurity", "STARTTLS");
  key.SetString("SmtpServer", "mail.example.com");
  key.SetDword("DBUseNTAuthentication", 1);
  key.SetString("DBPassword", "unused with Windows authentication");
  AlertSettings read = ReadAlertSettings();
  EXPECT_EQ(read.evaluationPeriod, 60);
  EXPECT_EQ(read.smtpPort, 25);
  EXPECT_EQ(read.maxEntriesPerMail, 50);
  EXPECT_EQ(read.deferHorizonDays, 2);
  EXPECT_EQ(read.smtpSecurity, "starttls");
  EXPECT_EQ(read.smtpServer, "mail.example.com");
  EXPECT_EQ(read.dbPassword, "");
  EXPECT_EQ(read.ConnectionString(),
            "Provider=sqloledb;Data Source=;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;");
}

TEST_F(AlertSettingsTest, CommandLineOptionsReachTheServicesOwnKey) {
  CAlertsService service;
  struct Option {
    const char* option;
    const char* value;
  };
  for (const Option& option :
       {Option{"-r", "5"}, Option{"-s", "SQL1"}, Option{"-a", "sender"}, Option{"-p", "secret"}}) {
    char program[] = "TamselAlerts";
    std::string flag = option.option, value = option.value;
    char* argv[] = {program, flag.data(), value.data()};
    EXPECT_TRUE(service.ProcessCommandLine(3, argv)) << option.option;
  }
  AlertSettings read = ReadAlertSettings();
  EXPECT_EQ(read.evaluationPeriod, 300);
  EXPECT_EQ(read.databaseServerName, "SQL1");
  EXPECT_EQ(read.dbUserName, "sender");
  EXPECT_EQ(read.dbPassword, "secret");
}

}  // namespace
}  // namespace tamsel::alerting
