// The handle table of the event log service, and creation of missing log files.
#include "platform/eventlog/event_log_object.h"

#include <map>

#include "platform/eventlog/evtx_service.h"

namespace tamsel::platform::eventlog {

namespace {

std::mutex tableMutex;
std::map<HANDLE, std::shared_ptr<EventLogObject>>& Table() {
  static std::map<HANDLE, std::shared_ptr<EventLogObject>> table;
  return table;
}

}  // namespace

HANDLE AddHandle(std::unique_ptr<EventLogObject> object) {
  std::shared_ptr<EventLogObject> shared(std::move(object));
  std::lock_guard lock(tableMutex);
  Table().emplace(shared.get(), shared);
  return shared.get();
}

std::shared_ptr<EventLogObject> FindHandle(HANDLE handle, EventLogObject::Kind kind,
                                           EventLogObject::Kind other) {
  std::lock_guard lock(tableMutex);
  auto found = Table().find(handle);
  if (found == Table().end() || (found->second->kind != kind && found->second->kind != other)) {
    return nullptr;
  }
  return found->second;
}

bool RemoveHandle(HANDLE handle, EventLogObject::Kind kind) {
  std::lock_guard lock(tableMutex);
  auto found = Table().find(handle);
  if (found == Table().end() || found->second->kind != kind) return false;
  Table().erase(found);
  return true;
}

Win32Error EnsureLogFile(const LogLocation& location) {
  std::error_code error;
  if (std::filesystem::exists(location.file, error)) return ERROR_SUCCESS;
  std::filesystem::create_directories(location.file.parent_path(), error);
  Win32Error status = WriteEmptyLogFor(location, location.file);
  return status == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : status;
}

}  // namespace tamsel::platform::eventlog
