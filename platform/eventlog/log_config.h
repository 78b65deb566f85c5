// Where a machine keeps a log: its registration under SYSTEM\CurrentControlSet\Services\EventLog
// (File with the machine's own %SystemRoot%, MaxSize, Retention), the host path of the file and
// the lock that orders everyone who touches it; and which log a source belongs to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network/machine.h"

namespace tamsel::platform::eventlog {

inline constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
inline constexpr const char* kApplicationLog = "Application";

struct LogLocation {
  std::shared_ptr<network::Machine> machine;
  std::string logName;    // as the registry spells it
  std::string localPath;  // the File value expanded, a path of the machine
  std::filesystem::path file;
  std::filesystem::path lockFile;
  std::uint32_t maxSize = 0;
  std::uint32_t retention = 0;
};

// The machine by name (NULL/"" local, "NAME", "\\NAME"); RPC_S_SERVER_UNAVAILABLE when it
// cannot be reached.
Win32Error ReachMachine(const char* machineName, std::shared_ptr<network::Machine>& machine);

// A log that is not registered is served as Application, as Windows' OpenEventLog does.
Win32Error LocateLog(const std::shared_ptr<network::Machine>& machine, std::string_view logName,
                     LogLocation& location);

// The log whose key holds a subkey named after the source; Application when none does.
std::string FindSourceLog(const network::Machine& machine, std::string_view source);
// The log whose key holds a subkey named after the source, as the registry spells it;
// nothing when no log does.
std::optional<std::string> RegisteredSourceLog(const network::Machine& machine,
                                               std::string_view source);

// The default file of a log without a File value: AppEvent.Evt, SysEvent.Evt, SecEvent.Evt,
// else the first eight characters of the name.
std::string DefaultLogFile(std::string_view logName);
// The same on machines that keep .evtx logs: %SystemRoot%\System32\Winevt\Logs\<log>.evtx.
std::string ModernLogFile(std::string_view logName);

}  // namespace tamsel::platform::eventlog
