// Reading the Parameters key of TamselAlerts.
#include "alerting/alert_settings.h"

#include <cctype>

#include "platform/registry/registry.h"

namespace tamsel::alerting {

namespace reg = platform::registry;

namespace {

// A DWORD setting that must be positive to mean anything.
void ReadPositive(const reg::RegistryKey& key, const char* name, int& value) {
  reg::DWORD stored = 0;
  if (key.GetDword(name, stored) == 0 && stored > 0 && stored <= 0x7fffffffu) {
    value = static_cast<int>(stored);
  }
}

void ReadText(const reg::RegistryKey& key, const char* name, std::string& value) {
  std::string stored;
  if (key.GetString(name, stored) == 0) value = stored;
}

}  // namespace

std::string AlertSettings::ConnectionString() const {
  std::string text =
      "Provider=sqloledb;Data Source=" + databaseServerName + ";Initial Catalog=TamselDB";
  if (ntAuthentication != 0) return text + ";TRUSTED_CONNECTION=YES;";
  return text + ";User Id=" + dbUserName + ";Password=" + dbPassword + ";";
}

AlertSettings ReadAlertSettings(const std::string& serviceName) {
  AlertSettings settings;
  reg::RegistryKey key;
  if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Services\\" + serviceName + "\\Parameters",
                             reg::KEY_READ, key) != 0) {
    return settings;
  }
  ReadPositive(key, "EvaluationPeriod", settings.evaluationPeriod);
  ReadText(key, "SmtpServer", settings.smtpServer);
  reg::DWORD port = 0;
  if (key.GetDword("SmtpPort", port) == 0 && port > 0 && port < 65536) {
    settings.smtpPort = static_cast<int>(port);
  }
  ReadText(key, "SmtpSecurity", settings.smtpSecurity);
  for (char& c : settings.smtpSecurity)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ReadText(key, "SmtpUser", settings.smtpUser);
  ReadText(key, "SmtpPassword", settings.smtpPassword);
  ReadText(key, "MailFrom", settings.mailFrom);
  ReadText(key, "WebBaseUrl", settings.webBaseUrl);
  ReadPositive(key, "MaxEntriesPerMail", settings.maxEntriesPerMail);
  ReadPositive(key, "DeferHorizonDays", settings.deferHorizonDays);
  ReadText(key, "DatabaseServerName", settings.databaseServerName);
  reg::DWORD nt = 0;
  if (key.GetDword("DBUseNTAuthentication", nt) == 0) settings.ntAuthentication = nt != 0;
  if (settings.ntAuthentication == 0) {
    ReadText(key, "DBUserName", settings.dbUserName);
    ReadText(key, "DBPassword", settings.dbPassword);
  }
  return settings;
}

}  // namespace tamsel::alerting
