// Reads sShortDate, sTimeFormat, s1159 and s2359 of the local machine.
#include "platform/registry/regional_settings.h"

#include "platform/registry/registry.h"

namespace tamsel::platform::registry {

network::RegionalFormats LoadRegionalFormats() {
  network::RegionalFormats formats;
  RegistryKey key;
  if (RegistryKey::Open(HKEY_CURRENT_USER, kInternationalKey, KEY_READ, key) != 0) return formats;
  std::string value;
  if (key.GetString("sShortDate", value) == 0 && !value.empty()) formats.shortDate = value;
  if (key.GetString("sTimeFormat", value) == 0 && !value.empty()) formats.timeFormat = value;
  if (key.GetString("s1159", value) == 0) formats.am = value;
  if (key.GetString("s2359", value) == 0) formats.pm = value;
  return formats;
}

std::string RegionalDateTime(const std::tm& time) {
  return network::FormatDateTime(time, LoadRegionalFormats());
}

}  // namespace tamsel::platform::registry
