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

long CAlertsService::OpenServiceSubKey(const char* subKey, reg::RegistryKey& key) {
  return reg::RegistryKey::Create(
      reg::HKEY_LOCAL_MACHINE,
      std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName_ + "\\" + subKey, key);
}

void CAlertsService::SavePeriodCount() {
  reg::RegistryKey key;
  if (OpenServiceSubKey("Status", key) == 0) key.SetDword("Periods", periods_);
}

int CAlertsService::SetRefreshRate(int milliseconds) {
  reg::RegistryKey key;
  long status = OpenServiceSubKey("Parameters", key);
  if (status != 0) return static_cast<int>(status);
  return static_cast<int>(
      key.SetDword("EvaluationPeriod", static_cast<reg::DWORD>(milliseconds / 1000)));
}

int CAlertsService::SetNTAuthentication(int useNtAuthentication) {
  reg::RegistryKey key;
  long status = OpenServiceSubKey("Parameters", key);
  if (status != 0) return static_cast<int>(status);
  return static_cast<int>(
      key.SetDword("DBUseNTAuthentication", static_cast<reg::DWORD>(useNtAuthentication)));
}

int CAlertsService::SetParameterString(const char* valueName, const char* value) {
  reg::RegistryKey key;
  long status = OpenServiceSubKey("Parameters", key);
  if (status != 0) return static_cast<int>(status);
  status = key.SetString(valueName, value);
  return status == 0 ? 1 : static_cast<int>(status);
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
