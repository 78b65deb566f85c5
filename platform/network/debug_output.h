// OutputDebugString: a debug sink an operator can watch. Silent unless TAMSEL_DEBUG_LOG names
// a file (each text appended in one write) or a test installs a capture.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tamsel::platform::network {

void OutputDebugString(std::string_view text);

// Replaces the sink for a scope (tests); texts go to `capture` instead.
class ScopedDebugCapture {
 public:
  explicit ScopedDebugCapture(std::function<void(std::string_view)> capture);
  ~ScopedDebugCapture();
  ScopedDebugCapture(const ScopedDebugCapture&) = delete;
  ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;

 private:
  std::function<void(std::string_view)> saved_;
};

}  // namespace tamsel::platform::network
