// Well-known accounts, each machine's built-in accounts and the accounts of its registry.
#include "platform/accounts/account_names.h"

#include <array>

#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace tamsel::platform::accounts {

namespace {

using registry::DWORD;
using registry::RegistryKey;

struct WellKnownEntry {
  const char* sid;
  const char* name;
  const char* domain;
  SID_NAME_USE use;
};

constexpr const char* kNt = "NT AUTHORITY";
constexpr const char* kBuiltin = "BUILTIN";

constexpr std::array kWellKnown = {
    WellKnownEntry{"S-1-0-0", "NULL SID", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-1-0", "Everyone", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-2-0", "LOCAL", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-2-1", "CONSOLE LOGON", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-3-0", "CREATOR OWNER", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-3-1", "CREATOR GROUP", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-3-2", "CREATOR OWNER SERVER", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-3-3", "CREATOR GROUP SERVER", "", SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-1", "DIALUP", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-2", "NETWORK", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-3", "BATCH", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-4", "INTERACTIVE", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-6", "SERVICE", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-7", "ANONYMOUS LOGON", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-8", "PROXY", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-10", "SELF", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-11", "Authenticated Users", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-12", "RESTRICTED", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-13", "TERMINAL SERVER USER", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-14", "REMOTE INTERACTIVE LOGON", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-15", "This Organization", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-18", "SYSTEM", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-19", "LOCAL SERVICE", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-20", "NETWORK SERVICE", kNt, SidTypeWellKnownGroup},
    WellKnownEntry{"S-1-5-32", "BUILTIN", kBuiltin, SidTypeDomain},
    WellKnownEntry{"S-1-5-32-544", "Administrators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-545", "Users", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-546", "Guests", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-547", "Power Users", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-548", "Account Operators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-549", "Server Operators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-550", "Print Operators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-551", "Backup Operators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-552", "Replicator", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-554", "Pre-Windows 2000 Compatible Access", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-555", "Remote Desktop Users", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-556", "Network Configuration Operators", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-558", "Performance Monitor Users", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-5-32-559", "Performance Log Users", kBuiltin, SidTypeAlias},
    WellKnownEntry{"S-1-16-4096", "Low Mandatory Level", "Mandatory Label", SidTypeLabel},
    WellKnownEntry{"S-1-16-8192", "Medium Mandatory Level", "Mandatory Label", SidTypeLabel},
    WellKnownEntry{"S-1-16-12288", "High Mandatory Level", "Mandatory Label", SidTypeLabel},
    WellKnownEntry{"S-1-16-16384", "System Mandatory Level", "Mandatory Label", SidTypeLabel},
};

// Accounts every machine database has from its installation, by RID.
std::optional<AccountName> BuiltInMachineAccount(std::uint32_t rid, const std::string& machine) {
  switch (rid) {
    case 500:
      return AccountName{"Administrator", machine, SidTypeUser};
    case 501:
      return AccountName{"Guest", machine, SidTypeUser};
    case 513:
      return AccountName{"None", machine, SidTypeGroup};
    default:
      return std::nullopt;
  }
}

// FNV-1a over the upper-case name, so the machine SID survives renames of nothing but case.
std::uint32_t Fnv(std::string_view text, std::uint32_t seed) {
  std::uint32_t hash = 2166136261u ^ seed;
  for (char c : text) {
    hash ^= static_cast<std::uint8_t>(c);
    hash *= 16777619u;
  }
  return hash;
}

Win32Error OpenAccountsKey(std::string_view machineName, bool create, RegistryKey& key) {
  auto machine = network::Network::Current().OpenMachine(machineName);
  if (!machine->IsReachable()) return RPC_S_SERVER_UNAVAILABLE;
  RegistryKey root;
  if (auto status = RegistryKey::Connect(machine->Name(), registry::HKEY_LOCAL_MACHINE, root)) {
    return static_cast<Win32Error>(status);
  }
  auto status = create ? RegistryKey::Create(root.Get(), kAccountsKey, key)
                       : RegistryKey::Open(root.Get(), kAccountsKey, registry::KEY_READ, key);
  return static_cast<Win32Error>(status);
}

}  // namespace

std::optional<AccountName> WellKnownAccount(const Sid& sid) {
  std::string text = sid.ToString();
  for (const WellKnownEntry& entry : kWellKnown) {
    if (text == entry.sid) return AccountName{entry.name, entry.domain, entry.use};
  }
  return std::nullopt;
}

Sid MachineDomainSid(std::string_view machineName) {
  std::string name = network::CanonicalMachineName(machineName);
  return Sid(5, {21, Fnv(name, 1), Fnv(name, 2), Fnv(name, 3)});
}

Win32Error AddAccount(std::string_view machineName, const Sid& sid, std::string_view name,
                      std::string_view domain, SID_NAME_USE use) {
  RegistryKey accounts;
  if (Win32Error status = OpenAccountsKey(machineName, true, accounts)) return status;
  RegistryKey account;
  if (auto status = RegistryKey::Create(accounts.Get(), sid.ToString(), account)) {
    return static_cast<Win32Error>(status);
  }
  if (auto status = account.SetString("Name", name)) return static_cast<Win32Error>(status);
  if (auto status = account.SetString("Domain", domain)) return static_cast<Win32Error>(status);
  return static_cast<Win32Error>(account.SetDword("Use", use));
}

Win32Error RemoveAccount(std::string_view machineName, const Sid& sid) {
  RegistryKey accounts;
  if (Win32Error status = OpenAccountsKey(machineName, false, accounts)) return status;
  return static_cast<Win32Error>(registry::RegDeleteTreeA(accounts.Get(), sid.ToString().c_str()));
}

Win32Error ResolveAccount(std::string_view machineName, const Sid& sid, AccountName& account) {
  auto machine = network::Network::Current().OpenMachine(machineName);
  if (!machine->IsReachable()) return RPC_S_SERVER_UNAVAILABLE;
  if (auto known = WellKnownAccount(sid)) {
    account = *known;
    return ERROR_SUCCESS;
  }
  RegistryKey accounts;
  RegistryKey entry;
  std::string name;
  if (OpenAccountsKey(machine->Name(), false, accounts) == ERROR_SUCCESS &&
      RegistryKey::Open(accounts.Get(), sid.ToString(), registry::KEY_READ, entry) == 0 &&
      entry.GetString("Name", name) == 0 && !name.empty()) {
    std::string domain;
    DWORD use = SidTypeUser;
    if (entry.GetString("Domain", domain) != 0 || domain.empty()) domain = machine->Name();
    entry.GetDword("Use", use);
    account = AccountName{name, domain, static_cast<SID_NAME_USE>(use)};
    return ERROR_SUCCESS;
  }
  if (sid.IsInDomain(MachineDomainSid(machine->Name()))) {
    if (auto builtIn = BuiltInMachineAccount(sid.SubAuthorities().back(), machine->Name())) {
      account = *builtIn;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_NONE_MAPPED;
}

}  // namespace tamsel::platform::accounts
