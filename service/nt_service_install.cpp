// CNTService: install and remove through the service control manager, registration as an
// event source of the Application log, and the service's own event reports.
#include <cstring>
#include <memory>
#include <string>

#include "platform/accounts/token.h"
#include "platform/registry/registry.h"
#include "service/nt_service.h"

namespace tamsel::service {

namespace svc = platform::services;
namespace reg = platform::registry;
namespace acc = platform::accounts;
namespace evl = platform::eventlog;

namespace {

constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// The user of the thread's token, else of the process's token, in a block of the size the
// token asks for; empty when any step fails.
std::unique_ptr<std::uint8_t[]> TokenUser() {
  acc::HANDLE token = nullptr;
  if (!acc::OpenThreadToken(acc::GetCurrentThread(), acc::TOKEN_QUERY, TRUE, &token)) {
    if (svc::GetLastError() != acc::ERROR_NO_TOKEN ||
        !acc::OpenProcessToken(acc::GetCurrentProcess(), acc::TOKEN_QUERY, &token)) {
      return nullptr;
    }
  }
  std::unique_ptr<std::uint8_t[]> block;
  DWORD size = 0;
  if (!acc::GetTokenInformation(token, acc::TokenUser, nullptr, 0, &size) &&
      svc::GetLastError() == platform::ERROR_INSUFFICIENT_BUFFER && size > 0) {
    block = std::make_unique<std::uint8_t[]>(size);
    if (!acc::GetTokenInformation(token, acc::TokenUser, block.get(), size, &size)) block.reset();
  }
  acc::CloseHandle(token);
  return block;
}

}  // namespace

BOOL CNTService::IsServiceInstalled() {
  svc::SC_HANDLE manager = svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return FALSE;
  BOOL installed = FALSE;
  svc::SC_HANDLE service = svc::OpenServiceA(manager, serviceName_, svc::SERVICE_QUERY_CONFIG);
  if (service != nullptr) {
    installed = TRUE;
    svc::CloseServiceHandle(service);
  }
  svc::CloseServiceHandle(manager);
  return installed;
}

BOOL CNTService::InstallService() {
  svc::SC_HANDLE manager = svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return FALSE;
  char filePath[260];
  DWORD length = GetModuleFileNameA(nullptr, filePath, sizeof filePath);
  if (length == 0 || length >= sizeof filePath) {
    // A path cut short would register a program that does not exist.
    svc::CloseServiceHandle(manager);
    svc::SetLastError(platform::ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  svc::SC_HANDLE service = svc::CreateServiceA(
      manager, serviceName_, serviceName_, svc::SERVICE_ALL_ACCESS, svc::SERVICE_WIN32_OWN_PROCESS,
      svc::SERVICE_AUTO_START, svc::SERVICE_ERROR_NORMAL, filePath, nullptr, nullptr, nullptr,
      nullptr, nullptr);
  if (service == nullptr) {
    svc::CloseServiceHandle(manager);
    return FALSE;
  }
  std::string keyPath = std::string(kEventSourceKey) + serviceName_;
  reg::HKEY key = nullptr;
  reg::LSTATUS status = reg::RegCreateKeyExA(reg::HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr,
                                             reg::REG_OPTION_NON_VOLATILE, reg::KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr);
  if (status != 0) {
    svc::SetLastError(static_cast<DWORD>(status));
    svc::CloseServiceHandle(service);
    svc::CloseServiceHandle(manager);
    return FALSE;
  }
  reg::RegSetValueExA(key, "EventMessageFile", 0, reg::REG_EXPAND_SZ,
                      reinterpret_cast<const std::uint8_t*>(filePath),
                      static_cast<DWORD>(std::strlen(filePath) + 1));
  DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  reg::RegSetValueExA(key, "TypesSupported", 0, reg::REG_DWORD,
                      reinterpret_cast<const std::uint8_t*>(&types), sizeof types);
  reg::RegCloseKey(key);
  ReportServiceEvent(EVENTLOG_INFORMATION_TYPE, EVMSG_INSTALLED, serviceName_);
  svc::CloseServiceHandle(service);
  svc::CloseServiceHandle(manager);
  return TRUE;
}

BOOL CNTService::RemoveService() {
  svc::SC_HANDLE manager = svc::OpenSCManagerA(nullptr, nullptr, svc::SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return FALSE;
  svc::SC_HANDLE service = svc::OpenServiceA(manager, serviceName_, svc::DELETE);
  if (service == nullptr) {
    svc::CloseServiceHandle(manager);
    return FALSE;
  }
  BOOL removed = FALSE;
  if (svc::DeleteService(service)) {
    for (WORD type :
         {EVENTLOG_INFORMATION_TYPE, EVENTLOG_SUCCESS, EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE,
          EVENTLOG_INFORMATION_TYPE, EVENTLOG_AUDIT_SUCCESS, EVENTLOG_AUDIT_FAILURE}) {
      ReportServiceEvent(type, EVMSG_REMOVED, serviceName_);
    }
    removed = TRUE;
  } else {
    DWORD error = svc::GetLastError();
    ReportServiceEvent(EVENTLOG_ERROR_TYPE, EVMSG_NOTREMOVED, serviceName_);
    svc::SetLastError(error);  // the caller prints the reason of the failed delete
  }
  svc::CloseServiceHandle(service);
  svc::CloseServiceHandle(manager);
  return removed;
}

void CNTService::ReportServiceEvent(WORD type, DWORD id, const char* s1, const char* s2,
                                    const char* s3) {
  const char* strings[3];
  WORD count = 0;
  for (const char* text : {s1, s2, s3}) {
    if (text != nullptr) strings[count++] = text;
  }
  if (eventSource_ == nullptr) eventSource_ = evl::RegisterEventSourceA(nullptr, serviceName_);
  std::unique_ptr<std::uint8_t[]> user = TokenUser();
  if (user == nullptr || eventSource_ == nullptr) return;
  void* sid = reinterpret_cast<acc::TOKEN_USER*>(user.get())->User.Sid;
  evl::ReportEventA(eventSource_, type, 0, id, sid, count, 0, strings, nullptr);
}

}  // namespace tamsel::service
