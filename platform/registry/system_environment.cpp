// System environment values from a machine's registry, and environment expansion.
#include "platform/registry/system_environment.h"

#include "platform/network/environment.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace tamsel::platform::registry {

std::optional<std::string> SystemEnvironmentValue(std::string_view machineName,
                                                  std::string_view name) {
  RegistryKey root;
  if (RegistryKey::Connect(machineName, HKEY_LOCAL_MACHINE, root) != 0) return std::nullopt;
  RegistryKey environment;
  std::string value;
  if (RegistryKey::Open(root.Get(), kEnvironmentKey, KEY_READ, environment) == 0 &&
      environment.GetString(name, value) == 0) {
    return value;
  }
  if (network::EqualsIgnoreCase(name, "SystemRoot") || network::EqualsIgnoreCase(name, "windir")) {
    RegistryKey version;
    if (RegistryKey::Open(root.Get(), kWindowsVersionKey, KEY_READ, version) == 0 &&
        version.GetString("SystemRoot", value) == 0) {
      return value;
    }
  }
  return std::nullopt;
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
