// The calling thread's CPU clock, for the split of a pass's time.
#include "collector/pass_split.h"

#include <ctime>

namespace tamsel::collector {

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace tamsel::collector
