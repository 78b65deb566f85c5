// Crash points: the armed one kills the process with SIGKILL, as a power cut or `kill -9`
// would, with no chance to clean up.
#include "platform/network/crash_point.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace tamsel::platform::network {

namespace {

// The point TAMSEL_CRASH_POINT arms, read once.
struct ArmedPoint {
  ArmedPoint() {
    const char* text = std::getenv("TAMSEL_CRASH_POINT");
    if (text == nullptr || *text == '\0') return;
    std::string value(text);
    const size_t hash = value.find('#');
    name = value.substr(0, hash);
    if (hash != std::string::npos) hit = std::atol(value.c_str() + hash + 1);
    armed = true;
  }
  bool armed = false;
  std::string name;
  long hit = 1;  // the pass that kills
  std::atomic<long> passes{0};
};

ArmedPoint& Armed() {
  static ArmedPoint point;
  return point;
}

}  // namespace

void CrashPoint(std::string_view name) {
  ArmedPoint& point = Armed();
  if (!point.armed || point.name != name) return;
  if (++point.passes == point.hit) kill(getpid(), SIGKILL);
}

}  // namespace tamsel::platform::network
