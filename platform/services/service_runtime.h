// What the controller and a running service share about one service: the status file written
// atomically in the machine's state folder, the identity of the service process, and the name
// of its control channel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/network/machine.h"
#include "platform/services/services.h"

namespace tamsel::platform::services {

struct ServiceRuntime {
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
  int pid = 0;                  // the service process, 0 when none
  std::uint64_t startTime = 0;  // its start time (clock ticks after boot), against pid reuse
  bool connected = false;       // its dispatcher has connected
};

// <machine state>/services/<NAME>, created on demand.
std::filesystem::path ServiceFolder(const network::Machine& machine, std::string_view name);

// Reads the status file; false when there is none (never started).
bool ReadRuntime(const std::filesystem::path& folder, ServiceRuntime& runtime);
// Replaces the status file in one step (temporary file and rename).
bool WriteRuntime(const std::filesystem::path& folder, const ServiceRuntime& runtime);

// Holds the folder's lock file for the scope, so read-modify-write steps of the controller and
// the service do not cross.
class RuntimeLock {
 public:
  explicit RuntimeLock(const std::filesystem::path& folder);
  ~RuntimeLock();
  RuntimeLock(const RuntimeLock&) = delete;
  RuntimeLock& operator=(const RuntimeLock&) = delete;

 private:
  int fd_ = -1;
};

// Start time of a live process, 0 when it does not exist or has ended (a zombie).
std::uint64_t ProcessStartTime(int pid);

// The status as a controller sees it: a service process that is gone shows as stopped with
// ERROR_PROCESS_ABORTED unless it reported SERVICE_STOPPED itself.
ServiceRuntime EffectiveRuntime(const std::filesystem::path& folder);
bool IsActive(const ServiceRuntime& runtime);

// Name of the control channel (an abstract Unix socket) of the service kept in `folder`.
std::string ControlChannelName(const std::filesystem::path& folder);

// Status file fields as text and back (the file's line format).
std::string FormatRuntime(const ServiceRuntime& runtime);
bool ParseRuntime(std::string_view text, ServiceRuntime& runtime);

}  // namespace tamsel::platform::services
