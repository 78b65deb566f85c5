// UTF-16 code units to UTF-8, the platform's ANSI code page: one decoder for every reader of
// Windows-shaped UTF-16 text (message tables, .evt records).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel::platform::network {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point; surrogates and values past U+10FFFF as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// Converts `units` little-endian UTF-16 code units at `bytes`. Surrogate pairs are joined; an
// unpaired surrogate becomes `unpaired`, since callers differ in what they put for it.
std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t units,
                          char32_t unpaired = kReplacementCharacter);
std::string Utf16ToUtf8(std::u16string_view text, char32_t unpaired = kReplacementCharacter);

}  // namespace tamsel::platform::network
