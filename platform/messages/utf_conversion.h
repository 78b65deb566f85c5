// Text conversions at the message-table boundary: UTF-16LE entries and 8-bit entries of
// message tables become UTF-8, the platform's ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel::platform::messages {

// Converts little-endian UTF-16 code units (`units` of them at `bytes`); unpaired surrogates
// become U+FFFD.
std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t units);
std::string Utf16ToUtf8(std::u16string_view text);

bool IsValidUtf8(std::string_view text);

// 8-bit table entries are in the code page of the compiler that built the table: ours are
// UTF-8, while tables compiled on Windows (or by windmc -A) are Windows-1252. Text that is
// valid UTF-8 is kept; anything else is read as Windows-1252, so output is always valid UTF-8.
std::string AnsiEntryToUtf8(std::string_view text);

// Appends the UTF-8 form of one code point (invalid ones as U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

// Number of code points in valid UTF-8 text (continuation bytes are not counted).
std::size_t Utf8Length(std::string_view text);

}  // namespace tamsel::platform::messages
