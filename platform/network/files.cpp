// Win32-shaped file functions over the current network.
#include "platform/network/files.h"

#include "platform/network/network.h"

namespace tamsel::platform::network {

namespace fs = std::filesystem;

namespace {

// Splits "\\SRV\D$\a\b" into the machine and its "D:\a\b"; a local path stays on the local
// machine. Only administrative drive shares map to a local path.
Win32Error Locate(std::string_view windowsPath, std::shared_ptr<Machine>& machine,
                  std::string& localPath) {
  const Network& network = Network::Current();
  if (windowsPath.size() >= 2 && windowsPath[0] == '\\' && windowsPath[1] == '\\') {
    std::string_view rest = windowsPath.substr(2);
    size_t slash = rest.find('\\');
    if (slash == std::string_view::npos || slash == 0) return ERROR_BAD_NETPATH;
    machine = network.OpenMachine(rest.substr(0, slash));
    if (!machine->IsReachable()) return ERROR_BAD_NETPATH;
    std::string_view share = rest.substr(slash + 1);
    size_t end = share.find('\\');
    std::string_view shareName = share.substr(0, end);
    if (shareName.size() != 2 || shareName[1] != '$') return ERROR_BAD_NET_NAME;
    localPath = std::string(1, shareName[0]) + ":" +
                std::string(end == std::string_view::npos ? "\\" : share.substr(end));
    return ERROR_SUCCESS;
  }
  machine = network.LocalMachine();
  localPath = std::string(windowsPath);
  return ERROR_SUCCESS;
}

}  // namespace

Win32Error CreateFolder(std::string_view windowsPath) {
  std::shared_ptr<Machine> machine;
  std::string localPath;
  if (Win32Error status = Locate(windowsPath, machine, localPath); status != ERROR_SUCCESS) {
    return status;
  }
  return machine->CreateFolder(localPath);
}

Win32Error DeleteFile(std::string_view windowsPath) {
  std::shared_ptr<Machine> machine;
  std::string localPath;
  if (Win32Error status = Locate(windowsPath, machine, localPath); status != ERROR_SUCCESS) {
    return status;
  }
  return machine->DeleteFile(localPath);
}

bool FileExists(std::string_view windowsPath) {
  std::shared_ptr<Machine> machine;
  std::string localPath;
  return Locate(windowsPath, machine, localPath) == ERROR_SUCCESS && machine->FileExists(localPath);
}

Win32Error ResolveWindowsPath(std::string_view windowsPath, fs::path& hostPath) {
  return Network::Current().ResolvePath(windowsPath, hostPath);
}

}  // namespace tamsel::platform::network
