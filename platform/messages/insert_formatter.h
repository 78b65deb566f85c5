// The FormatMessage text engine: insert sequences (%1..%99, %n!fmt!), escapes (%0 %n %r %t
// %. %! %% and "% "), line-break normalisation and the maximum line width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

using DWORD_PTR = std::uintptr_t;

// The argument array of FORMAT_MESSAGE_ARGUMENT_ARRAY with its length, so an insert that names
// an argument past the end is never read: such an insert stays in the text as written ("%5",
// "%5!d!"). Each element is a pointer-sized value: a `const char*` for %n and %n!s!, a
// `const char16_t*` (UTF-16, Windows' WCHAR) for !S!, !ls!, !ws!, an integer for !d! and
// friends. A null string pointer prints as "(null)".
struct MessageArguments {
  const DWORD_PTR* values = nullptr;
  std::size_t count = 0;
};

struct FormatOptions {
  // Copy every insert and escape but %0 %n %r %t verbatim.
  bool ignoreInserts = false;
  // 0: keep line breaks, normalised to CR LF. 0xFF: line breaks become spaces. 1-254: as 0xFF
  // and wrap lines at white space so no line is longer than this many characters.
  std::uint8_t maxWidth = 0;
  // Longer output fails with ERROR_MORE_DATA; formatting stops before building more.
  std::size_t outputLimit = 128 * 1024;
};

// Formats `text` (UTF-8) into `out`. Errors: ERROR_INVALID_PARAMETER for a "%" at the very end,
// an unterminated or unsupported "!fmt!" (floating point), or an insert when `arguments` is
// null; ERROR_MORE_DATA when the result exceeds `options.outputLimit`.
Win32Error FormatMessageText(std::string_view text, const FormatOptions& options,
                             const MessageArguments* arguments, std::string& out);

}  // namespace tamsel::platform::messages
