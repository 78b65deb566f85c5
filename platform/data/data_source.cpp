// Resolution of data-source names through the client alias table, and the files that hold
// each catalog.
#include "platform/data/data_source.h"

#include "platform/data/provider_error.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace tamsel::platform::data {
namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;

// "tcp:SRV\INST,1433" -> "SRV".
std::string ServerPart(std::string_view name) {
  if (name.size() > 4 && net::EqualsIgnoreCase(name.substr(0, 4), "tcp:")) name.remove_prefix(4);
  while (name.starts_with("\\")) name.remove_prefix(1);
  name = name.substr(0, name.find_first_of("\\,"));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  return std::string(name);
}

// The server an alias names: the second field of "DBMSSOCN,SRV,1433", else the whole value.
std::string AliasTarget(std::string_view value) {
  const size_t comma = value.find(',');
  if (comma == std::string_view::npos) return ServerPart(value);
  return ServerPart(value.substr(comma + 1));
}

bool IsLocalName(std::string_view server) {
  return server.empty() || server == "." || net::EqualsIgnoreCase(server, "(local)") ||
         net::EqualsIgnoreCase(server, "localhost") || server == "127.0.0.1" ||
         net::EqualsIgnoreCase(server, net::Network::Current().LocalMachineName());
}

}  // namespace

bool IsServerAliasValue(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  const std::string lower = net::ToLower(value.substr(0, 16));
  return lower.starts_with("postgresql://") || lower.starts_with("postgres://") ||
         lower.starts_with("host=") || value.find(" host=") != std::string_view::npos;
}

bool WriteAlias(std::string_view name, std::string_view value) {
  reg::RegistryKey aliases;
  return reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE, kAliasKey, aliases) == ERROR_SUCCESS &&
         aliases.SetString(name, value) == ERROR_SUCCESS;
}

std::optional<std::string> ServerAliasTarget(std::string_view dataSource) {
  const std::string server = ServerPart(dataSource);
  if (server.empty()) return std::nullopt;
  reg::RegistryKey aliases;
  if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, kAliasKey, reg::KEY_READ, aliases) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string target;
  if (aliases.GetString(server, target) != ERROR_SUCCESS || !IsServerAliasValue(target)) {
    return std::nullopt;
  }
  return target;
}

std::string ResolveDataSourceMachine(std::string_view dataSource) {
  std::string server = ServerPart(dataSource);
  reg::RegistryKey aliases;
  if (!server.empty() && reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, kAliasKey, reg::KEY_READ,
                                                aliases) == ERROR_SUCCESS) {
    std::string target;
    if (aliases.GetString(server, target) == ERROR_SUCCESS) server = AliasTarget(target);
  }
  if (IsLocalName(server)) return net::Network::Current().LocalMachineName();
  return net::CanonicalMachineName(server);
}

std::filesystem::path DataFolder(std::string_view dataSource) {
  const std::string machineName = ResolveDataSourceMachine(dataSource);
  const net::Network& network = net::Network::Current();
  auto machine = network.OpenMachine(machineName);
  const bool local = net::EqualsIgnoreCase(machineName, network.LocalMachineName());
  if (!machine || (!local && !machine->IsReachable())) {
    RaiseProviderError(kProviderFail,
                       "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or "
                       "access denied.");
  }
  return machine->StateFolder() / "data";
}

std::filesystem::path CatalogFile(const std::filesystem::path& dataFolder,
                                  std::string_view catalog) {
  const std::string wanted = std::string(catalog) + ".db";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dataFolder, error)) {
    if (net::EqualsIgnoreCase(entry.path().filename().string(), wanted)) return entry.path();
  }
  return dataFolder / wanted;
}

}  // namespace tamsel::platform::data
