// UTF-8 <-> UTF-16LE for event record strings.
#include "platform/eventlog/text_conversion.h"

#include "platform/network/utf16.h"

namespace tamsel::platform::eventlog {

namespace {

void PutUnit(std::uint32_t unit, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

}  // namespace

std::size_t AppendUtf16Le(std::string_view text, std::vector<std::uint8_t>& out) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = network::DecodeUtf8(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(0xD800 + (cp >> 10), out);
      PutUnit(0xDC00 + (cp & 0x3FF), out);
      units += 2;
    } else {
      PutUnit(cp, out);
      ++units;
    }
  }
  return units;
}

std::string Utf16LeToAnsi(const std::uint8_t* bytes, std::size_t units) {
  return network::Utf16LeToUtf8(bytes, units, U'?');
}

}  // namespace tamsel::platform::eventlog
