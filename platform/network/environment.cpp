// ExpandEnvironmentStrings semantics over a name lookup.
#include "platform/network/environment.h"

#include <cstring>

#include "platform/network/network.h"

extern char** environ;

namespace tamsel::platform::network {

std::string ExpandEnvironmentStrings(std::string_view text, const EnvironmentLookup& lookup) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    std::string_view name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
    if (value) {
      out.append(*value);
      i = close + 1;
    } else {
      // Unknown: keep "%NAME" and let the closing "%" start the next reference, as Windows does.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

std::optional<std::string> ProcessEnvironmentValue(std::string_view name) {
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    if (EqualsIgnoreCase(std::string_view(*entry, equals - *entry), name)) {
      return std::string(equals + 1);
    }
  }
  return std::nullopt;
}

std::uint32_t ExpandEnvironmentStringsBounded(std::string_view text,
                                              const EnvironmentLookup& lookup, char* out,
                                              std::uint32_t size) {
  std::string expanded = ExpandEnvironmentStrings(text, lookup);
  auto needed = static_cast<std::uint32_t>(expanded.size() + 1);
  if (out != nullptr && needed <= size) std::memcpy(out, expanded.c_str(), needed);
  return needed;
}

}  // namespace tamsel::platform::network
