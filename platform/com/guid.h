// GUIDs as the registry and the class factory use them: parsed from and written as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::com {

struct Guid {
  std::array<std::uint8_t, 16> bytes{};  // in the order of the text form

  // Parses the text form with or without braces; nothing for anything else.
  static std::optional<Guid> Parse(std::string_view text);
  // For constants written in code; a malformed text is a programming error (std::logic_error).
  static Guid FromString(std::string_view text);

  std::string ToString() const;  // with braces, upper case
  bool operator==(const Guid& other) const = default;
};

// IID of the class factory interface, as every in-process server answers it.
inline const Guid& IID_IClassFactory() {
  static const Guid iid = Guid::FromString("{00000001-0000-0000-C000-000000000046}");
  return iid;
}

}  // namespace tamsel::platform::com
