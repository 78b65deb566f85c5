// CAlertsService: start-up, the work loop and one evaluation period.
#include "alerting/alerts_service.h"

#include <exception>

#include "platform/registry/registry.h"
#include "service/service_clock.h"

namespace tamsel::alerting {

namespace reg = platform::registry;

namespace {
constexpr std::uint32_t kTickMilliseconds = 1000;
}

CAlertsService::CAlertsService(const char* serviceName)
    : CNTService(serviceName), clock_(ClockFromEnvironment()) {}

CAlertsService::~CAlertsService() = default;

service::BOOL CAlertsService::OnInit() {
  settings_ = ReadAlertSettings(serviceName_);
  periods_ = 0;
  SavePeriodCount();
  return service::TRUE;
}

void CAlertsService::Report(const AlertEvent& event) {
  const char* strings[3] = {nullptr, nullptr, nullptr};
  for (std::size_t index = 0; index < event.strings.size() && index < 3; ++index) {
    strings[index] = event.strings[index].c_str();
  }
  ReportServiceEvent(event.type, event.id, strings[0], strings[1], strings[2]);
}

void CAlertsService::SavePeriodCount() {
  reg::RegistryKey key;
  if (reg::RegistryKey::Create(
          reg::HKEY_LOCAL_MACHINE,
          std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName_ + "\\Status",
          key) == 0) {
    key.SetDword("Periods", periods_);
  }
}

void CAlertsService::RunOnePeriod() {
  settings_ = ReadAlertSettings(serviceName_);
  const std::time_t now = clock_->Now();
  try {
    if (!store_) {
      store_ = std::make_unique<AlertStore>(settings_.ConnectionString());
      evaluator_ = std::make_unique<AlertEvaluator>(
          *store_, sender_, [this](const AlertEvent& event) { Report(event); });
    }
    const bool maySend = backoff_.MayTry(now);
    PeriodResult result = evaluator_->RunPeriod(settings_, now, maySend);
    TraceMessage("Period: %d sent, %d deferred, %d failed, %lld expired", result.sent,
                 result.deferred, result.failed, static_cast<long long>(result.expired));
    lastFailure_.clear();
    if (result.unreachable) {
      backoff_.Failed(now, settings_.evaluationPeriod);
    } else if (maySend) {
      backoff_.Succeeded();
    }
  } catch (const std::exception& error) {
    // The connection is opened afresh next period.
    evaluator_.reset();
    store_.reset();
    // A database that stays away is reported once, not every period.
    if (lastFailure_ != error.what()) {
      lastFailure_ = error.what();
      Report({service::EVENTLOG_ERROR_TYPE, kEventPeriodFailed, {lastFailure_}});
    }
  }
  ++periods_;
  SavePeriodCount();
}

void CAlertsService::Run() {
  while (running_) {
    RunOnePeriod();
    const std::int64_t period = static_cast<std::int64_t>(settings_.evaluationPeriod) * 1000;
    for (std::int64_t waited = 0; running_ && waited < period; waited += kTickMilliseconds) {
      service::Sleep(kTickMilliseconds);
    }
  }
}

}  // namespace tamsel::alerting
