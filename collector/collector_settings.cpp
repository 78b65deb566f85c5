// CCollectorService: reading the settings at start, the writers of the Parameters key, and the
// state counter under the Status key.
#include <cstdio>
#include <cstring>

#include "collector/collector_service.h"

namespace tamsel::collector {

namespace reg = platform::registry;

namespace {

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr reg::DWORD kStringBufferSize = 256;

}  // namespace

CCollectorService::CCollectorService(const char* serviceName) : CNTService(serviceName) {}

CCollectorService::~CCollectorService() = default;

BOOL CCollectorService::ReadStringSetting(reg::HKEY key, const char* valueName,
                                          std::string& value) {
  value = ReadBoundedString(key, valueName, "");
  return TRUE;
}

std::string CCollectorService::ReadBoundedString(reg::HKEY key, const char* valueName,
                                                 const std::string& where) {
  char buffer[kStringBufferSize];
  std::memset(buffer, 0, sizeof buffer);
  reg::DWORD size = sizeof buffer;
  reg::LSTATUS status = reg::RegQueryValueExA(key, valueName, nullptr, nullptr,
                                              reinterpret_cast<std::uint8_t*>(buffer), &size);
  if (status == platform::ERROR_MORE_DATA) {
    // Too long for the buffer: taken as empty, so whatever depends on it keeps its default.
    TraceMessage("Value '%s'%s is too long (%lu bytes) and was ignored", valueName, where.c_str(),
                 static_cast<unsigned long>(size));
    return {};
  }
  if (status != 0) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

BOOL CCollectorService::ReadDwordSetting(reg::HKEY key, const char* valueName, int& value) {
  reg::DWORD buffer = 0;
  reg::DWORD size = sizeof buffer;
  if (reg::RegQueryValueExA(key, valueName, nullptr, nullptr,
                            reinterpret_cast<std::uint8_t*>(&buffer), &size) == 0) {
    value = static_cast<int>(buffer);
  }
  return TRUE;
}

BOOL CCollectorService::OnInit() {
  std::string path = std::string(kServicesKey) + serviceName_ + "\\Parameters";
  reg::HKEY key = nullptr;
  if (reg::RegOpenKeyExA(reg::HKEY_LOCAL_MACHINE, path.c_str(), 0, reg::KEY_QUERY_VALUE, &key) ==
      0) {
    ReadDwordSetting(key, "Start", stateStart_);
    ReadDwordSetting(key, "Inc", stateIncrement_);
    ReadDwordSetting(key, "RefreshRate", refreshRate_);
    ReadDwordSetting(key, "DBUseNTAuthentication", ntAuthentication_);

    std::string text;
    ReadStringSetting(key, "LogFilePath", text);
    if (!text.empty()) {
      logFilePath_ = text;
      logFileFlag_ = 1;
      std::string announcement = "Logging \"enabled\".  Log file: " + logFilePath_;
      ReportServiceEvent(service::EVENTLOG_INFORMATION_TYPE, service::EVMSG_WARNING,
                         announcement.c_str());
    } else {
      logFileFlag_ = 0;
    }
    ReadStringSetting(key, "DatabaseServerName", text);
    if (!text.empty()) databaseServerName_ = text;
    if (ntAuthentication_ == 0) {
      ReadStringSetting(key, "DBUserName", text);
      if (!text.empty()) userName_ = text;
      ReadStringSetting(key, "DBPassword", password_);
    }
    ReadStringSetting(key, "BakupPath", text);
    if (!text.empty()) backupPath_ = text;
    reg::RegCloseKey(key);
  }
  if (refreshRate_ < 0) {
    refreshRate_ = kDefaultRefreshRate;
    SaveRefreshRate();
  }
  stateCounter_ = stateStart_;
  SaveCurrentState();
  return TRUE;
}

long CCollectorService::CreateServiceSubKey(const char* subKey, reg::HKEY* key) {
  char path[1024];
  std::snprintf(path, sizeof path, "%s%s\\%s", kServicesKey, serviceName_, subKey);
  TraceMessage("Creating key: %s", path);
  char noClass[] = "";
  return reg::RegCreateKeyExA(reg::HKEY_LOCAL_MACHINE, path, 0, noClass,
                              reg::REG_OPTION_NON_VOLATILE, reg::KEY_WRITE, nullptr, key, nullptr);
}

int CCollectorService::SetRefreshRate(int milliseconds) {
  refreshRate_ = milliseconds;
  SaveRefreshRate();
  return 1;
}

void CCollectorService::SaveRefreshRate() {
  reg::HKEY key = nullptr;
  if (CreateServiceSubKey("Parameters", &key) != 0) return;
  reg::DWORD value = static_cast<reg::DWORD>(refreshRate_);
  reg::RegSetValueExA(key, "RefreshRate", 0, reg::REG_DWORD,
                      reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
  reg::RegCloseKey(key);
}

void CCollectorService::SaveCurrentState() {
  reg::HKEY key = nullptr;
  long status = CreateServiceSubKey("Status", &key);
  if (status != 0) {
    TraceMessage("Failed to create Status key (%lu)", static_cast<unsigned long>(status));
    return;
  }
  long counter = stateCounter_;
  TraceMessage("Saving 'Current' as %ld", counter);
  reg::DWORD value = static_cast<reg::DWORD>(counter);
  reg::RegSetValueExA(key, "Current", 0, reg::REG_DWORD,
                      reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
  reg::RegCloseKey(key);
}

int CCollectorService::SetNTAuthentication(int useNtAuthentication) {
  reg::HKEY key = nullptr;
  long status = CreateServiceSubKey("Parameters", &key);
  if (status != 0) {
    TraceMessage("Failed to create key (%lu)", static_cast<unsigned long>(status));
    return static_cast<int>(status);
  }
  reg::DWORD value = static_cast<reg::DWORD>(useNtAuthentication);
  status = reg::RegSetValueExA(key, "DBUseNTAuthentication", 0, reg::REG_DWORD,
                               reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
  reg::RegCloseKey(key);
  return static_cast<int>(status);
}

int CCollectorService::SetParameterString(const char* valueName, const char* value) {
  reg::HKEY key = nullptr;
  long status = CreateServiceSubKey("Parameters", &key);
  if (status != 0) {
    TraceMessage("Failed to create the reg key (%lu)", static_cast<unsigned long>(status));
    return static_cast<int>(status);
  }
  status = reg::RegSetValueExA(key, valueName, 0, reg::REG_SZ,
                               reinterpret_cast<const std::uint8_t*>(value),
                               static_cast<reg::DWORD>(std::strlen(value) + 1));
  reg::RegCloseKey(key);
  return status == 0 ? 1 : static_cast<int>(status);
}

BOOL CCollectorService::OnUserControl(DWORD control) {
  if (control != 128) return FALSE;
  SaveCurrentState();
  return TRUE;
}

}  // namespace tamsel::collector
