// Win32-shaped loading of message modules as data: LoadLibraryExA / FreeLibrary with opaque
// HMODULE handles, and ModuleHandle, the RAII owner of one. Modules are never executed; every
// load is a data-file load whatever the flags say.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/messages/message_module.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

using DWORD = std::uint32_t;
using BOOL = int;
struct ModuleObject;  // never defined: handles are opaque numbers
using HMODULE = ModuleObject*;

inline constexpr DWORD DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
inline constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
inline constexpr DWORD LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020;
inline constexpr DWORD LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040;

// Loads `fileName` (see MessageModule::Load for paths and errors). `file` must be null.
// Returns null on failure, with the reason in GetLastError().
HMODULE LoadLibraryExA(const char* fileName, void* file, DWORD flags);

// Releases a handle; FALSE with ERROR_INVALID_HANDLE for one that is not loaded.
BOOL FreeLibrary(HMODULE module);

// The module behind a handle; a null handle is the program's own image. Null (with the
// error) for an unknown handle (ERROR_INVALID_HANDLE) or an own image that cannot be read.
Win32Error ModuleFromHandle(HMODULE handle, std::shared_ptr<const MessageModule>& module);

// Owns one loaded module handle.
class ModuleHandle {
 public:
  ModuleHandle() = default;
  explicit ModuleHandle(HMODULE handle) : handle_(handle) {}
  ~ModuleHandle() { Reset(); }
  ModuleHandle(ModuleHandle&& other) noexcept : handle_(other.Release()) {}
  ModuleHandle& operator=(ModuleHandle&& other) noexcept;
  ModuleHandle(const ModuleHandle&) = delete;
  ModuleHandle& operator=(const ModuleHandle&) = delete;

  // Loads `path` as data; on failure the handle is empty and `error` says why.
  static ModuleHandle Load(std::string_view path, Win32Error& error);

  HMODULE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HMODULE Release();
  void Reset();

 private:
  HMODULE handle_ = nullptr;
};

}  // namespace tamsel::platform::messages
