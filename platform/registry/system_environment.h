// A machine's system environment as its registry keeps it, and ExpandEnvironmentStringsA:
// the process environment first, then the local machine's system environment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::registry {

inline constexpr const char* kEnvironmentKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr const char* kWindowsVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A variable of the machine's system environment; SystemRoot and windir also come from the
// Windows version key when the environment key lacks them.
std::optional<std::string> SystemEnvironmentValue(std::string_view machineName,
                                                  std::string_view name);

// Win32 form: returns the size needed including the NUL; writes only when it fits.
std::uint32_t ExpandEnvironmentStringsA(const char* source, char* destination, std::uint32_t size);
std::string ExpandEnvironmentStrings(std::string_view text);

}  // namespace tamsel::platform::registry
