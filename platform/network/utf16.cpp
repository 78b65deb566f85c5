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

char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  const int extra = (lead & 0xE0) == 0xC0   ? 1
                    : (lead & 0xF0) == 0xE0 ? 2
                    : (lead & 0xF8) == 0xF0 ? 3
                                            : -1;
  if (extra < 0 || i + extra >= text.size()) {
    ++i;
    return kReplacementCharacter;
  }
  char32_t cp = lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacementCharacter;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacementCharacter;
  }
  i += extra + 1;
  return cp;
}

namespace {

// True when the bytes at text[start, i) decoded into the code point they hold (and not into
// U+FFFD for an invalid byte).
bool DecodedAsWritten(std::string_view text, std::size_t start, std::size_t i, char32_t cp) {
  return cp != kReplacementCharacter || text.substr(start, i - start) == "\xEF\xBF\xBD";
}

}  // namespace

std::string ToValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {  // most text is valid: copy it once
    const std::size_t start = i;
    if (!DecodedAsWritten(text, start, i, DecodeUtf8(text, i))) {
      i = start;
      break;
    }
  }
  std::string out(text.substr(0, i));
  while (i < text.size()) AppendUtf8(out, DecodeUtf8(text, i));
  return out;
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) units += DecodeUtf8(text, i) >= 0x10000 ? 2 : 1;
  return units;
}

std::vector<std::string> SplitUtf16Units(std::string_view text, std::size_t maxUnits) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    for (std::size_t units = 0; end < text.size();) {
      std::size_t next = end;
      const std::size_t width = DecodeUtf8(text, next) >= 0x10000 ? 2 : 1;
      // A limit below one character still makes progress.
      if (units + width > maxUnits && end > start) break;
      units += width;
      end = next;
    }
    pieces.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

}  // namespace tamsel::platform::network
