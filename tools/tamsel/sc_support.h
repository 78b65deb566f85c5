// What `tamsel sc` and its boot and shutdown actions share: the owned service handle, error
// and state names, waiting for a status.
#pragma once

#include <chrono>
#include <string>

#include "platform/services/services.h"

namespace tamsel::tools {

namespace svc = platform::services;

// Owns an SC_HANDLE.
class ScHandle {
 public:
  explicit ScHandle(svc::SC_HANDLE handle = nullptr) : handle_(handle) {}
  ~ScHandle() {
    if (handle_ != nullptr) svc::CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  svc::SC_HANDLE Get() const { return handle_; }

 private:
  svc::SC_HANDLE handle_;
};

const char* ScErrorName(svc::DWORD error);
const char* ScStateName(svc::DWORD state);

// Prints "tamsel sc: WHAT: reason (error N)" to stderr; returns 1.
int ScFailed(const std::string& what, svc::DWORD error);

// Polls the status until it is one of the two states or the timeout passes; false on timeout.
bool WaitForState(svc::SC_HANDLE service, std::chrono::seconds timeout, svc::SERVICE_STATUS& status,
                  svc::DWORD state, svc::DWORD orState);

// `tamsel sc boot` and `tamsel sc shutdown` (tools/tamsel/sc_boot_command.cpp).
int RunScBoot(std::chrono::seconds timeout);
int RunScShutdown(std::chrono::seconds timeout);

}  // namespace tamsel::tools
