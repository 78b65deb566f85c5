// Cutting alert metadata into items by 16-bit code units.
#include "reports/alerts/metadata_items.h"

namespace tamsel::reports::alerts {
namespace {

struct Character {
  std::size_t bytes;
  std::size_t units;
};

// The UTF-8 sequence at `pos`: its length in bytes and in 16-bit code units.
Character CharacterAt(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  if (lead >= 0xC0 && lead < 0xE0) length = 2;
  if (lead >= 0xE0 && lead < 0xF0) length = 3;
  if (lead >= 0xF0 && lead < 0xF8) length = 4;
  if (pos + length > text.size()) return {1, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return {1, 1};
  }
  return {length, length == 4 ? 2u : 1u};
}

}  // namespace

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    Character c = CharacterAt(text, pos);
    units += c.units;
    pos += c.bytes;
  }
  return units;
}

std::vector<std::string> SplitMetaData(std::string_view text, std::size_t maxUnits) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t pos = start;
    std::size_t units = 0;
    while (pos < text.size()) {
      Character c = CharacterAt(text, pos);
      if (units + c.units > maxUnits) break;
      units += c.units;
      pos += c.bytes;
    }
    // A limit below one character still makes progress.
    if (pos == start) pos += CharacterAt(text, pos).bytes;
    items.emplace_back(text.substr(start, pos - start));
    start = pos;
  }
  return items;
}

}  // namespace tamsel::reports::alerts
