// The Win32 registry API over each machine's durable store (a SQLite file in the machine's
// state folder). Keys and value names are case-insensitive and case-preserving; error codes
// are Windows'. HKEY_CLASSES_ROOT is a view of HKLM\SOFTWARE\Classes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network/win32_error.h"

namespace tamsel::platform::registry {

using DWORD = std::uint32_t;
using LSTATUS = std::int32_t;

struct OpenKey;         // an open key: machine store, key id, access
using HKEY = OpenKey*;  // as Windows: an opaque handle, closed with RegCloseKey

// Predefined root handles (never closed).
extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;
extern const HKEY HKEY_USERS;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Win32-shaped functions. Handles opened from the predefined roots work on the local machine
// of the current network; RegConnectRegistryA gives roots of another machine
// ("", local name, "NAME" or "\\NAME"); an unreachable machine gives ERROR_BAD_NETPATH.
LSTATUS RegConnectRegistryA(const char* machineName, HKEY root, HKEY* result);
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result);
LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className,
                        DWORD options, DWORD access, void* security, HKEY* result,
                        DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some, as Windows).
LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);
// Deletes a key and everything below it.
LSTATUS RegDeleteTreeA(HKEY key, const char* subKey);
LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                         std::uint8_t* data, DWORD* dataSize);
LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                       const std::uint8_t* data, DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, const char* valueName);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                      char* className, DWORD* classSize, void* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                      DWORD* type, std::uint8_t* data, DWORD* dataSize);
LSTATUS RegQueryInfoKeyA(HKEY key, DWORD* subKeyCount, DWORD* valueCount);

// RAII and typed access for our own code.
class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(HKEY key) : key_(key) {}
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Open or create below `parent` (a predefined root or an open key).
  static LSTATUS Open(HKEY parent, std::string_view path, DWORD access, RegistryKey& out);
  static LSTATUS Create(HKEY parent, std::string_view path, RegistryKey& out);
  // Roots of another machine.
  static LSTATUS Connect(std::string_view machineName, HKEY root, RegistryKey& out);

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

  LSTATUS GetString(std::string_view name, std::string& value) const;  // REG_SZ / REG_EXPAND_SZ
  LSTATUS GetDword(std::string_view name, DWORD& value) const;
  LSTATUS GetMultiString(std::string_view name, std::vector<std::string>& value) const;
  LSTATUS GetBinary(std::string_view name, std::vector<std::uint8_t>& value, DWORD& type) const;
  LSTATUS SetString(std::string_view name, std::string_view value, DWORD type = REG_SZ) const;
  LSTATUS SetDword(std::string_view name, DWORD value) const;
  LSTATUS SetMultiString(std::string_view name, const std::vector<std::string>& value) const;
  LSTATUS SetBinary(std::string_view name, const std::vector<std::uint8_t>& value,
                    DWORD type = REG_BINARY) const;
  LSTATUS DeleteValue(std::string_view name) const;
  std::vector<std::string> SubKeyNames() const;
  std::vector<std::string> ValueNames() const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace tamsel::platform::registry
