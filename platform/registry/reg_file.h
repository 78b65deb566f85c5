// .reg text files ("Windows Registry Editor Version 5.00"): export of a key tree and import,
// so an administrator can script a machine's registry.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/registry.h"
#include "platform/registry/registry_path.h"

namespace tamsel::platform::registry {

inline constexpr const char* kRegFileHeader = "Windows Registry Editor Version 5.00";

// The key at `path` and everything below it as .reg text: UTF-8, CRLF line ends, keys in
// enumeration order, hex lists wrapped as the registry editor wraps them. Win32 codes:
// ERROR_FILE_NOT_FOUND for a missing key, ERROR_BAD_NETPATH for an unreachable machine.
LSTATUS ExportRegFile(const RegistryPath& path, std::string& text);

// Applies .reg text (UTF-16LE with BOM, or UTF-8/ANSI; "REGEDIT4" too) to a machine ("" for
// the local one). The whole text is checked before anything is written: a faulty file
// changes nothing, returns ERROR_INVALID_DATA and says which line in `error`.
LSTATUS ImportRegFile(std::string_view machine, std::string_view content, std::string& error);

}  // namespace tamsel::platform::registry
