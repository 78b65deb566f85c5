// The controller's side: starting a service's program as a background process, sending control
// codes over its channel, and reading its status.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/network/network.h"
#include "platform/services/control_channel.h"
#include "platform/services/service_handles.h"
#include "platform/services/service_runtime.h"

extern char** environ;

namespace tamsel::platform::services {

namespace reg = platform::registry;
namespace fs = std::filesystem;

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);
constexpr auto kControlTimeout = std::chrono::seconds(30);

// ImagePath -> program and its arguments: a quoted program name, or the longest prefix that
// names an existing file (Windows' rule for unquoted paths with blanks), else the first word.
std::vector<std::string> SplitImagePath(const std::string& imagePath) {
  std::vector<std::string> words;
  std::string rest;
  if (!imagePath.empty() && imagePath[0] == '"') {
    size_t close = imagePath.find('"', 1);
    words.push_back(
        imagePath.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    rest = close == std::string::npos ? "" : imagePath.substr(close + 1);
  } else {
    size_t end = imagePath.size();
    for (size_t blank = imagePath.find(' '); blank != std::string::npos;
         blank = imagePath.find(' ', blank + 1)) {
      std::error_code error;
      if (fs::is_regular_file(imagePath.substr(0, blank), error)) {
        end = blank;
        break;
      }
    }
    if (end == imagePath.size() && !fs::exists(imagePath)) end = imagePath.find(' ');
    words.push_back(imagePath.substr(0, end));
    rest = end == std::string::npos ? "" : imagePath.substr(end);
  }
  size_t position = 0;
  while ((position = rest.find_first_not_of(' ', position)) != std::string::npos) {
    size_t end = rest.find(' ', position);
    words.push_back(rest.substr(position, end - position));
    position = end;
  }
  return words;
}

std::vector<std::string> ServiceEnvironment(const ScHandleData& handle) {
  const auto& net = network::Network::Current();
  std::string machine = handle.machineName.empty() ? net.LocalMachineName() : handle.machineName;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (text.starts_with("TAMSEL_NETWORK=") || text.starts_with("TAMSEL_MACHINE=") ||
        text.starts_with(std::string(kServiceNameVariable) + "=")) {
      continue;
    }
    environment.emplace_back(text);
  }
  environment.push_back("TAMSEL_NETWORK=" + fs::absolute(net.Root()).string());
  environment.push_back("TAMSEL_MACHINE=" + machine);
  environment.push_back(std::string(kServiceNameVariable) + "=" + handle.serviceName);
  return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Starts the program detached from the caller (its own session, reparented away from us), with
// output going to a file in the service folder. Returns its pid, or 0 with `error` set.
int Spawn(std::vector<std::string> words, std::vector<std::string> environment,
          const fs::path& outputFile, DWORD& error) {
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(environment);
  std::string output = outputFile.string();
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) {
    error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) {
      int pid = grandchild;
      [[maybe_unused]] ssize_t n = write(channel[1], &pid, sizeof pid);
      _exit(0);
    }
    int null = open("/dev/null", O_RDONLY);
    int log = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (null >= 0) dup2(null, 0);
    if (log >= 0) dup2(log, 1), dup2(log, 2);
    [[maybe_unused]] int ignored = chdir("/");
    execve(argv[0], argv.data(), envp.data());
    int failure = errno;
    [[maybe_unused]] ssize_t n = write(channel[1], &failure, sizeof failure);
    _exit(127);
  }
  close(channel[1]);
  int pid = 0;
  int failure = 0;
  bool gotPid = child > 0 && read(channel[0], &pid, sizeof pid) == sizeof pid;
  bool execFailed = gotPid && read(channel[0], &failure, sizeof failure) == sizeof failure;
  close(channel[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  if (!gotPid || execFailed) {
    error = failure == ENOENT || failure == ENOTDIR ? ERROR_FILE_NOT_FOUND
            : failure == ENOEXEC                    ? ERROR_BAD_EXE_FORMAT
                                                    : ERROR_ACCESS_DENIED;
    if (!gotPid) error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  return pid;
}

void WriteArguments(const fs::path& folder, DWORD argc, const char** argv) {
  std::ofstream out(folder / "arguments", std::ios::binary | std::ios::trunc);
  for (DWORD index = 0; argv != nullptr && index < argc; ++index) {
    if (argv[index] != nullptr) out << argv[index] << '\0';
  }
}

DWORD NeededAccess(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
    case 7:
    case 8:
    case 9:
    case 10:
      return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    default:
      return SERVICE_USER_DEFINED_CONTROL;
  }
}

// Codes a controller may send at all: the standard ones up to the binding changes, and the
// user-defined range 128..255. Shutdown is the system's alone.
bool SendableControl(DWORD control) {
  return (control >= 1 && control <= 10 && control != SERVICE_CONTROL_SHUTDOWN) ||
         (control >= 128 && control <= 255);
}

}  // namespace

BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return FALSE;
  if ((handle->access & SERVICE_START) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  reg::RegistryKey record;
  DWORD status = OpenRecord(*handle, handle->serviceName, record);
  if (status != ERROR_SUCCESS) return Fail(status, FALSE);
  if (IsMarkedForDelete(record)) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
  DWORD startType = 0;
  std::string imagePath;
  record.GetDword("Start", startType);
  record.GetString("ImagePath", imagePath);
  if (startType == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED, FALSE);
  std::vector<std::string> words = SplitImagePath(imagePath);
  if (words.empty() || words[0].empty()) return Fail(ERROR_FILE_NOT_FOUND, FALSE);

  fs::path folder = ServiceFolder(*MachineOf(*handle), handle->serviceName);
  int pid = 0;
  {
    RuntimeLock lock(folder);
    if (IsActive(EffectiveRuntime(folder))) return Fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    WriteArguments(folder, argc, argv);
    DWORD error = 0;
    pid = Spawn(words, ServiceEnvironment(*handle), folder / "output.log", error);
    if (pid == 0) return Fail(error, FALSE);
    ServiceRuntime runtime;
    runtime.status.dwCurrentState = SERVICE_START_PENDING;
    runtime.pid = pid;
    runtime.startTime = ProcessStartTime(pid);
    if (runtime.startTime == 0) return Fail(ERROR_SERVICE_REQUEST_TIMEOUT, FALSE);
    WriteRuntime(folder, runtime);
  }
  // The dispatcher announces itself in the status file once it listens for controls.
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    // Only the dispatcher writes anything but our own unconnected START_PENDING for this pid,
    // even when the service has already come and gone.
    ServiceRuntime written;
    if (ReadRuntime(folder, written) && written.pid == pid &&
        (written.connected || written.status.dwCurrentState != SERVICE_START_PENDING)) {
      SetLastError(ERROR_SUCCESS);
      return TRUE;
    }
    ServiceRuntime runtime = EffectiveRuntime(folder);
    if (!IsActive(runtime) || runtime.pid != pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Fail(ERROR_SERVICE_REQUEST_TIMEOUT, FALSE);
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return FALSE;
  if (status == nullptr || !SendableControl(control)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if ((handle->access & NeededAccess(control)) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  fs::path folder = ServiceFolder(*MachineOf(*handle), handle->serviceName);
  ServiceRuntime runtime = EffectiveRuntime(folder);
  *status = runtime.status;
  if (!IsActive(runtime)) return Fail(ERROR_SERVICE_NOT_ACTIVE, FALSE);
  if (!runtime.connected) return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, FALSE);
  ControlReply reply;
  DWORD error =
      SendControl(ControlChannelName(folder), control,
                  std::chrono::duration_cast<std::chrono::milliseconds>(kControlTimeout), reply);
  if (error != ERROR_SUCCESS) {
    *status = EffectiveRuntime(folder).status;
    return Fail(error, FALSE);
  }
  *status = reply.status;
  if (reply.result != ERROR_SUCCESS) return Fail(reply.result, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return FALSE;
  if ((handle->access & SERVICE_QUERY_STATUS) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (status == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *status = EffectiveRuntime(ServiceFolder(*MachineOf(*handle), handle->serviceName)).status;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD QueryServiceProcessId(SC_HANDLE service) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return 0;
  return static_cast<DWORD>(
      EffectiveRuntime(ServiceFolder(*MachineOf(*handle), handle->serviceName)).pid);
}

}  // namespace tamsel::platform::services
