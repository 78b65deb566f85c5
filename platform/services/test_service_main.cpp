// A small service program for the control manager's tests. Its first argument picks the
// behaviour; every control code it receives is written to standard output (the service's
// output file), one per line. With TAMSEL_TEST_SERVICE_JOURNAL set, "running NAME" and
// "stopped NAME" are appended to that file, so tests see the order of several services.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/services/services.h"

namespace svc = tamsel::platform::services;

namespace {

std::string mode;
std::atomic<bool> running{false};
svc::SERVICE_STATUS_HANDLE statusHandle = 0;
svc::SERVICE_STATUS status{
    svc::SERVICE_WIN32_OWN_PROCESS, svc::SERVICE_START_PENDING, 0, 0, 0, 0, 0};

std::string serviceName;

void Journal(const char* what) {
  const char* path = std::getenv("TAMSEL_TEST_SERVICE_JOURNAL");
  if (path == nullptr) return;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string line = std::string(what) + " " + serviceName + "\n";
  [[maybe_unused]] ssize_t written = write(fd, line.data(), line.size());
  close(fd);
}

void Report(svc::DWORD state) {
  if (state == svc::SERVICE_RUNNING) Journal("running");
  if (state == svc::SERVICE_STOPPED) Journal("stopped");
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == svc::SERVICE_RUNNING ? svc::SERVICE_ACCEPT_STOP : 0;
  svc::SetServiceStatus(statusHandle, &status);
}

void Handler(svc::DWORD control) {
  std::printf("control %u\n", control);
  std::fflush(stdout);
  if (control == svc::SERVICE_CONTROL_STOP) {
    Report(svc::SERVICE_STOP_PENDING);
    running = false;
  }
  if (control == 201) _exit(3);  // dies without a word
}

void ServiceMain(svc::DWORD argc, char** argv) {
  serviceName = argv[0];
  std::printf("service main %s argc %u\n", argv[0], argc);
  std::fflush(stdout);
  statusHandle = svc::RegisterServiceCtrlHandlerA(mode == "wrongname" ? "Other" : argv[0], Handler);
  if (statusHandle == 0) {
    std::printf("register failed %u\n", svc::GetLastError());
    std::fflush(stdout);
    return;
  }
  if (mode == "slowstart") {
    std::printf("starting\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  running = true;
  Report(svc::SERVICE_RUNNING);
  while (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  status.dwWin32ExitCode = 0;
  Report(svc::SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  mode = argc > 1 ? argv[1] : "normal";
  if (mode == "noconnect") return 0;
  const svc::SERVICE_TABLE_ENTRYA table[] = {{"TestService", ServiceMain}, {nullptr, nullptr}};
  if (!svc::StartServiceCtrlDispatcherA(table)) {
    std::printf("dispatcher failed %u\n", svc::GetLastError());
    return 2;
  }
  return 0;
}
