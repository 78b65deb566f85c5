// OutputDebugString: a debug sink an operator can watch. Each text gets a priority (syslog's
// numbers: 3 error, 4 warning, 6 info, 7 debug) and is kept when TAMSEL_TRACE_LEVEL (off,
// error, warning, info, debug or a number; debug when unset) lets it through. It goes to:
//   - a capture a test installed;
//   - the file TAMSEL_DEBUG_LOG names;
//   - the journal under systemd: "<N>"-prefixed lines on stderr when stderr is the journal's
//     stream (JOURNAL_STREAM), else the journal's socket when the process belongs to a unit
//     (INVOCATION_ID), as the services the control manager starts do;
//   - otherwise <network root>/log/<program>.log when that folder exists (silent when not).
// When the journal cannot be reached the text goes to that file, its folder made if need be,
// so nothing is lost.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tamsel::platform::network {

void OutputDebugString(std::string_view text);

// The priority the sink gives a text. It sees only text, so it ranks a line by its words:
// failures are errors, skipped or ignored things warnings, the framework's entry and status
// chatter debug, everything else (pass summaries) info.
int TracePriority(std::string_view text);

// TAMSEL_TRACE_LEVEL as a priority: texts of a higher number are dropped; -1 drops all.
int TraceLevel(const char* setting);

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
