// CCollectorService::Run: the work loop that starts a collection pass once per refresh period
// and advances the state counter every 5-second tick.
#include <cstdint>

#include "collector/collector_service.h"
#include "service/service_clock.h"

namespace tamsel::collector {

// The whole pass runs on the service thread. The platform's objects need no apartment entered
// first, so there is no COM start-up here that could fail and end the loop before its first pass.
void CCollectorService::Run() {
  // Counted in 64 bits: a refresh rate near the top of int must not overflow the sum.
  std::int64_t elapsed = refreshRate_;
  while (running_) {
    if (elapsed >= refreshRate_) {
      elapsed = 0;
      if (CollectAll() < 0) {
        ReportServiceEvent(service::EVENTLOG_ERROR_TYPE, service::EVMSG_WARNING, kCannotWriteText);
      }
    }
    service::Sleep(kTickMilliseconds);
    elapsed += kTickMilliseconds;
    // The counter wraps around rather than overflowing.
    stateCounter_ = static_cast<int>(static_cast<std::uint32_t>(stateCounter_) +
                                     static_cast<std::uint32_t>(stateIncrement_));
  }
}

}  // namespace tamsel::collector
