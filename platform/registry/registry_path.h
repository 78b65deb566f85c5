// Full registry key names as administrators write them: "HKLM\SOFTWARE\X",
// "HKEY_LOCAL_MACHINE\SOFTWARE\X" or "\\SRV01\HKLM\SOFTWARE\X" for another machine.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace tamsel::platform::registry {

struct RegistryPath {
  std::string machine;  // empty: the local machine
  HKEY root = nullptr;  // a predefined root
  std::string subKey;   // below the root, without leading or trailing backslashes
};

// The predefined root of "HKLM" / "HKEY_LOCAL_MACHINE" (any case), else nullptr.
HKEY ParseRootName(std::string_view name);
// "HKEY_LOCAL_MACHINE" and so on; the form .reg files and query output use.
const char* RootLongName(HKEY root);

// Splits a full key name; false when the root is missing or unknown.
bool ParseRegistryPath(std::string_view text, RegistryPath& out);
// Root long name and subkey, without the machine: "HKEY_LOCAL_MACHINE\SOFTWARE\X".
std::string FullKeyName(const RegistryPath& path);

}  // namespace tamsel::platform::registry
