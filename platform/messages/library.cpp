// Module handles: a table of loaded modules behind opaque numbers, and the program's own image.

#include "platform/messages/library.h"

#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/network/last_error.h"

namespace tamsel::platform::messages {
namespace {

// Handles are numbers, not addresses, so a stale or forged handle is refused, never followed.
class HandleTable {
 public:
  HMODULE Add(std::shared_ptr<const MessageModule> module) {
    std::lock_guard lock(mutex_);
    nextHandle_ += 0x10;
    modules_[nextHandle_] = std::move(module);
    return reinterpret_cast<HMODULE>(nextHandle_ | 1);  // data-file handles have the low bit set
  }
  std::shared_ptr<const MessageModule> Find(HMODULE handle) {
    std::lock_guard lock(mutex_);
    auto it = modules_.find(reinterpret_cast<std::uintptr_t>(handle) & ~std::uintptr_t{1});
    return it == modules_.end() ? nullptr : it->second;
  }
  bool Remove(HMODULE handle) {
    std::lock_guard lock(mutex_);
    return modules_.erase(reinterpret_cast<std::uintptr_t>(handle) & ~std::uintptr_t{1}) == 1;
  }

 private:
  std::mutex mutex_;
  std::uintptr_t nextHandle_ = 0x7A000000;
  std::unordered_map<std::uintptr_t, std::shared_ptr<const MessageModule>> modules_;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

}  // namespace

HMODULE LoadLibraryExA(const char* fileName, void* file, DWORD flags) {
  if (fileName == nullptr || file != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::shared_ptr<const MessageModule> module;
  Win32Error error = MessageModule::Load(fileName, module);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return Handles().Add(std::move(module));
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr || !Handles().Remove(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return 1;
}

Win32Error ModuleFromHandle(HMODULE handle, std::shared_ptr<const MessageModule>& module) {
  if (handle == nullptr) {
    // The program's own image, read once: its table cannot change while it runs.
    static Win32Error ownError = ERROR_SUCCESS;
    static std::shared_ptr<const MessageModule> own = [] {
      std::shared_ptr<const MessageModule> loaded;
      ownError = MessageModule::LoadHostFile("/proc/self/exe", loaded);
      return loaded;
    }();
    module = own;
    return own ? ERROR_SUCCESS : ownError;
  }
  module = Handles().Find(handle);
  return module ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

ModuleHandle& ModuleHandle::operator=(ModuleHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = other.Release();
  }
  return *this;
}

ModuleHandle ModuleHandle::Load(std::string_view path, Win32Error& error) {
  std::string copy(path);
  HMODULE handle = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  error = handle ? ERROR_SUCCESS : GetLastError();
  return ModuleHandle(handle);
}

HMODULE ModuleHandle::Release() {
  HMODULE handle = handle_;
  handle_ = nullptr;
  return handle;
}

void ModuleHandle::Reset() {
  if (handle_ != nullptr) FreeLibrary(handle_);
  handle_ = nullptr;
}

}  // namespace tamsel::platform::messages
