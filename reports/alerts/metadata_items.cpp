// Cutting alert metadata into items by 16-bit code units.
#include "reports/alerts/metadata_items.h"

#include "platform/network/utf16.h"

namespace tamsel::reports::alerts {

std::size_t Utf16Length(std::string_view text) { return platform::network::Utf16Length(text); }

std::vector<std::string> SplitMetaData(std::string_view text, std::size_t maxUnits) {
  return platform::network::SplitUtf16Units(text, maxUnits);
}

}  // namespace tamsel::reports::alerts
