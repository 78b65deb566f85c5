// The replaceable sleep of the work loop.
#include "service/service_clock.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace tamsel::service {

namespace {

std::mutex sleeperMutex;
std::function<void(std::uint32_t)> sleeper;

}  // namespace

void Sleep(std::uint32_t milliseconds) {
  std::function<void(std::uint32_t)> current;
  {
    std::lock_guard lock(sleeperMutex);
    current = sleeper;
  }
  if (current) {
    current(milliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ScopedSleeper::ScopedSleeper(std::function<void(std::uint32_t)> replacement) {
  std::lock_guard lock(sleeperMutex);
  saved_ = std::move(sleeper);
  sleeper = std::move(replacement);
}

ScopedSleeper::~ScopedSleeper() {
  std::lock_guard lock(sleeperMutex);
  sleeper = std::move(saved_);
}

}  // namespace tamsel::service
