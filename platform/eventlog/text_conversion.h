// UTF-8 (the platform's ANSI code page) to and from the UTF-16LE that .evt files keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::platform::eventlog {

// Appends the UTF-16LE code units of `text` (no NUL); invalid bytes become U+FFFD. Returns
// the number of code units appended.
std::size_t AppendUtf16Le(std::string_view text, std::vector<std::uint8_t>& out);

// `units` UTF-16LE code units at `bytes` to UTF-8; an unpaired surrogate becomes "?", the
// character Windows puts for what the ANSI code page cannot hold.
std::string Utf16LeToAnsi(const std::uint8_t* bytes, std::size_t units);

}  // namespace tamsel::platform::eventlog
