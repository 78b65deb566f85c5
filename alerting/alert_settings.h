// The settings of TamselAlerts, kept in its service's Parameters key and read at every period,
// so a change takes effect without a restart.
#pragma once

#include <string>

namespace tamsel::alerting {

inline constexpr const char* kAlertsServiceName = "TamselAlerts";

struct AlertSettings {
  int evaluationPeriod = 60;  // seconds
  std::string smtpServer;
  int smtpPort = 25;
  std::string smtpSecurity = "none";  // none, starttls, tls
  std::string smtpUser;
  std::string smtpPassword;
  std::string mailFrom;
  std::string webBaseUrl;
  int maxEntriesPerMail = 50;
  int deferHorizonDays = 7;  // entries older than this are counted, not mailed
  // The database, as the collector reaches it.
  std::string databaseServerName;
  int ntAuthentication = 0;
  std::string dbUserName;
  std::string dbPassword;

  // The ADO connection string of TamselDB.
  std::string ConnectionString() const;
};

// The settings under HKLM\SYSTEM\CurrentControlSet\Services\<serviceName>\Parameters; missing
// or unusable values keep their defaults.
AlertSettings ReadAlertSettings(const std::string& serviceName = kAlertsServiceName);

}  // namespace tamsel::alerting
