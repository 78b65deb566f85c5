// The delay after a failed try.
#include "alerting/send_backoff.h"

#include <algorithm>

namespace tamsel::alerting {

namespace {
constexpr std::time_t kLongestWait = 3600;
}

void SendBackoff::Failed(std::time_t now, int periodSeconds) {
  ++failures_;
  std::time_t wait = std::max(periodSeconds, 1);
  for (int doubling = 1; doubling < failures_ && wait < kLongestWait; ++doubling) wait *= 2;
  retryAt_ = now + std::min(wait, kLongestWait);
}

}  // namespace tamsel::alerting
