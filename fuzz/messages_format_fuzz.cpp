// libFuzzer target for the FormatMessage text engine: any text as a message, formatted with
// string arguments under the flag combinations the first byte selects.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/messages/insert_formatter.h"

namespace messages = tamsel::platform::messages;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Every slot is a string that is terminated read as 8-bit or as UTF-16 text (four NULs at an
  // even offset), so %n!d!, %n!s! and %n!S! alike are safe to format; only three slots exist,
  // so anything past them must never be read.
  alignas(4) static const char kStrings[3][16] = {"one\0\0\0\0", "\0\0\0",
                                                  "\xE2\x82\xAC wide\0\0\0\0"};
  messages::DWORD_PTR values[3];
  for (int i = 0; i < 3; ++i) values[i] = reinterpret_cast<messages::DWORD_PTR>(kStrings[i]);
  messages::MessageArguments arguments{values, 3};
  messages::FormatOptions options;
  options.ignoreInserts = data[0] & 1;
  options.maxWidth = static_cast<std::uint8_t>(data[0] >> 1);
  if (data[0] & 0x80) options.maxWidth = 0xFF;
  options.outputLimit = 64 * 1024;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string out;
  messages::FormatMessageText(text, options, (data[0] & 2) ? nullptr : &arguments, out);
  return 0;
}
