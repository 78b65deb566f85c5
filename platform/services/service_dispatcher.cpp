// The service's side: the dispatcher that connects to the controller, runs the service main
// function on its own thread and hands control codes (and SIGTERM) to the handler on the
// dispatcher's thread; status reports go to the status file.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/network/network.h"
#include "platform/services/control_channel.h"
#include "platform/services/service_handles.h"
#include "platform/services/service_runtime.h"

namespace tamsel::platform::services {

namespace fs = std::filesystem;

namespace {

// The one service this process runs while its dispatcher is active.
struct Dispatch {
  std::mutex mutex;
  bool active = false;
  std::string serviceName;
  std::string machineName;
  fs::path folder;
  LPHANDLER_FUNCTION handler = nullptr;
  SERVICE_STATUS_HANDLE statusHandle = 0;
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
  std::uint64_t startTime = 0;
};

Dispatch dispatch;
std::atomic<SERVICE_STATUS_HANDLE> nextStatusHandle{1};

void Publish(const SERVICE_STATUS& status, bool connected) {
  ServiceRuntime runtime;
  runtime.status = status;
  runtime.pid = getpid();
  runtime.startTime = dispatch.startTime;
  runtime.connected = connected;
  RuntimeLock lock(dispatch.folder);
  WriteRuntime(dispatch.folder, runtime);
}

std::vector<std::string> ReadArguments(const fs::path& folder, const std::string& name) {
  std::vector<std::string> arguments{name};
  std::ifstream in(folder / "arguments", std::ios::binary);
  std::string argument;
  while (std::getline(in, argument, '\0')) arguments.push_back(argument);
  return arguments;
}

// Whether the service's current state and accepted controls let the code through.
DWORD CheckAccepted(DWORD control, const SERVICE_STATUS& status, bool hasHandler) {
  if (!hasHandler) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  if (control == SERVICE_CONTROL_INTERROGATE) return ERROR_SUCCESS;
  if (status.dwCurrentState == SERVICE_START_PENDING ||
      status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED) {
    return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  }
  DWORD needed = 0;
  if (control == SERVICE_CONTROL_STOP) needed = SERVICE_ACCEPT_STOP;
  if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) {
    needed = SERVICE_ACCEPT_PAUSE_CONTINUE;
  }
  if (control == SERVICE_CONTROL_PARAMCHANGE) needed = SERVICE_ACCEPT_PARAMCHANGE;
  if (control >= 7 && control <= 10) needed = SERVICE_ACCEPT_NETBINDCHANGE;
  if (needed != 0 && (status.dwControlsAccepted & needed) == 0) {
    return ERROR_INVALID_SERVICE_CONTROL;
  }
  return ERROR_SUCCESS;
}

// Runs the handler for an accepted code; the answer carries the status after it.
ControlReply Deliver(DWORD control) {
  LPHANDLER_FUNCTION handler;
  SERVICE_STATUS status;
  {
    std::lock_guard lock(dispatch.mutex);
    handler = dispatch.handler;
    status = dispatch.status;
  }
  ControlReply reply;
  reply.result = CheckAccepted(control, status, handler != nullptr);
  if (reply.result == ERROR_SUCCESS) handler(control);
  std::lock_guard lock(dispatch.mutex);
  reply.status = dispatch.status;
  return reply;
}

// A SIGTERM that arrives before the service accepts a stop (still starting) is kept and
// delivered once it runs; one that finds the service stopping or stopped has nothing to do.
bool DeliverTerminate() {
  SERVICE_STATUS status;
  {
    std::lock_guard lock(dispatch.mutex);
    status = dispatch.status;
  }
  if (status.dwCurrentState == SERVICE_START_PENDING) return true;
  if (status.dwCurrentState != SERVICE_STOP_PENDING && status.dwCurrentState != SERVICE_STOPPED) {
    Deliver(SERVICE_CONTROL_STOP);
  }
  return false;
}

// Waits for controls, SIGTERM and the end of the service thread.
void ServeControls(const ControlListener& listener, int signals, int finished) {
  bool terminatePending = false;
  for (;;) {
    pollfd entries[3] = {{listener.Fd(), POLLIN, 0}, {signals, POLLIN, 0}, {finished, POLLIN, 0}};
    if (poll(entries, 3, terminatePending ? 50 : -1) < 0) continue;
    if (entries[2].revents != 0) return;
    if (entries[1].revents != 0) {
      signalfd_siginfo info;
      [[maybe_unused]] ssize_t n = read(signals, &info, sizeof info);
      terminatePending = true;
    }
    if (terminatePending) terminatePending = DeliverTerminate();
    if (entries[0].revents != 0) {
      DWORD control = 0;
      int connection = listener.AcceptControl(control);
      if (connection >= 0) ControlListener::Reply(connection, Deliver(control));
    }
  }
}

// After the service main function: a service that never said it stopped has ended anyway,
// and a record marked for delete goes now.
void Finish() {
  SERVICE_STATUS last;
  {
    std::lock_guard lock(dispatch.mutex);
    last = dispatch.status;
    dispatch.active = false;
    dispatch.handler = nullptr;
    dispatch.statusHandle = 0;
  }
  if (last.dwCurrentState != SERVICE_STOPPED) {
    last.dwCurrentState = SERVICE_STOPPED;
    last.dwControlsAccepted = 0;
    if (last.dwWin32ExitCode == ERROR_SUCCESS) last.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
  }
  Publish(last, false);
  ScHandleData local;
  local.machineName = dispatch.machineName;
  FinishPendingDelete(local, dispatch.serviceName);
}

}  // namespace

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
  if (table == nullptr || table[0].lpServiceProc == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  const char* marker = std::getenv(kServiceNameVariable);
  if (marker == nullptr || *marker == '\0') {
    return Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, FALSE);
  }
  std::string name = marker;
  {
    std::lock_guard lock(dispatch.mutex);
    if (dispatch.active) return Fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    dispatch.active = true;
  }
  // Programs this service starts are not services themselves.
  unsetenv(kServiceNameVariable);
  const auto& net = network::Network::Current();
  dispatch.serviceName = name;
  dispatch.machineName = net.LocalMachineName();
  dispatch.folder = ServiceFolder(*net.LocalMachine(), name);
  dispatch.startTime = ProcessStartTime(getpid());
  dispatch.status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};

  ControlListener listener;
  DWORD error = listener.Listen(ControlChannelName(dispatch.folder));
  if (error != ERROR_SUCCESS) {
    std::lock_guard lock(dispatch.mutex);
    dispatch.active = false;
    return Fail(error, FALSE);
  }
  // SIGTERM is taken as a stop control; the service thread inherits the blocked mask.
  sigset_t terminate, saved;
  sigemptyset(&terminate);
  sigaddset(&terminate, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &terminate, &saved);
  int signals = signalfd(-1, &terminate, SFD_CLOEXEC);
  int finished[2];
  if (pipe2(finished, O_CLOEXEC) != 0) finished[0] = finished[1] = -1;
  Publish(dispatch.status, true);

  std::vector<std::string> arguments = ReadArguments(dispatch.folder, name);
  LPSERVICE_MAIN_FUNCTIONA serviceMain = table[0].lpServiceProc;
  int finishedWriter = finished[1];
  std::thread serviceThread([&arguments, serviceMain, finishedWriter] {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    serviceMain(static_cast<DWORD>(arguments.size()), argv.data());
    char done = 1;
    [[maybe_unused]] ssize_t n = write(finishedWriter, &done, 1);
  });
  ServeControls(listener, signals, finished[0]);
  serviceThread.join();

  close(signals);
  close(finished[0]);
  close(finished[1]);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  Finish();
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* serviceName,
                                                  LPHANDLER_FUNCTION handler) {
  std::lock_guard lock(dispatch.mutex);
  if (!dispatch.active || serviceName == nullptr ||
      !network::EqualsIgnoreCase(serviceName, dispatch.serviceName)) {
    return Fail<SERVICE_STATUS_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, 0);
  }
  if (handler == nullptr) return Fail<SERVICE_STATUS_HANDLE>(ERROR_INVALID_PARAMETER, 0);
  dispatch.handler = handler;
  dispatch.statusHandle = nextStatusHandle++;
  SetLastError(ERROR_SUCCESS);
  return dispatch.statusHandle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
  SERVICE_STATUS copy;
  {
    std::lock_guard lock(dispatch.mutex);
    if (!dispatch.active || handle == 0 || handle != dispatch.statusHandle) {
      return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (status == nullptr || status->dwCurrentState < SERVICE_STOPPED ||
        status->dwCurrentState > SERVICE_PAUSED) {
      return Fail(ERROR_INVALID_DATA, FALSE);
    }
    dispatch.status = *status;
    copy = *status;
    // Publish under the dispatch lock, so reports of both threads reach the file in order.
    Publish(copy, true);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace tamsel::platform::services
