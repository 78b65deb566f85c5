// Win32-shaped file functions over the current network.
#include "platform/network/files.h"

#include "platform/network/network.h"

namespace tamsel::platform::network {

namespace fs = std::filesystem;

namespace {

// Where a Windows path lives; machine and localPath are set only on success.
struct Location {
  Win32Error status = ERROR_SUCCESS;
  std::shared_ptr<Machine> machine;
  std::string localPath;
};

Location Failure(Win32Error status) {
  Location at;
  at.status = status;
  return at;
}

// Splits "\\SRV\D$\a\b" into the machine and its "D:\a\b"; a local path stays on the local
// machine. Only administrative drive shares map to a local path.
Location Locate(std::string_view windowsPath) {
  const Network& network = Network::Current();
  Location at;
  if (windowsPath.size() >= 2 && windowsPath[0] == '\\' && windowsPath[1] == '\\') {
    std::string_view rest = windowsPath.substr(2);
    size_t slash = rest.find('\\');
    if (slash == std::string_view::npos || slash == 0) return Failure(ERROR_BAD_NETPATH);
    at.machine = network.OpenMachine(rest.substr(0, slash));
    if (!at.machine->IsReachable()) return Failure(ERROR_BAD_NETPATH);
    std::string_view share = rest.substr(slash + 1);
    size_t end = share.find('\\');
    std::string_view shareName = share.substr(0, end);
    if (shareName.size() != 2 || shareName[1] != '$') return Failure(ERROR_BAD_NET_NAME);
    at.localPath = std::string(1, shareName[0]) + ":" +
                   std::string(end == std::string_view::npos ? "\\" : share.substr(end));
    return at;
  }
  at.machine = network.LocalMachine();
  at.localPath = std::string(windowsPath);
  return at;
}

}  // namespace

Win32Error CreateFolder(std::string_view windowsPath) {
  Location at = Locate(windowsPath);
  return at.status != ERROR_SUCCESS ? at.status : at.machine->CreateFolder(at.localPath);
}

Win32Error DeleteFile(std::string_view windowsPath) {
  Location at = Locate(windowsPath);
  return at.status != ERROR_SUCCESS ? at.status : at.machine->DeleteFile(at.localPath);
}

bool FileExists(std::string_view windowsPath) {
  Location at = Locate(windowsPath);
  return at.status == ERROR_SUCCESS && at.machine->FileExists(at.localPath);
}

Win32Error MoveFile(std::string_view fromWindowsPath, std::string_view toWindowsPath) {
  Location from = Locate(fromWindowsPath);
  if (from.status != ERROR_SUCCESS) return from.status;
  Location to = Locate(toWindowsPath);
  if (to.status != ERROR_SUCCESS) return to.status;
  if (from.machine->Name() != to.machine->Name()) return ERROR_NOT_SAME_DEVICE;
  return from.machine->MoveFile(from.localPath, to.localPath);
}

Win32Error ResolveWindowsPath(std::string_view windowsPath, fs::path& hostPath) {
  return Network::Current().ResolvePath(windowsPath, hostPath);
}

}  // namespace tamsel::platform::network
