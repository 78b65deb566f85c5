// UTF-8 <-> UTF-16LE for event record strings.
#include "platform/eventlog/text_conversion.h"

#include "platform/network/utf16.h"

namespace tamsel::platform::eventlog {

namespace {

void PutUnit(std::uint32_t unit, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// Decodes one code point at text[i]; advances i. Invalid sequences give U+FFFD and one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  std::uint8_t lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = (lead & 0xE0) == 0xC0   ? 1
              : (lead & 0xF0) == 0xE0 ? 2
              : (lead & 0xF8) == 0xF0 ? 3
                                      : -1;
  if (extra < 0 || i + extra >= text.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += extra + 1;
  return cp;
}

}  // namespace

std::size_t AppendUtf16Le(std::string_view text, std::vector<std::uint8_t>& out) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = DecodeUtf8(text, i);
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
