// The network root and the process's current network.
#include "platform/network/network.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace tamsel::platform::network {

namespace {

std::mutex currentMutex;
std::optional<Network> current;

// An installed program (<prefix>/bin beside <prefix>/share/tamsel) uses the system's network:
// /var/lib/tamsel for the prefix /usr, <prefix>/var/lib/tamsel for another one. A tree unpacked
// under another root (<root>/usr) keeps to <root>/var/lib/tamsel.
std::optional<std::filesystem::path> InstalledRoot() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || self.parent_path().filename() != "bin") return std::nullopt;
  const std::filesystem::path prefix = self.parent_path().parent_path();
  if (!std::filesystem::is_directory(prefix / "share" / "tamsel", error)) return std::nullopt;
  const std::filesystem::path base = prefix.filename() == "usr" ? prefix.parent_path() : prefix;
  return base / "var" / "lib" / "tamsel";
}

std::filesystem::path DefaultRoot() {
  if (auto installed = InstalledRoot()) return *installed;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::filesystem::path(data) / "tamsel" / "network";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / ".local/share/tamsel/network";
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "LOCALHOST";
  std::string text(name);
  return text.substr(0, text.find('.'));
}

}  // namespace

std::string ToUpper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

std::string CanonicalMachineName(std::string_view name) {
  while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.remove_prefix(1);
  return ToUpper(name);
}

bool IsValidMachineName(std::string_view name) {
  if (name.empty() || name.size() > 63) return false;
  if (name.find_first_not_of('.') == std::string_view::npos) return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '$';
  });
}

Network::Network(std::filesystem::path root, std::string localMachineName)
    : root_(std::move(root)), localMachineName_(CanonicalMachineName(localMachineName)) {}

Network Network::FromEnvironment() {
  const char* root = std::getenv("TAMSEL_NETWORK");
  const char* machine = std::getenv("TAMSEL_MACHINE");
  return Network(root && *root ? std::filesystem::path(root) : DefaultRoot(),
                 machine && *machine ? machine : HostName());
}

const Network& Network::Current() {
  std::lock_guard lock(currentMutex);
  if (!current) current = FromEnvironment();
  return *current;
}

void Network::SetCurrent(Network network) {
  std::lock_guard lock(currentMutex);
  current = std::move(network);
}

std::shared_ptr<Machine> Network::OpenMachine(std::string_view name) const {
  std::string canonical = CanonicalMachineName(name);
  if (canonical.empty() || canonical == ".") canonical = localMachineName_;
  // An invalid name gets no folder at all, so nothing can resolve or create outside the root.
  if (!IsValidMachineName(canonical)) return std::make_shared<FolderMachine>("", canonical);
  return std::make_shared<FolderMachine>(root_ / canonical, canonical);
}

std::vector<std::string> Network::MachineNames() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root_, error)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool Network::CreateMachineFolder(std::string_view name) const {
  if (!IsValidMachineName(CanonicalMachineName(name))) return false;
  std::filesystem::path folder = root_ / CanonicalMachineName(name);
  if (std::filesystem::exists(folder)) return false;
  std::filesystem::create_directories(folder / "drives" / "C");
  std::filesystem::create_directories(folder / "drives" / "D");
  std::filesystem::create_directories(folder / "state");
  return true;
}

Win32Error Network::ResolvePath(std::string_view windowsPath,
                                std::filesystem::path& hostPath) const {
  if (windowsPath.size() >= 2 && windowsPath[0] == '\\' && windowsPath[1] == '\\') {
    std::string_view rest = windowsPath.substr(2);
    size_t slash = rest.find('\\');
    if (slash == std::string_view::npos || slash == 0) return ERROR_BAD_NETPATH;
    auto machine = OpenMachine(rest.substr(0, slash));
    if (!machine->IsReachable()) return ERROR_BAD_NETPATH;
    return machine->ResolveSharePath(rest.substr(slash + 1), hostPath);
  }
  return LocalMachine()->ResolveLocalPath(windowsPath, hostPath);
}

ScopedCurrentNetwork::ScopedCurrentNetwork(Network network) {
  std::lock_guard lock(currentMutex);
  saved_ = current;
  current = std::move(network);
}

ScopedCurrentNetwork::~ScopedCurrentNetwork() {
  std::lock_guard lock(currentMutex);
  current = std::move(saved_);
}

}  // namespace tamsel::platform::network
