// Alert metadata cut into the numbered items the database stores, each at most 1023
// characters counted as 16-bit code units, as the pages count them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::reports::alerts {

inline constexpr std::size_t kMetaDataItemUnits = 1023;

// The length of UTF-8 text in 16-bit code units (a character outside the basic plane counts
// two; a byte that starts no valid sequence counts one).
std::size_t Utf16Length(std::string_view text);

// The items, in order; none for empty text. A cut never falls inside a character: where the
// 1023rd unit would be the first half of a surrogate pair, that item ends one unit early, so
// the items put together give back the text exactly.
std::vector<std::string> SplitMetaData(std::string_view text,
                                       std::size_t maxUnits = kMetaDataItemUnits);

}  // namespace tamsel::reports::alerts
