// Backing off from a mail server that cannot be reached: after the n-th failure in a row the
// next try waits n-1 doublings of the period, at most an hour.
#pragma once

#include <ctime>

namespace tamsel::alerting {

class SendBackoff {
 public:
  bool MayTry(std::time_t now) const { return failures_ == 0 || now >= retryAt_; }
  void Failed(std::time_t now, int periodSeconds);
  void Succeeded() { failures_ = 0; }
  int Failures() const { return failures_; }

 private:
  int failures_ = 0;
  std::time_t retryAt_ = 0;
};

}  // namespace tamsel::alerting
