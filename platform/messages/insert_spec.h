// The printf form of an insert ("%1!-10s!", "%2!08X!", "%3!*.*s!"): parsing the form and
// formatting one insert from the argument array.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/messages/insert_formatter.h"

namespace tamsel::platform::messages {

struct InsertSpec {
  bool leftAlign = false;
  bool plusSign = false;
  bool spaceSign = false;
  bool alternate = false;
  bool zeroPad = false;
  bool widthFromArgument = false;
  bool precisionFromArgument = false;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  enum class Size {
    kDefault,
    kShort,
    kLong,
    kWide,
    kInt32,
    kInt64,
    kPointer
  } size = Size::kDefault;
  char type = 's';
};

// Flags "-+ #0", width (digits or *), ".precision" (digits or *), size "h l ll w I I32 I64",
// type one of "sScCdiuxXop". False for anything else (floating point included).
bool ParseInsertSpec(std::string_view spec, InsertSpec& parsed);

// Formats insert `number` (1-based) with `spec`. The first printf argument comes from slot
// `number`, further ones (for "*") from the slots after the highest slot used so far, which
// `highestSlot` tracks across the message. ERROR_NOT_FOUND when a slot it needs is past the
// end of `arguments`; ERROR_MORE_DATA for a width or precision beyond `limit`.
Win32Error FormatInsert(const InsertSpec& spec, std::size_t number,
                        const MessageArguments& arguments, std::size_t& highestSlot,
                        std::size_t limit, std::string& out);

}  // namespace tamsel::platform::messages
