// LookupAccountSidA over ResolveAccount.
#include "platform/accounts/lookup_account.h"

#include <cstring>

#include "platform/network/last_error.h"

namespace tamsel::platform::accounts {

namespace {

BOOL Fail(Win32Error error) {
  SetLastError(error);
  return 0;
}

}  // namespace

BOOL LookupAccountSidA(const char* systemName, const void* sid, char* name, DWORD* cchName,
                       char* referencedDomainName, DWORD* cchReferencedDomainName,
                       SID_NAME_USE* use) {
  if (cchName == nullptr || cchReferencedDomainName == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::optional<Sid> parsed = Sid::FromPointer(sid);
  if (!parsed) return Fail(ERROR_INVALID_SID);
  AccountName account;
  if (Win32Error status = ResolveAccount(systemName ? systemName : "", *parsed, account)) {
    return Fail(status);
  }
  DWORD nameNeeded = static_cast<DWORD>(account.name.size() + 1);
  DWORD domainNeeded = static_cast<DWORD>(account.domain.size() + 1);
  if (*cchName < nameNeeded || *cchReferencedDomainName < domainNeeded || name == nullptr ||
      referencedDomainName == nullptr) {
    *cchName = nameNeeded;
    *cchReferencedDomainName = domainNeeded;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(name, account.name.c_str(), nameNeeded);
  std::memcpy(referencedDomainName, account.domain.c_str(), domainNeeded);
  *cchName = nameNeeded - 1;
  *cchReferencedDomainName = domainNeeded - 1;
  if (use != nullptr) *use = account.use;
  SetLastError(ERROR_SUCCESS);
  return 1;
}

}  // namespace tamsel::platform::accounts
