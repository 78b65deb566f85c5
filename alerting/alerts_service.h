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
#include "service/nt_service.h"

namespace tamsel::alerting {

class CAlertsService : public service::CNTService {
 public:
  explicit CAlertsService(const char* serviceName = kAlertsServiceName);
  ~CAlertsService() override;

  void Run() override;
  service::BOOL OnInit() override;

  // One period: settings, database, evaluation, backoff. Failures become event 114.
  void RunOnePeriod();

 private:
  void Report(const AlertEvent& event);
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
