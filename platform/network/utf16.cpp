// UTF-16 to UTF-8: surrogate pairing and the UTF-8 encoder shared by the platform's readers.
#include "platform/network/utf16.h"

namespace tamsel::platform::network {
namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

template <typename UnitAt>
std::string Utf16Units(std::size_t count, UnitAt unitAt, char32_t unpaired) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t unit = unitAt(i);
    if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(unitAt(i + 1))) {
      char32_t low = unitAt(++i);
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, unpaired);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t units, char32_t unpaired) {
  return Utf16Units(
      units,
      [bytes](std::size_t i) {
        return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      },
      unpaired);
}

std::string Utf16ToUtf8(std::u16string_view text, char32_t unpaired) {
  return Utf16Units(
      text.size(), [text](std::size_t i) { return char32_t{text[i]}; }, unpaired);
}

}  // namespace tamsel::platform::network
