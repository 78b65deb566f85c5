// CAlertsService: TamselAlerts as a service of the service control substitute. Its work loop
// reads the settings and runs one evaluation period every EvaluationPeriod seconds, backing
// off from a mail server that cannot be reached; its events go to the Application log.
#pragma once

#include <memory>
#include <string>

#include "alerting/alert_clock.h"
#include "alerting/alert_evaluator.h"
#include "alerting/alert_store.h"
#include "alerting/mail_sender.h"
#include "alerting/send_backoff.h"
#include "platform/registry/registry.h"
#include "service/nt_service.h"

namespace tamsel::alerting {

class CAlertsService : public service::CNTService {
 public:
  explicit CAlertsService(const char* serviceName = kAlertsServiceName);
  ~CAlertsService() override;

  // The command line's writers store into this service's Parameters key: "-r n" sets the
  // evaluation period to n minutes, the string options their values, "-n" the authentication.
  int SetRefreshRate(int milliseconds) override;
  int SetNTAuthentication(int useNtAuthentication) override;
  int SetParameterString(const char* valueName, const char* value) override;

  void Run() override;
  service::BOOL OnInit() override;

  // One period: settings, database, evaluation, backoff. Failures become event 114.
  void RunOnePeriod();

 private:
  void Report(const AlertEvent& event);
  // Creates or opens a subkey of the service's key for writing; ERROR_SUCCESS or the error.
  long OpenServiceSubKey(const char* subKey, platform::registry::RegistryKey& key);
  // Status\Periods: the number of periods done since the start, for operators and tests.
  void SavePeriodCount();

  std::unique_ptr<Clock> clock_;
  SmtpMailSender sender_;
  std::unique_ptr<AlertStore> store_;
  std::unique_ptr<AlertEvaluator> evaluator_;
  SendBackoff backoff_;
  AlertSettings settings_;
  unsigned periods_ = 0;
  std::string lastFailure_;  // the last failure reported (event 114)
};

}  // namespace tamsel::alerting
