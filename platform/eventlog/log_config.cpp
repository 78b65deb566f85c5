// Log registration lookups in a machine's registry.
#include "platform/eventlog/log_config.h"

#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/evtx_service.h"
#include "platform/network/environment.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"

namespace tamsel::platform::eventlog {

namespace {

using network::EqualsIgnoreCase;
using registry::RegistryKey;

constexpr std::uint32_t kDefaultRetention = 0;

// The registered name of a log, matched without regard to case; empty when none.
std::string RegisteredLogName(const RegistryKey& eventLog, std::string_view logName) {
  for (const std::string& name : eventLog.SubKeyNames()) {
    if (EqualsIgnoreCase(name, logName)) return name;
  }
  return {};
}

bool OpenEventLogKey(const network::Machine& machine, RegistryKey& eventLog) {
  RegistryKey root;
  return RegistryKey::Connect(machine.Name(), registry::HKEY_LOCAL_MACHINE, root) == 0 &&
         RegistryKey::Open(root.Get(), kEventLogKey, registry::KEY_READ, eventLog) == 0;
}

}  // namespace

Win32Error ReachMachine(const char* machineName, std::shared_ptr<network::Machine>& machine) {
  machine = network::Network::Current().OpenMachine(machineName ? machineName : "");
  return machine->IsReachable() ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

std::string DefaultLogFile(std::string_view logName) {
  std::string base;
  if (EqualsIgnoreCase(logName, "Application")) {
    base = "AppEvent.Evt";
  } else if (EqualsIgnoreCase(logName, "System")) {
    base = "SysEvent.Evt";
  } else if (EqualsIgnoreCase(logName, "Security")) {
    base = "SecEvent.Evt";
  } else {
    base = std::string(logName.substr(0, 8)) + ".evt";
  }
  return "%SystemRoot%\\system32\\config\\" + base;
}

std::string ModernLogFile(std::string_view logName) {
  return "%SystemRoot%\\System32\\Winevt\\Logs\\" + std::string(logName) + ".evtx";
}

Win32Error LocateLog(const std::shared_ptr<network::Machine>& machine, std::string_view logName,
                     LogLocation& location) {
  location = LogLocation{};
  location.machine = machine;
  RegistryKey eventLog;
  std::string registered;
  if (OpenEventLogKey(*machine, eventLog)) {
    registered = RegisteredLogName(eventLog, logName);
    if (registered.empty()) registered = RegisteredLogName(eventLog, kApplicationLog);
  }
  location.logName = registered.empty() ? std::string(kApplicationLog) : registered;
  std::string file;
  location.maxSize = kDefaultMaxSize;
  location.retention = kDefaultRetention;
  RegistryKey logKey;
  if (!registered.empty() &&
      RegistryKey::Open(eventLog.Get(), registered, registry::KEY_READ, logKey) == 0) {
    std::string value;
    if (logKey.GetString("File", value) == 0) file = value;
    logKey.GetDword("MaxSize", location.maxSize);
    logKey.GetDword("Retention", location.retention);
  }
  if (file.empty()) {
    file = KeepsEvtxLogs(*machine) ? ModernLogFile(location.logName)
                                   : DefaultLogFile(location.logName);
  }
  // %SystemRoot% and the rest come from the machine that owns the log, not from this host.
  std::string machineName = machine->Name();
  location.localPath = network::ExpandEnvironmentStrings(
      file, [&machineName](std::string_view name) -> std::optional<std::string> {
        auto value = registry::SystemEnvironmentValue(machineName, name);
        if (!value && (EqualsIgnoreCase(name, "SystemRoot") || EqualsIgnoreCase(name, "windir"))) {
          return std::string("C:\\WINDOWS");
        }
        return value;
      });
  if (Win32Error status = machine->ResolveLocalPath(location.localPath, location.file)) {
    return status;
  }
  location.lockFile =
      machine->StateFolder() / "eventlog" / (network::ToUpper(location.logName) + ".lock");
  return ERROR_SUCCESS;
}

std::string FindSourceLog(const network::Machine& machine, std::string_view source) {
  return RegisteredSourceLog(machine, source).value_or(kApplicationLog);
}

std::optional<std::string> RegisteredSourceLog(const network::Machine& machine,
                                               std::string_view source) {
  RegistryKey eventLog;
  if (!OpenEventLogKey(machine, eventLog)) return std::nullopt;
  for (const std::string& log : eventLog.SubKeyNames()) {
    RegistryKey logKey;
    if (RegistryKey::Open(eventLog.Get(), log, registry::KEY_READ, logKey) != 0) continue;
    for (const std::string& name : logKey.SubKeyNames()) {
      if (EqualsIgnoreCase(name, source)) return log;
    }
  }
  return std::nullopt;
}

}  // namespace tamsel::platform::eventlog
