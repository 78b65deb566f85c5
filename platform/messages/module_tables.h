// What the module parsers find: the message table of each language, or why there is none.
#pragma once

#include <vector>

#include "platform/messages/language_selection.h"
#include "platform/messages/message_table.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

struct LanguageTable {
  LANGID language = 0;
  MessageTable table;
};

struct ModuleTables {
  std::vector<LanguageTable> tables;  // in stored order
  // When `tables` is empty, the error FormatMessage reports for this module:
  // ERROR_RESOURCE_DATA_NOT_FOUND (no resources at all), ERROR_RESOURCE_TYPE_NOT_FOUND (no
  // message table), ERROR_RESOURCE_NAME_NOT_FOUND (no table named 1) or
  // ERROR_RESOURCE_LANG_NOT_FOUND (a table without any language).
  Win32Error missing = ERROR_SUCCESS;
};

}  // namespace tamsel::platform::messages
