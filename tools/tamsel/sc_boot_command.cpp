// `tamsel sc boot` and `tamsel sc shutdown`: what the host's service manager unit calls when
// the host starts and stops. Boot starts every service recorded with the automatic start type,
// in the order of their names; shutdown stops every running service in the reverse order,
// sending SIGTERM (which the dispatcher takes as the stop control) and waiting for each to
// report stopped before the next, so the alert sender is gone before the collector.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "tools/tamsel/sc_support.h"

namespace tamsel::tools {

namespace {

namespace reg = platform::registry;

// Reports a failure on stderr; false, for the callers' results.
bool Report(const std::string& what, svc::DWORD error) {
  ScFailed(what, error);
  return false;
}

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

struct ServiceRecord {
  std::string name;
  svc::DWORD startType = svc::SERVICE_DISABLED;
};

// Every service record of the local machine (keys with a service type and a program), in the
// order of their names without regard to case.
std::vector<ServiceRecord> ServiceRecords() {
  std::vector<ServiceRecord> records;
  reg::RegistryKey services;
  if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, kServicesKey, reg::KEY_READ, services) !=
      platform::ERROR_SUCCESS) {
    return records;
  }
  for (const std::string& name : services.SubKeyNames()) {
    reg::RegistryKey record;
    if (reg::RegistryKey::Open(services.Get(), name, reg::KEY_READ, record) !=
        platform::ERROR_SUCCESS) {
      continue;
    }
    svc::DWORD type = 0;
    ServiceRecord entry{name};
    std::string imagePath;
    if (record.GetDword("Type", type) != platform::ERROR_SUCCESS ||
        (type & (svc::SERVICE_WIN32_OWN_PROCESS | svc::SERVICE_WIN32_SHARE_PROCESS)) == 0 ||
        record.GetString("ImagePath", imagePath) != platform::ERROR_SUCCESS ||
        record.GetDword("Start", entry.startType) != platform::ERROR_SUCCESS) {
      continue;
    }
    records.push_back(entry);
  }
  std::sort(records.begin(), records.end(), [](const ServiceRecord& a, const ServiceRecord& b) {
    return platform::network::ToUpper(a.name) < platform::network::ToUpper(b.name);
  });
  return records;
}

// Starts one service and waits until it runs; false (with the reason on stderr) otherwise.
bool StartOne(svc::SC_HANDLE manager, const std::string& name, std::chrono::seconds timeout) {
  ScHandle service(svc::OpenServiceA(manager, name.c_str(), svc::SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr) return Report("start " + name, svc::GetLastError());
  if (!svc::StartServiceA(service.Get(), 0, nullptr)) {
    svc::DWORD error = svc::GetLastError();
    if (error == platform::ERROR_SERVICE_ALREADY_RUNNING) {
      std::printf("%s: already running\n", name.c_str());
      return true;
    }
    return Report("start " + name, error);
  }
  svc::SERVICE_STATUS status{};
  if (!WaitForState(service.Get(), timeout, status, svc::SERVICE_RUNNING, svc::SERVICE_STOPPED)) {
    return Report("start " + name, platform::ERROR_SERVICE_REQUEST_TIMEOUT);
  }
  if (status.dwCurrentState != svc::SERVICE_RUNNING) {
    std::fprintf(stderr, "tamsel sc: start %s: the service stopped (exit code %u)\n", name.c_str(),
                 status.dwWin32ExitCode);
    return false;
  }
  std::printf("%s: RUNNING (pid %u)\n", name.c_str(), svc::QueryServiceProcessId(service.Get()));
  return true;
}

// Stops one service if it runs; false when it could not be signalled or did not stop in time.
bool StopOne(svc::SC_HANDLE manager, const std::string& name, std::chrono::seconds timeout) {
  ScHandle service(svc::OpenServiceA(manager, name.c_str(), svc::SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr) return true;
  const svc::DWORD pid = svc::QueryServiceProcessId(service.Get());
  svc::SERVICE_STATUS status{};
  if (pid == 0 || !svc::QueryServiceStatus(service.Get(), &status) ||
      status.dwCurrentState == svc::SERVICE_STOPPED) {
    return true;
  }
  if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
    if (errno == ESRCH) return true;  // gone meanwhile
    std::fprintf(stderr, "tamsel sc: stop %s: cannot signal process %u: %s\n", name.c_str(), pid,
                 std::strerror(errno));
    return false;
  }
  if (!WaitForState(service.Get(), timeout, status, svc::SERVICE_STOPPED, svc::SERVICE_STOPPED)) {
    return Report("stop " + name, platform::ERROR_SERVICE_REQUEST_TIMEOUT);
  }
  std::printf("%s: STOPPED\n", name.c_str());
  return true;
}

}  // namespace

int RunScBoot(std::chrono::seconds timeout) {
  ScHandle manager(svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS));
  if (manager.Get() == nullptr) return ScFailed("open the service manager", svc::GetLastError());
  // As the Windows manager does, a service that fails to start is reported and the others
  // still start.
  for (const ServiceRecord& record : ServiceRecords()) {
    if (record.startType == svc::SERVICE_AUTO_START) StartOne(manager.Get(), record.name, timeout);
  }
  return 0;
}

int RunScShutdown(std::chrono::seconds timeout) {
  ScHandle manager(svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS));
  if (manager.Get() == nullptr) return ScFailed("open the service manager", svc::GetLastError());
  std::vector<ServiceRecord> records = ServiceRecords();
  bool allStopped = true;
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    allStopped = StopOne(manager.Get(), record->name, timeout) && allStopped;
  }
  return allStopped ? 0 : 1;
}

}  // namespace tamsel::tools
