// UTF-16 code units to UTF-8, the platform's ANSI code page: one decoder for every reader of
// Windows-shaped UTF-16 text (message tables, .evt records), and the UTF-8 side of the
// multi-byte conversion: validity and lengths counted in 16-bit units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::platform::network {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point; surrogates and values past U+10FFFF as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// Converts `units` little-endian UTF-16 code units at `bytes`. Surrogate pairs are joined; an
// unpaired surrogate becomes `unpaired`, since callers differ in what they put for it.
std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t units,
                          char32_t unpaired = kReplacementCharacter);
std::string Utf16ToUtf8(std::u16string_view text, char32_t unpaired = kReplacementCharacter);

// Decodes the code point at text[i] and advances i past it. A byte that starts no valid
// sequence (stray continuation, overlong form, surrogate, past U+10FFFF, cut short) gives
// U+FFFD and advances one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i);

// The text as the multi-byte conversion leaves it: each invalid sequence becomes U+FFFD.
std::string ToValidUtf8(std::string_view text);

// The length in 16-bit code units: a character outside the basic plane counts two, an
// invalid byte one (it converts to U+FFFD).
std::size_t Utf16Length(std::string_view text);

// The text cut into pieces of at most `maxUnits` 16-bit code units, in order; none for empty
// text. A cut never falls inside a character, so where the last unit would be the first half
// of a surrogate pair the piece ends one unit early and the pieces joined give back the text.
std::vector<std::string> SplitUtf16Units(std::string_view text, std::size_t maxUnits);

}  // namespace tamsel::platform::network
