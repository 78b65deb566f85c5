// Internal to the service control manager: what an SC_HANDLE holds, the handle table, and the
// service record in a machine's registry.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/network/machine.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"

namespace tamsel::platform::services {

struct ScHandleData {
  bool isService = false;
  std::string machineName;  // "" for the local machine
  std::string serviceName;  // as stored in the record (services only)
  DWORD access = 0;
};

// A live handle of the wanted kind, else nullptr (with ERROR_INVALID_HANDLE set).
ScHandleData* CheckHandle(SC_HANDLE handle, bool wantService);
SC_HANDLE NewHandle(ScHandleData data);

// Sets the last error and returns `result` (for one-line failure returns).
template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

std::shared_ptr<network::Machine> MachineOf(const ScHandleData& handle);
std::string RecordPath(std::string_view serviceName);

// Opens the service record; ERROR_SERVICE_DOES_NOT_EXIST when the key has no service in it.
DWORD OpenRecord(const ScHandleData& handle, std::string_view serviceName,
                 registry::RegistryKey& key);
bool IsMarkedForDelete(const registry::RegistryKey& key);
// Removes the record and the runtime folder of a service that no longer runs.
void RemoveRecord(const std::string& machineName, const std::string& serviceName);
// A service marked for delete whose process has gone is removed now; true when that happened.
bool FinishPendingDelete(const ScHandleData& handle, const std::string& serviceName);

}  // namespace tamsel::platform::services
