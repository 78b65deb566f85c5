// The access token of the current process or thread, as far as event reporting needs it: the
// token user. root is LocalSystem (S-1-5-18); any other user is an account of the local
// machine, S-1-5-21-<machine>-<1000 + uid>, entered in the machine's registry on first use.
#pragma once

#include <cstdint>

#include "platform/accounts/sid.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::accounts {

using BOOL = int;
using DWORD = std::uint32_t;

inline constexpr Win32Error ERROR_NO_TOKEN = 1008;
inline constexpr DWORD TOKEN_QUERY = 0x0008;

enum TOKEN_INFORMATION_CLASS : std::uint32_t { TokenUser = 1 };

struct SID_AND_ATTRIBUTES {
  void* Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};

struct KernelObject;  // the process and thread pseudo handles, and open tokens
using HANDLE = KernelObject*;

HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);
// Threads never impersonate here: fails with ERROR_NO_TOKEN, as Windows does then.
BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, HANDLE* token);
// TokenUser only; ERROR_INSUFFICIENT_BUFFER with the size needed in *returnLength.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* information,
                         DWORD length, DWORD* returnLength);
BOOL CloseHandle(HANDLE object);

// The user of this process (see above).
Sid CurrentProcessUserSid();
// The SID a Unix user id maps to on the named machine: 0 is LocalSystem.
Sid SidForUid(std::uint32_t uid, std::string_view machineName);

}  // namespace tamsel::platform::accounts
