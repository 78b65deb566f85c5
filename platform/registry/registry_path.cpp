// Parsing of full registry key names with root abbreviations and a machine prefix.
#include "platform/registry/registry_path.h"

#include "platform/network/network.h"

namespace tamsel::platform::registry {

namespace {

struct RootName {
  const char* shortName;
  const char* longName;
  const HKEY* root;
};

const RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", &HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", &HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", &HKEY_CLASSES_ROOT},
    {"HKU", "HKEY_USERS", &HKEY_USERS},
};

std::string_view TrimBackslashes(std::string_view text) {
  while (!text.empty() && text.front() == '\\') text.remove_prefix(1);
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  return text;
}

}  // namespace

HKEY ParseRootName(std::string_view name) {
  for (const RootName& entry : kRoots) {
    if (network::EqualsIgnoreCase(name, entry.shortName) ||
        network::EqualsIgnoreCase(name, entry.longName)) {
      return *entry.root;
    }
  }
  return nullptr;
}

const char* RootLongName(HKEY root) {
  for (const RootName& entry : kRoots) {
    if (*entry.root == root) return entry.longName;
  }
  return "";
}

bool ParseRegistryPath(std::string_view text, RegistryPath& out) {
  out = RegistryPath{};
  if (text.size() > 2 && text[0] == '\\' && text[1] == '\\') {
    text.remove_prefix(2);
    size_t slash = text.find('\\');
    if (slash == std::string_view::npos || slash == 0) return false;
    out.machine = network::CanonicalMachineName(text.substr(0, slash));
    text.remove_prefix(slash + 1);
  }
  size_t slash = text.find('\\');
  out.root = ParseRootName(text.substr(0, slash));
  if (out.root == nullptr) return false;
  if (slash != std::string_view::npos) out.subKey = TrimBackslashes(text.substr(slash + 1));
  return true;
}

std::string FullKeyName(const RegistryPath& path) {
  std::string name = RootLongName(path.root);
  if (!path.subKey.empty()) name += "\\" + path.subKey;
  return name;
}

}  // namespace tamsel::platform::registry
