// Error and state names and status polling of `tamsel sc`.
#include "tools/tamsel/sc_support.h"

#include <cstdio>
#include <thread>

namespace tamsel::tools {

const char* ScErrorName(svc::DWORD error) {
  switch (error) {
    case platform::ERROR_ACCESS_DENIED:
      return "access denied";
    case platform::ERROR_FILE_NOT_FOUND:
      return "the program file was not found";
    case platform::ERROR_INVALID_NAME:
      return "invalid service name";
    case platform::ERROR_INVALID_PARAMETER:
      return "invalid parameter";
    case platform::ERROR_INVALID_SERVICE_CONTROL:
      return "the service does not accept this control";
    case platform::ERROR_SERVICE_REQUEST_TIMEOUT:
      return "the service did not respond in time";
    case platform::ERROR_SERVICE_ALREADY_RUNNING:
      return "the service is already running";
    case platform::ERROR_SERVICE_DISABLED:
      return "the service is disabled";
    case platform::ERROR_SERVICE_DOES_NOT_EXIST:
      return "the service does not exist";
    case platform::ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
      return "the service cannot accept controls now";
    case platform::ERROR_SERVICE_NOT_ACTIVE:
      return "the service has not been started";
    case platform::ERROR_SERVICE_EXISTS:
      return "the service already exists";
    case platform::ERROR_SERVICE_MARKED_FOR_DELETE:
      return "the service is marked for deletion";
    default:
      return "failed";
  }
}

const char* ScStateName(svc::DWORD state) {
  static const char* const kNames[] = {"UNKNOWN",       "STOPPED", "START_PENDING",
                                       "STOP_PENDING",  "RUNNING", "CONTINUE_PENDING",
                                       "PAUSE_PENDING", "PAUSED"};
  return state < 8 ? kNames[state] : "UNKNOWN";
}

int ScFailed(const std::string& what, svc::DWORD error) {
  std::fprintf(stderr, "tamsel sc: %s: %s (error %u)\n", what.c_str(), ScErrorName(error), error);
  return 1;
}

bool WaitForState(svc::SC_HANDLE service, std::chrono::seconds timeout, svc::SERVICE_STATUS& status,
                  svc::DWORD state, svc::DWORD orState) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (!svc::QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == state || status.dwCurrentState == orState) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace tamsel::tools
