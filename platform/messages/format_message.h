// FormatMessageA over message modules and format strings, and its C++ form. Output is UTF-8
// (the platform's ANSI code page); UTF-16 and Windows-1252 table entries are converted.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/messages/insert_formatter.h"
#include "platform/messages/language_selection.h"
#include "platform/messages/library.h"
#include "platform/messages/message_module.h"

namespace tamsel::platform::messages {

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// The Win32 function, with one difference: `arguments` carries the array's length (see
// MessageArguments), and the array form is the only one (va_list is not offered), so
// arguments need FORMAT_MESSAGE_ARGUMENT_ARRAY unless inserts are ignored.
//  - FROM_HMODULE: `source` is an HMODULE from LoadLibraryExA, or null for the program's own
//    message table. FROM_STRING: `source` is the format text (UTF-8, NUL-terminated). There
//    is no system message table: FROM_SYSTEM finds nothing (ERROR_MR_MID_NOT_FOUND).
//  - ALLOCATE_BUFFER: `buffer` is really a `char**` that receives memory to release with
//    LocalFree, at least `size` bytes; a result over 128 KiB fails with ERROR_MORE_DATA.
//    Otherwise the text goes to `buffer` (`size` bytes, NUL included), else
//    ERROR_INSUFFICIENT_BUFFER.
// Returns the number of bytes stored without the NUL; 0 on failure with GetLastError() set
// (ERROR_MR_MID_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND,
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER, ...). An empty result (a message that is
// only %0) also returns 0, with ERROR_NO_WORK_DONE: a caller buffer then holds "", and with
// ALLOCATE_BUFFER nothing is allocated (the pointer is null), like every other 0 return.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, const MessageArguments* arguments);

// Releases a FormatMessageA buffer; returns null.
void* LocalFree(void* memory);

// C++ form: formats message `messageId` of `module` with `inserts` as %1, %2, ... (inserts
// past the end of the list stay as written), into `text`.
Win32Error FormatModuleMessage(const MessageModule& module, std::uint32_t messageId,
                               std::uint32_t languageId, std::span<const std::string> inserts,
                               std::string& text, const FormatOptions& options = {});

// The same with a format text instead of a module (FROM_STRING).
Win32Error FormatStringMessage(std::string_view format, std::span<const std::string> inserts,
                               std::string& text, const FormatOptions& options = {});

}  // namespace tamsel::platform::messages
