// The local machine's regional settings (Control Panel\International), en-US when absent.
#pragma once

#include <ctime>
#include <string>

#include "platform/network/regional.h"

namespace tamsel::platform::registry {

inline constexpr const char* kInternationalKey = "Control Panel\\International";

network::RegionalFormats LoadRegionalFormats();

// Short date and long time of a broken-down local time under the local machine's settings.
std::string RegionalDateTime(const std::tm& time);

}  // namespace tamsel::platform::registry
