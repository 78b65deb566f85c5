// `tamsel sc`: the service control manager from the command line, in the manner of Windows'
// sc: create, delete, start, stop, control and query a service of the local machine.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/services/services.h"
#include "tools/tamsel/commands.h"
#include "tools/tamsel/sc_support.h"

namespace tamsel::tools {

namespace {

constexpr const char* kUsage =
    "usage: tamsel sc COMMAND [NAME] [OPTIONS]\n"
    "  create NAME --binpath PATH [--start auto|demand|disabled] [--displayname TEXT]\n"
    "                       record a service (own process, LocalSystem)\n"
    "  delete NAME          remove the record (a running service goes when it stops)\n"
    "  start NAME [ARG...] [--timeout SECONDS]\n"
    "                       start it and wait until it reports running (or fails)\n"
    "  stop NAME [--timeout SECONDS]\n"
    "                       send the stop control and wait until it has stopped\n"
    "  control NAME CODE    send a control code (user codes are 128 to 255)\n"
    "  query NAME [--json]  its state; JSON: {name, state, state_name, pid, exit_code}\n"
    "  boot [--timeout SECONDS]\n"
    "                       start every service whose start type is auto, in name order\n"
    "                       (what tamsel-scm.service runs when the host starts)\n"
    "  shutdown [--timeout SECONDS]\n"
    "                       stop every running service in the reverse order, SIGTERM being\n"
    "                       the stop control, each waited for before the next\n"
    "The timeout defaults to 30 seconds. Services run on the local machine (--machine /\n"
    "TAMSEL_MACHINE) in the current network, as does the program they start.\n";

int Usage(const char* error) {
  std::fprintf(stderr, "tamsel sc: %s\n%s", error, kUsage);
  return 1;
}

// The value after `option` in args (removed from args with it), if present.
bool TakeOption(Args& args, const std::string& option, std::string& value) {
  for (size_t index = 0; index < args.size(); ++index) {
    if (args[index] != option) continue;
    if (index + 1 >= args.size()) return false;
    value = args[index + 1];
    args.erase(args.begin() + static_cast<long>(index),
               args.begin() + static_cast<long>(index) + 2);
    return true;
  }
  return false;
}

bool TakeFlag(Args& args, const std::string& flag) {
  for (size_t index = 0; index < args.size(); ++index) {
    if (args[index] == flag) {
      args.erase(args.begin() + static_cast<long>(index));
      return true;
    }
  }
  return false;
}

bool ParseNumber(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0' && text[0] != '-';
}

void PrintStatus(const std::string& name, const svc::SERVICE_STATUS& status, svc::DWORD pid) {
  std::printf("SERVICE_NAME: %s\n", name.c_str());
  std::printf("        TYPE               : %x  WIN32_OWN_PROCESS\n", status.dwServiceType);
  std::printf("        STATE              : %u  %s\n", status.dwCurrentState,
              ScStateName(status.dwCurrentState));
  std::printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", status.dwWin32ExitCode,
              status.dwWin32ExitCode);
  std::printf("        PID                : %u\n", pid);
}

int Create(svc::SC_HANDLE manager, const std::string& name, Args args) {
  std::string binPath, start = "auto", displayName = name;
  if (!TakeOption(args, "--binpath", binPath)) return Usage("create needs --binpath PATH");
  TakeOption(args, "--start", start);
  TakeOption(args, "--displayname", displayName);
  if (!args.empty()) return Usage(("unexpected argument '" + args[0] + "'").c_str());
  svc::DWORD startType = start == "auto"       ? svc::SERVICE_AUTO_START
                         : start == "demand"   ? svc::SERVICE_DEMAND_START
                         : start == "disabled" ? svc::SERVICE_DISABLED
                                               : 99;
  if (startType == 99) return Usage("--start is auto, demand or disabled");
  // A relative program path means the caller's folder; services start elsewhere.
  std::error_code error;
  if (!binPath.empty() && binPath[0] != '"' && std::filesystem::path(binPath).is_relative() &&
      std::filesystem::exists(binPath, error)) {
    binPath = std::filesystem::absolute(binPath).string();
  }
  ScHandle service(svc::CreateServiceA(manager, name.c_str(), displayName.c_str(),
                                       svc::SERVICE_ALL_ACCESS, svc::SERVICE_WIN32_OWN_PROCESS,
                                       startType, svc::SERVICE_ERROR_NORMAL, binPath.c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
  if (service.Get() == nullptr) return ScFailed("create " + name, svc::GetLastError());
  std::printf("[SC] CreateService SUCCESS\n");
  return 0;
}

int Start(svc::SC_HANDLE service, const std::string& name, Args args,
          std::chrono::seconds timeout) {
  std::vector<const char*> argv;
  for (const std::string& argument : args) argv.push_back(argument.c_str());
  if (!svc::StartServiceA(service, static_cast<svc::DWORD>(argv.size()), argv.data())) {
    return ScFailed("start " + name, svc::GetLastError());
  }
  svc::SERVICE_STATUS status{};
  bool settled = WaitForState(service, timeout, status, svc::SERVICE_RUNNING, svc::SERVICE_STOPPED);
  PrintStatus(name, status, svc::QueryServiceProcessId(service));
  if (!settled) return ScFailed("start " + name, platform::ERROR_SERVICE_REQUEST_TIMEOUT);
  if (status.dwCurrentState != svc::SERVICE_RUNNING) {
    std::fprintf(stderr, "tamsel sc: start %s: the service stopped (exit code %u)\n", name.c_str(),
                 status.dwWin32ExitCode);
    return 1;
  }
  return 0;
}

int Stop(svc::SC_HANDLE service, const std::string& name, std::chrono::seconds timeout) {
  svc::SERVICE_STATUS status{};
  if (!svc::ControlService(service, svc::SERVICE_CONTROL_STOP, &status)) {
    return ScFailed("stop " + name, svc::GetLastError());
  }
  bool stopped = WaitForState(service, timeout, status, svc::SERVICE_STOPPED, svc::SERVICE_STOPPED);
  PrintStatus(name, status, svc::QueryServiceProcessId(service));
  if (!stopped) return ScFailed("stop " + name, platform::ERROR_SERVICE_REQUEST_TIMEOUT);
  return 0;
}

int Query(svc::SC_HANDLE service, const std::string& name, bool json) {
  svc::SERVICE_STATUS status{};
  if (!svc::QueryServiceStatus(service, &status)) {
    return ScFailed("query " + name, svc::GetLastError());
  }
  svc::DWORD pid = svc::QueryServiceProcessId(service);
  if (json) {
    nlohmann::json object = {{"name", name},
                             {"state", status.dwCurrentState},
                             {"state_name", ScStateName(status.dwCurrentState)},
                             {"pid", pid},
                             {"exit_code", status.dwWin32ExitCode}};
    std::printf("%s\n", object.dump(2).c_str());
  } else {
    PrintStatus(name, status, pid);
  }
  return 0;
}

}  // namespace

int RunScCommand(const Args& arguments) {
  if (arguments.empty()) return Usage("a command is needed");
  if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
    std::printf("%s", kUsage);
    return 0;
  }
  const std::string& command = arguments[0];
  if (command == "boot" || command == "shutdown") {
    Args args(arguments.begin() + 1, arguments.end());
    std::string timeoutText = "30";
    TakeOption(args, "--timeout", timeoutText);
    unsigned long seconds = 0;
    if (!ParseNumber(timeoutText, seconds)) return Usage("--timeout needs a number of seconds");
    if (!args.empty()) return Usage(("unexpected argument '" + args[0] + "'").c_str());
    return command == "boot" ? RunScBoot(std::chrono::seconds(seconds))
                             : RunScShutdown(std::chrono::seconds(seconds));
  }
  if (arguments.size() < 2 || arguments[1] == "--help") {
    if (arguments.size() >= 2) {
      std::printf("%s", kUsage);
      return 0;
    }
    return Usage((command + " needs a service name").c_str());
  }
  const std::string& name = arguments[1];
  Args args(arguments.begin() + 2, arguments.end());

  std::string timeoutText = "30";
  TakeOption(args, "--timeout", timeoutText);
  unsigned long seconds = 0;
  if (!ParseNumber(timeoutText, seconds)) return Usage("--timeout needs a number of seconds");
  std::chrono::seconds timeout(seconds);

  ScHandle manager(svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS));
  if (manager.Get() == nullptr) return ScFailed("open the service manager", svc::GetLastError());
  if (command == "create") return Create(manager.Get(), name, args);

