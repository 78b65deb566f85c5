// Win32-shaped file functions over the current network: a path is either a share path
// ("\\SRV01\D$\a\b") or a local path of the local machine ("D:\a\b").
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/network/win32_error.h"

namespace tamsel::platform::network {

// 0 on success, else ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND, ERROR_BAD_NETPATH, ...
Win32Error CreateFolder(std::string_view windowsPath);
Win32Error DeleteFile(std::string_view windowsPath);
bool FileExists(std::string_view windowsPath);
// Both paths on one machine; an existing target is never replaced (ERROR_ALREADY_EXISTS).
Win32Error MoveFile(std::string_view fromWindowsPath, std::string_view toWindowsPath);
// Resolves without touching anything.
Win32Error ResolveWindowsPath(std::string_view windowsPath, std::filesystem::path& hostPath);

}  // namespace tamsel::platform::network
