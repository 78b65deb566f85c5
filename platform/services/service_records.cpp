// The service records of the control manager: handles, create, open, delete, configuration.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/network/network.h"
#include "platform/services/service_handles.h"
#include "platform/services/service_runtime.h"

namespace tamsel::platform::services {

namespace reg = platform::registry;
namespace fs = std::filesystem;

namespace {

std::mutex handlesMutex;
std::map<ScHandleData*, std::unique_ptr<ScHandleData>> handles;

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char* kDeleteFlag = "DeleteFlag";

bool ValidServiceName(const char* name) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 256) return false;
  return std::strpbrk(name, "/\\") == nullptr;
}

DWORD ConnectMachine(const ScHandleData& handle, reg::RegistryKey& root) {
  return static_cast<DWORD>(
      reg::RegistryKey::Connect(handle.machineName, reg::HKEY_LOCAL_MACHINE, root));
}

}  // namespace

ScHandleData* CheckHandle(SC_HANDLE handle, bool wantService) {
  std::lock_guard lock(handlesMutex);
  auto found = handles.find(handle);
  if (found == handles.end() || found->second->isService != wantService) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second.get();
}

SC_HANDLE NewHandle(ScHandleData data) {
  auto owned = std::make_unique<ScHandleData>(std::move(data));
  ScHandleData* raw = owned.get();
  std::lock_guard lock(handlesMutex);
  handles.emplace(raw, std::move(owned));
  return raw;
}

std::shared_ptr<network::Machine> MachineOf(const ScHandleData& handle) {
  return network::Network::Current().OpenMachine(handle.machineName);
}

std::string RecordPath(std::string_view serviceName) {
  return kServicesKey + std::string(serviceName);
}

DWORD OpenRecord(const ScHandleData& handle, std::string_view serviceName, reg::RegistryKey& key) {
  reg::RegistryKey root;
  DWORD status = ConnectMachine(handle, root);
  if (status != ERROR_SUCCESS) return status;
  reg::RegistryKey record;
  if (reg::RegistryKey::Open(root.Get(), RecordPath(serviceName), reg::KEY_ALL_ACCESS, record) !=
      ERROR_SUCCESS) {
    return ERROR_SERVICE_DOES_NOT_EXIST;
  }
  // A key without a type is settings written before the service was installed, not a service.
  DWORD type = 0;
  if (record.GetDword("Type", type) != ERROR_SUCCESS) return ERROR_SERVICE_DOES_NOT_EXIST;
  key = std::move(record);
  return ERROR_SUCCESS;
}

bool IsMarkedForDelete(const reg::RegistryKey& key) {
  DWORD flag = 0;
  return key.GetDword(kDeleteFlag, flag) == ERROR_SUCCESS && flag != 0;
}

void RemoveRecord(const std::string& machineName, const std::string& serviceName) {
  reg::RegistryKey root;
  if (reg::RegistryKey::Connect(machineName, reg::HKEY_LOCAL_MACHINE, root) == ERROR_SUCCESS) {
    reg::RegDeleteTreeA(root.Get(), RecordPath(serviceName).c_str());
  }
  auto machine = network::Network::Current().OpenMachine(machineName);
  fs::path folder = ServiceFolder(*machine, serviceName);
  std::error_code error;
  fs::remove(folder / "status", error);
  fs::remove(folder / "arguments", error);
}

bool FinishPendingDelete(const ScHandleData& handle, const std::string& serviceName) {
  reg::RegistryKey key;
  if (OpenRecord(handle, serviceName, key) != ERROR_SUCCESS || !IsMarkedForDelete(key)) {
    return false;
  }
  auto machine = MachineOf(handle);
  fs::path folder = ServiceFolder(*machine, serviceName);
  RuntimeLock lock(folder);
  if (IsActive(EffectiveRuntime(folder))) return false;
  key = reg::RegistryKey();
  RemoveRecord(handle.machineName, serviceName);
  return true;
}

SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access) {
  if (databaseName != nullptr && !network::EqualsIgnoreCase(databaseName, "ServicesActive")) {
    return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  }
  std::string name = machineName ? network::CanonicalMachineName(machineName) : "";
  const auto& net = network::Network::Current();
  if (!name.empty() && name != net.LocalMachineName() && !net.OpenMachine(name)->IsReachable()) {
    return Fail<SC_HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);
  }
  ScHandleData data;
  data.machineName = name;
  data.access = access;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::move(data));
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* serviceName, const char* displayName,
                         DWORD access, DWORD serviceType, DWORD startType, DWORD errorControl,
                         const char* binaryPathName, const char* /*loadOrderGroup*/, DWORD* tagId,
                         const char* /*dependencies*/, const char* serviceStartName,
                         const char* /*password*/) {
  ScHandleData* owner = CheckHandle(manager, false);
  if (owner == nullptr) return nullptr;
  if ((owner->access & SC_MANAGER_CREATE_SERVICE) == 0) {
    return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  }
  if (!ValidServiceName(serviceName)) return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  bool typeKnown =
      serviceType == SERVICE_WIN32_OWN_PROCESS || serviceType == SERVICE_WIN32_SHARE_PROCESS;
  if (!typeKnown || startType > SERVICE_DISABLED || errorControl > 3 || binaryPathName == nullptr ||
      *binaryPathName == '\0') {
    return Fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
  reg::RegistryKey existing;
  if (OpenRecord(*owner, serviceName, existing) == ERROR_SUCCESS) {
    bool marked = IsMarkedForDelete(existing);
    existing = reg::RegistryKey();
    if (!marked) return Fail<SC_HANDLE>(ERROR_SERVICE_EXISTS, nullptr);
    if (!FinishPendingDelete(*owner, serviceName)) {
      return Fail<SC_HANDLE>(ERROR_SERVICE_MARKED_FOR_DELETE, nullptr);
    }
  }
  reg::RegistryKey root;
  reg::RegistryKey record;
  DWORD status = ConnectMachine(*owner, root);
  if (status == ERROR_SUCCESS) {
    status =
        static_cast<DWORD>(reg::RegistryKey::Create(root.Get(), RecordPath(serviceName), record));
  }
  if (status != ERROR_SUCCESS) return Fail<SC_HANDLE>(status, nullptr);
  record.SetDword("Type", serviceType);
  record.SetDword("Start", startType);
  record.SetDword("ErrorControl", errorControl);
  record.SetString("ImagePath", binaryPathName, reg::REG_EXPAND_SZ);
  record.SetString("DisplayName", displayName ? displayName : serviceName);
  record.SetString("ObjectName", serviceStartName ? serviceStartName : "LocalSystem");
  if (tagId != nullptr) *tagId = 0;
  // A status left from an earlier service of the same name does not belong to this one.
  std::error_code error;
  fs::remove(ServiceFolder(*MachineOf(*owner), serviceName) / "status", error);

  ScHandleData data;
  data.isService = true;
  data.machineName = owner->machineName;
  data.serviceName = serviceName;
  data.access = access;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::move(data));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD access) {
  ScHandleData* owner = CheckHandle(manager, false);
  if (owner == nullptr) return nullptr;
  if (!ValidServiceName(serviceName)) return Fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  if (FinishPendingDelete(*owner, serviceName)) {
    return Fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
  }
  reg::RegistryKey record;
  DWORD status = OpenRecord(*owner, serviceName, record);
  if (status != ERROR_SUCCESS) return Fail<SC_HANDLE>(status, nullptr);
  ScHandleData data;
  data.isService = true;
  data.machineName = owner->machineName;
  data.serviceName = serviceName;
  data.access = access;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::move(data));
}

BOOL DeleteService(SC_HANDLE service) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return FALSE;
  if ((handle->access & DELETE) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  reg::RegistryKey record;
  DWORD status = OpenRecord(*handle, handle->serviceName, record);
  if (status != ERROR_SUCCESS) return Fail(status, FALSE);
  if (IsMarkedForDelete(record)) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
  fs::path folder = ServiceFolder(*MachineOf(*handle), handle->serviceName);
  RuntimeLock lock(folder);
  if (IsActive(EffectiveRuntime(folder))) {
    record.SetDword(kDeleteFlag, 1);
  } else {
    record = reg::RegistryKey();
    RemoveRecord(handle->machineName, handle->serviceName);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL QueryServiceConfigA(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD bufferSize,
                         DWORD* bytesNeeded) {
  ScHandleData* handle = CheckHandle(service, true);
  if (handle == nullptr) return FALSE;
  if ((handle->access & SERVICE_QUERY_CONFIG) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (bytesNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  reg::RegistryKey record;
  DWORD status = OpenRecord(*handle, handle->serviceName, record);
  if (status != ERROR_SUCCESS) return Fail(status, FALSE);
  DWORD type = 0, start = 0, errorControl = 0;
  std::string imagePath, displayName, objectName;
  record.GetDword("Type", type);
  record.GetDword("Start", start);
  record.GetDword("ErrorControl", errorControl);
  record.GetString("ImagePath", imagePath);
  record.GetString("DisplayName", displayName);
  record.GetString("ObjectName", objectName);

  // Strings follow the header: path, group, dependencies (double NUL), account, display name.
  const std::string* texts[] = {&imagePath, nullptr, nullptr, &objectName, &displayName};
  size_t needed = sizeof(QUERY_SERVICE_CONFIGA);
  for (const std::string* text : texts) needed += (text ? text->size() : 0) + 1;
  needed += 1;  // the dependency list's second NUL
  *bytesNeeded = static_cast<DWORD>(needed);
  if (config == nullptr || bufferSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);

  char* next = reinterpret_cast<char*>(config) + sizeof(QUERY_SERVICE_CONFIGA);
  auto place = [&next](const std::string& text, size_t nulls) {
    char* start = next;
    std::memcpy(next, text.data(), text.size());
    std::memset(next + text.size(), 0, nulls);
    next += text.size() + nulls;
    return start;
  };
  config->dwServiceType = type;
  config->dwStartType = start;
  config->dwErrorControl = errorControl;
  config->dwTagId = 0;
  config->lpBinaryPathName = place(imagePath, 1);
  config->lpLoadOrderGroup = place("", 1);
  config->lpDependencies = place("", 2);
  config->lpServiceStartName = place(objectName, 1);
  config->lpDisplayName = place(displayName, 1);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  std::lock_guard lock(handlesMutex);
  if (handles.erase(handle) == 0) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}

}  // namespace tamsel::platform::services
