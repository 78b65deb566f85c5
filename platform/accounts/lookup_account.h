// LookupAccountSidA: the name of a SID as a given machine translates it, with Windows' buffer
// rules and error codes.
#pragma once

#include <cstdint>

#include "platform/accounts/account_names.h"

namespace tamsel::platform::accounts {

using BOOL = int;
using DWORD = std::uint32_t;
using PSID = void*;

// systemName NULL, "", "NAME" or "\\NAME". Sizes are in characters including the NUL; when
// a buffer is too small both receive the sizes needed (ERROR_INSUFFICIENT_BUFFER). Other
// failures: ERROR_INVALID_SID, ERROR_NONE_MAPPED, RPC_S_SERVER_UNAVAILABLE.
BOOL LookupAccountSidA(const char* systemName, const void* sid, char* name, DWORD* cchName,
                       char* referencedDomainName, DWORD* cchReferencedDomainName,
                       SID_NAME_USE* use);

}  // namespace tamsel::platform::accounts
