// Process token user: LocalSystem for root, a machine account for every other user.
#include "platform/accounts/token.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/accounts/account_names.h"
#include "platform/network/last_error.h"
#include "platform/network/network.h"

namespace tamsel::platform::accounts {

struct KernelObject {
  enum class Kind { kProcess, kThread, kToken } kind;
  std::vector<std::uint8_t> userSid;  // tokens only
};

namespace {

KernelObject processPseudo{KernelObject::Kind::kProcess, {}};
KernelObject threadPseudo{KernelObject::Kind::kThread, {}};

// Open tokens; a handle is valid while it is in here.
std::mutex tokensMutex;
std::map<KernelObject*, std::unique_ptr<KernelObject>> tokens;

BOOL Fail(Win32Error error) {
  SetLastError(error);
  return 0;
}

bool IsOpenToken(HANDLE handle) {
  std::lock_guard lock(tokensMutex);
  return tokens.count(handle) != 0;
}

std::string UnixUserName(std::uint32_t uid) {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return "user" + std::to_string(uid);
}

}  // namespace

HANDLE GetCurrentProcess() { return &processPseudo; }
HANDLE GetCurrentThread() { return &threadPseudo; }

Sid SidForUid(std::uint32_t uid, std::string_view machineName) {
  if (uid == 0) return Sid(5, {18});
  return MachineDomainSid(machineName).WithRid(1000 + uid);
}

Sid CurrentProcessUserSid() {
  std::uint32_t uid = geteuid();
  const auto& network = network::Network::Current();
  Sid sid = SidForUid(uid, network.LocalMachineName());
  AccountName existing;
  if (uid != 0 && network.LocalMachine()->IsReachable() &&
      ResolveAccount("", sid, existing) == ERROR_NONE_MAPPED) {
    // Best effort: without the entry the events still carry the SID, only its name is unknown.
    AddAccount("", sid, UnixUserName(uid));
  }
  return sid;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  if (process != &processPseudo || token == nullptr) return Fail(ERROR_INVALID_HANDLE);
  auto object = std::make_unique<KernelObject>(
      KernelObject{KernelObject::Kind::kToken, CurrentProcessUserSid().Bytes()});
  std::lock_guard lock(tokensMutex);
  *token = object.get();
  tokens.emplace(object.get(), std::move(object));
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, HANDLE* token) {
  if (thread != &threadPseudo || token == nullptr) return Fail(ERROR_INVALID_HANDLE);
  return Fail(ERROR_NO_TOKEN);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* information,
                         DWORD length, DWORD* returnLength) {
  if (!IsOpenToken(token)) return Fail(ERROR_INVALID_HANDLE);
  if (infoClass != TokenUser || returnLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // TOKEN_USER followed by the SID it points at, in one caller-owned block.
  DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + token->userSid.size());
  *returnLength = needed;
  if (information == nullptr || length < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* user = static_cast<TOKEN_USER*>(information);
  auto* sidBytes = static_cast<std::uint8_t*>(information) + sizeof(TOKEN_USER);
  std::memcpy(sidBytes, token->userSid.data(), token->userSid.size());
  user->User.Sid = sidBytes;
  user->User.Attributes = 0;
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL CloseHandle(HANDLE object) {
  if (object == &processPseudo || object == &threadPseudo) return 1;
  std::lock_guard lock(tokensMutex);
  if (tokens.erase(object) == 0) return Fail(ERROR_INVALID_HANDLE);
  return 1;
}

}  // namespace tamsel::platform::accounts
