// ExpandEnvironmentStrings: %NAME% references replaced from a lookup; unknown names and a
// lone "%" stay as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::network {

using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// Names are matched without regard to case, as Windows does.
std::string ExpandEnvironmentStrings(std::string_view text, const EnvironmentLookup& lookup);

// The process environment (case-insensitive name match).
std::optional<std::string> ProcessEnvironmentValue(std::string_view name);

// The Win32 form: writes at most `size` bytes including the terminating NUL and returns the
// size needed including the NUL; when it exceeds `size`, `out` holds nothing useful.
std::uint32_t ExpandEnvironmentStringsBounded(std::string_view text,
                                              const EnvironmentLookup& lookup, char* out,
                                              std::uint32_t size);

}  // namespace tamsel::platform::network
