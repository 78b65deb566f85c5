// Where a collection pass's time goes, summed over its logs: archiving (backup and clear),
// reading backups (from opening one to its last record stored), the commits within that, the
// CPU time of the reading and of the storing threads, and deleting backups read whole. Kept
// for the pass in progress and traced at its end, so a slow pass shows which step it was.
#pragma once

#include <chrono>

namespace tamsel::collector {

struct PassSplit {
  double archiveSeconds = 0;
  double readSeconds = 0;
  double commitSeconds = 0;  // within readSeconds, on the storing thread
  // CPU time within readSeconds; what the storing thread does not use of readSeconds it
  // spends waiting for records.
  double readerCpuSeconds = 0;
  double storerCpuSeconds = 0;
  double deleteSeconds = 0;
};

// The CPU time of the calling thread so far.
double ThreadCpuSeconds();

// Adds the wall time of its scope to `sum`.
class ScopedSeconds {
 public:
  explicit ScopedSeconds(double& sum) : sum_(sum), start_(std::chrono::steady_clock::now()) {}
  ~ScopedSeconds() {
    sum_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  ScopedSeconds(const ScopedSeconds&) = delete;
  ScopedSeconds& operator=(const ScopedSeconds&) = delete;

 private:
  double& sum_;
  std::chrono::steady_clock::time_point start_;
};

// Adds the calling thread's CPU time of its scope to `sum`.
class ScopedCpuSeconds {
 public:
  explicit ScopedCpuSeconds(double& sum) : sum_(sum), start_(ThreadCpuSeconds()) {}
  ~ScopedCpuSeconds() { sum_ += ThreadCpuSeconds() - start_; }
  ScopedCpuSeconds(const ScopedCpuSeconds&) = delete;
  ScopedCpuSeconds& operator=(const ScopedCpuSeconds&) = delete;

 private:
  double& sum_;
  double start_;
};

}  // namespace tamsel::collector
