// System environment values from a machine's registry, and environment expansion.
#include "platform/registry/system_environment.h"

#include <vector>

#include "platform/network/environment.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace tamsel::platform::registry {

namespace {

// Nesting depth for REG_EXPAND_SZ values that name other variables ("windir" = "%SystemRoot%");
// a loop of references stops here instead of recursing without end.
constexpr int kMaxExpansionDepth = 8;

std::optional<std::string> ReadString(const RegistryKey& key, std::string_view name, bool& expand) {
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  if (key.GetBinary(name, data, type) != 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  expand = type == REG_EXPAND_SZ;
  std::string value(data.begin(), data.end());
  return value.substr(0, value.find('\0'));
}

std::optional<std::string> MachineValue(const RegistryKey& root, std::string_view name, int depth) {
  RegistryKey environment;
  bool expand = false;
  std::optional<std::string> value;
  if (RegistryKey::Open(root.Get(), kEnvironmentKey, KEY_READ, environment) == 0) {
    value = ReadString(environment, name, expand);
  }
  if (!value && (network::EqualsIgnoreCase(name, "SystemRoot") ||
                 network::EqualsIgnoreCase(name, "windir"))) {
    RegistryKey version;
    if (RegistryKey::Open(root.Get(), kWindowsVersionKey, KEY_READ, version) == 0) {
      value = ReadString(version, "SystemRoot", expand);
    }
  }
  // The system expands these once at start; a process sees "C:\WINDOWS", not "%SystemRoot%".
  if (value && expand && depth < kMaxExpansionDepth) {
    value = network::ExpandEnvironmentStrings(
        *value, [&](std::string_view inner) { return MachineValue(root, inner, depth + 1); });
  }
  return value;
}

}  // namespace

std::optional<std::string> SystemEnvironmentValue(std::string_view machineName,
                                                  std::string_view name) {
  RegistryKey root;
  if (RegistryKey::Connect(machineName, HKEY_LOCAL_MACHINE, root) != 0) return std::nullopt;
  return MachineValue(root, name, 0);
}

static std::optional<std::string> LocalLookup(std::string_view name) {
  if (auto value = network::ProcessEnvironmentValue(name)) return value;
  return SystemEnvironmentValue("", name);
}

std::uint32_t ExpandEnvironmentStringsA(const char* source, char* destination, std::uint32_t size) {
  return network::ExpandEnvironmentStringsBounded(source ? source : "", LocalLookup, destination,
                                                  size);
}

std::string ExpandEnvironmentStrings(std::string_view text) {
  return network::ExpandEnvironmentStrings(text, LocalLookup);
}

}  // namespace tamsel::platform::registry