  bool json = TakeFlag(args, "--json");
  if (command != "start" && command != "control" && !args.empty()) {
    return Usage(("unexpected argument '" + args[0] + "'").c_str());
  }
  ScHandle service(svc::OpenServiceA(manager.Get(), name.c_str(), svc::SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr) return ScFailed(command + " " + name, svc::GetLastError());

  if (command == "delete") {
    if (!svc::DeleteService(service.Get())) return ScFailed("delete " + name, svc::GetLastError());
    std::printf("[SC] DeleteService SUCCESS\n");
    return 0;
  }
  if (command == "start") return Start(service.Get(), name, args, timeout);
  if (command == "stop") return Stop(service.Get(), name, timeout);
  if (command == "query") return Query(service.Get(), name, json);
  if (command == "control") {
    unsigned long code = 0;
    if (args.size() != 1 || !ParseNumber(args[0], code) || code > 0xFFFFFFFFul) {
      return Usage("control needs one control code");
    }
    svc::SERVICE_STATUS status{};
    if (!svc::ControlService(service.Get(), static_cast<svc::DWORD>(code), &status)) {
      return ScFailed("control " + name, svc::GetLastError());
    }
    PrintStatus(name, status, svc::QueryServiceProcessId(service.Get()));
    return 0;
  }
  return Usage(("unknown command '" + command + "'").c_str());
}

}  // namespace tamsel::tools
