// Account names for SIDs: the well-known SIDs every machine resolves alike, and the accounts a
// machine keeps in its own registry (HKLM\SAM\Accounts\<SID>: Name, Domain, Use).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/accounts/sid.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::accounts {

enum SID_NAME_USE : std::uint32_t {
  SidTypeUser = 1,
  SidTypeGroup = 2,
  SidTypeDomain = 3,
  SidTypeAlias = 4,
  SidTypeWellKnownGroup = 5,
  SidTypeDeletedAccount = 6,
  SidTypeInvalid = 7,
  SidTypeUnknown = 8,
  SidTypeComputer = 9,
  SidTypeLabel = 10,
  SidTypeLogonSession = 11,
};

struct AccountName {
  std::string name;
  std::string domain;  // empty for Everyone and the other authority-less groups
  SID_NAME_USE use = SidTypeUser;
};

inline constexpr const char* kAccountsKey = "SAM\\Accounts";

std::optional<AccountName> WellKnownAccount(const Sid& sid);

// The SID of a machine's own account database, S-1-5-21-a-b-c, the same on every run for the
// same machine name.
Sid MachineDomainSid(std::string_view machineName);

// Writes an account into the machine's registry; an empty domain means the machine's name.
Win32Error AddAccount(std::string_view machineName, const Sid& sid, std::string_view name,
                      std::string_view domain = "", SID_NAME_USE use = SidTypeUser);
Win32Error RemoveAccount(std::string_view machineName, const Sid& sid);

// Resolves as the named machine would: well-known SIDs, the machine's built-in accounts
// (Administrator, Guest, None), then its registry. ERROR_NONE_MAPPED when nothing matches;
// RPC_S_SERVER_UNAVAILABLE when the machine cannot be reached.
Win32Error ResolveAccount(std::string_view machineName, const Sid& sid, AccountName& account);

}  // namespace tamsel::platform::accounts
