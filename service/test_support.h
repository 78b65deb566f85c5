// Test support for the service and the collector (header only, used by their tests): a
// temporary network with one machine, the debug trace captured, and the Application log's
// records read back.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/accounts/sid.h"
#include "platform/eventlog/event_log.h"
#include "platform/network/debug_output.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::service::testing {

struct LoggedEvent {
  std::uint32_t id = 0;
  std::uint16_t type = 0;
  std::vector<std::string> strings;
  std::string user;  // SID text, empty without SID
};

// Every record of the local machine's Application log, oldest first.
inline std::vector<LoggedEvent> ApplicationEvents() {
  namespace evl = platform::eventlog;
  std::vector<LoggedEvent> events;
  evl::EventLogHandle log(evl::OpenEventLogA(nullptr, "Application"));
  if (!log) return events;
  std::vector<std::uint8_t> buffer(64 * 1024);
  evl::DWORD bytesRead = 0, needed = 0;
  while (evl::ReadEventLogA(log.Get(), evl::EVENTLOG_SEQUENTIAL_READ | evl::EVENTLOG_FORWARDS_READ,
                            0, buffer.data(), static_cast<evl::DWORD>(buffer.size()), &bytesRead,
                            &needed)) {
    for (evl::DWORD offset = 0; offset + sizeof(evl::EVENTLOGRECORD) <= bytesRead;) {
      evl::EVENTLOGRECORD record;
      std::memcpy(&record, buffer.data() + offset, sizeof record);
      LoggedEvent event;
      event.id = record.EventID;
      event.type = record.EventType;
      const char* text =
          reinterpret_cast<const char*>(buffer.data() + offset + record.StringOffset);
      for (int index = 0; index < record.NumStrings; ++index) {
        event.strings.emplace_back(text);
        text += event.strings.back().size() + 1;
      }
      if (record.UserSidLength > 0) {
        auto sid = platform::accounts::Sid::FromPointer(
            buffer.data() + offset + record.UserSidOffset, record.UserSidLength);
        if (sid) event.user = sid->ToString();
      }
      events.push_back(std::move(event));
      offset += record.Length;
    }
  }
  return events;
}

// A fresh network in a temporary folder with the machine SRV01 as the local machine (the
// environment says so too, for programs started from the test), and the debug trace caught.
class ServiceTestEnvironment {
 public:
  ServiceTestEnvironment()
      : networkVariable_("TAMSEL_NETWORK", (temp_.Path() / "net").string()),
        machineVariable_("TAMSEL_MACHINE", "SRV01"),
        network_(platform::network::Network(temp_.Path() / "net", "SRV01")),
        capture_([this](std::string_view text) {
          std::lock_guard lock(mutex_);
          trace_.emplace_back(text);
        }) {
    platform::network::Network::Current().CreateMachineFolder("SRV01");
  }

  const std::filesystem::path& Root() const { return temp_.Path(); }

  // Trace lines without their "[name](thread): " prefix and line break.
  std::vector<std::string> Trace() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const std::string& line : trace_) {
      size_t start = line.find("): ");
      std::string text = start == std::string::npos ? line : line.substr(start + 3);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      lines.push_back(text);
    }
    return lines;
  }
  std::vector<std::string> RawTrace() {
    std::lock_guard lock(mutex_);
    return trace_;
  }
  void ClearTrace() {
    std::lock_guard lock(mutex_);
    trace_.clear();
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  tamsel::testing::ScopedEnv networkVariable_;
  tamsel::testing::ScopedEnv machineVariable_;
  platform::network::ScopedCurrentNetwork network_;
  std::mutex mutex_;
  std::vector<std::string> trace_;
  platform::network::ScopedDebugCapture capture_;
};

}  // namespace tamsel::service::testing
