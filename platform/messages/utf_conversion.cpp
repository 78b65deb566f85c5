// Text conversions at the message-table boundary: UTF-16LE and Windows-1252 to UTF-8.

#include "platform/messages/utf_conversion.h"

#include "platform/network/utf16.h"

namespace tamsel::platform::messages {
namespace {

// Windows-1252 0x80..0x9F; the rest of the code page matches Latin-1. Unassigned slots map to
// U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) { network::AppendUtf8(out, cp); }

std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t units) {
  return network::Utf16LeToUtf8(bytes, units);
}

std::string Utf16ToUtf8(std::u16string_view text) { return network::Utf16ToUtf8(text); }

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    char32_t cp;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;  // sequence cut off at the end
    for (std::size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string AnsiEntryToUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xA0) {
      AppendUtf8(out, kCp1252High[byte - 0x80]);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace tamsel::platform::messages
