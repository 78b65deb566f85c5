// The control channel between a controller and a running service: an abstract Unix stream
// socket named after the service's folder; one connection per control code, answered with
// a result code and the status after the handler ran.
#pragma once

#include <chrono>
#include <string>

#include "platform/services/services.h"

namespace tamsel::platform::services {

struct ControlReply {
  DWORD result = 0;  // 0, or the Win32 error the control failed with
  SERVICE_STATUS status{};
};

// The service's end. Listen fails with ERROR_SERVICE_ALREADY_RUNNING when another process
// already listens on the name.
class ControlListener {
 public:
  ControlListener() = default;
  ~ControlListener();
  ControlListener(const ControlListener&) = delete;
  ControlListener& operator=(const ControlListener&) = delete;

  DWORD Listen(const std::string& name);
  int Fd() const { return fd_; }
  // Accepts one connection and reads its control code; -1 when nothing usable arrived.
  int AcceptControl(DWORD& control) const;
  static void Reply(int connection, const ControlReply& reply);

 private:
  int fd_ = -1;
};

// The controller's end: ERROR_SERVICE_NOT_ACTIVE when no service listens,
// ERROR_SERVICE_REQUEST_TIMEOUT when no answer came in time.
DWORD SendControl(const std::string& name, DWORD control, std::chrono::milliseconds timeout,
                  ControlReply& reply);

}  // namespace tamsel::platform::services
