// The status file of a service, process identity and the control channel's name.
#include "platform/services/service_runtime.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/network/network.h"

namespace tamsel::platform::services {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStatusFile = "status";

bool ParseNumber(std::string_view text, std::uint64_t& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

fs::path ServiceFolder(const network::Machine& machine, std::string_view name) {
  fs::path folder = machine.StateFolder() / "services" / network::ToUpper(name);
  std::error_code error;
  fs::create_directories(folder, error);
  return folder;
}

std::string FormatRuntime(const ServiceRuntime& runtime) {
  const SERVICE_STATUS& s = runtime.status;
  std::ostringstream out;
  out << "type=" << s.dwServiceType << "\nstate=" << s.dwCurrentState
      << "\ncontrols=" << s.dwControlsAccepted << "\nexit_code=" << s.dwWin32ExitCode
      << "\nspecific_exit_code=" << s.dwServiceSpecificExitCode << "\ncheckpoint=" << s.dwCheckPoint
      << "\nwait_hint=" << s.dwWaitHint << "\npid=" << runtime.pid
      << "\nstart_time=" << runtime.startTime << "\nconnected=" << (runtime.connected ? 1 : 0)
      << "\n";
  return out.str();
}

bool ParseRuntime(std::string_view text, ServiceRuntime& runtime) {
  ServiceRuntime parsed;
  bool sawState = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    std::uint64_t value = 0;
    if (!ParseNumber(line.substr(equals + 1), value)) return false;
    DWORD dword = static_cast<DWORD>(value);
    SERVICE_STATUS& s = parsed.status;
    if (key == "type")
      s.dwServiceType = dword;
    else if (key == "state")
      s.dwCurrentState = dword, sawState = true;
    else if (key == "controls")
      s.dwControlsAccepted = dword;
    else if (key == "exit_code")
      s.dwWin32ExitCode = dword;
    else if (key == "specific_exit_code")
      s.dwServiceSpecificExitCode = dword;
    else if (key == "checkpoint")
      s.dwCheckPoint = dword;
    else if (key == "wait_hint")
      s.dwWaitHint = dword;
    else if (key == "pid")
      parsed.pid = static_cast<int>(value);
    else if (key == "start_time")
      parsed.startTime = value;
    else if (key == "connected")
      parsed.connected = value != 0;
  }
  if (!sawState) return false;
  runtime = parsed;
  return true;
}

bool ReadRuntime(const fs::path& folder, ServiceRuntime& runtime) {
  std::ifstream in(folder / kStatusFile, std::ios::binary);
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  return ParseRuntime(text.str(), runtime);
}

bool WriteRuntime(const fs::path& folder, const ServiceRuntime& runtime) {
  fs::path temporary = folder / ("status." + std::to_string(getpid()) + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << FormatRuntime(runtime);
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(temporary, folder / kStatusFile, error);
  if (error) fs::remove(temporary, error);
  return !error;
}

RuntimeLock::RuntimeLock(const fs::path& folder) {
  fd_ = open((folder / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ >= 0) flock(fd_, LOCK_EX);
}

RuntimeLock::~RuntimeLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

std::uint64_t ProcessStartTime(int pid) {
  if (pid <= 0) return 0;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!in || !std::getline(in, text)) return 0;
  // The command name may hold blanks and parentheses: fields are counted after the last ')'.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  std::uint64_t startTime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 3 && (field == "Z" || field == "X")) return 0;  // ended, not yet reaped
    if (index == 22) {
      if (!ParseNumber(field, startTime)) return 0;
      break;
    }
  }
  return startTime;
}

bool IsActive(const ServiceRuntime& runtime) {
  return runtime.status.dwCurrentState != SERVICE_STOPPED;
}

ServiceRuntime EffectiveRuntime(const fs::path& folder) {
  ServiceRuntime runtime;
  if (!ReadRuntime(folder, runtime)) return ServiceRuntime();
  if (IsActive(runtime)) {
    std::uint64_t startTime = ProcessStartTime(runtime.pid);
    if (startTime == 0 || startTime != runtime.startTime) {
      runtime.status.dwCurrentState = SERVICE_STOPPED;
      runtime.status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
      runtime.status.dwControlsAccepted = 0;
      runtime.status.dwCheckPoint = 0;
      runtime.status.dwWaitHint = 0;
      runtime.pid = 0;
      runtime.connected = false;
    }
  }
  if (!IsActive(runtime)) runtime.pid = 0;
  return runtime;
}

std::string ControlChannelName(const fs::path& folder) {
  // FNV-1a over the folder's absolute path: abstract socket names are short and global to the
  // host, and each machine of each network needs its own.
  std::uint64_t hash = 1469598103934665603ULL;
  for (char c : fs::absolute(folder).lexically_normal().string()) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return std::string("tamsel-service-") + text;
}

}  // namespace tamsel::platform::services
