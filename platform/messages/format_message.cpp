// FormatMessageA and its C++ form.

#include "platform/messages/format_message.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/network/last_error.h"

namespace tamsel::platform::messages {
namespace {

constexpr std::size_t kAllocatedLimit = 128 * 1024;

DWORD Fail(Win32Error error) {
  SetLastError(error);
  return 0;
}

Win32Error SourceText(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                      std::string& text) {
  const bool fromString = flags & FORMAT_MESSAGE_FROM_STRING;
  const bool fromModule = flags & FORMAT_MESSAGE_FROM_HMODULE;
  if (fromString) {
    if (fromModule || source == nullptr) return ERROR_INVALID_PARAMETER;
    text = static_cast<const char*>(source);
    return ERROR_SUCCESS;
  }
  if (fromModule) {
    std::shared_ptr<const MessageModule> module;
    Win32Error error = ModuleFromHandle(static_cast<HMODULE>(const_cast<void*>(source)), module);
    if (error != ERROR_SUCCESS) return error;
    error = module->FindMessage(messageId, languageId, text);
    // With FROM_SYSTEM too, the system table would be next; there is none to find the id in.
    return error;
  }
  if (flags & FORMAT_MESSAGE_FROM_SYSTEM) return ERROR_MR_MID_NOT_FOUND;
  return ERROR_INVALID_PARAMETER;
}

std::vector<DWORD_PTR> StringArguments(std::span<const std::string> inserts) {
  std::vector<DWORD_PTR> values;
  values.reserve(inserts.size());
  for (const std::string& insert : inserts) {
    values.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
  }
  return values;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, const MessageArguments* arguments) {
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const bool allocate = flags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
  if (allocate) *reinterpret_cast<char**>(buffer) = nullptr;

  FormatOptions options;
  options.ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  options.maxWidth = static_cast<std::uint8_t>(flags & FORMAT_MESSAGE_MAX_WIDTH_MASK);
  if (arguments != nullptr && !(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) && !options.ignoreInserts) {
    return Fail(ERROR_INVALID_PARAMETER);  // a va_list is not offered
  }
  if (options.ignoreInserts) arguments = nullptr;
  options.outputLimit = allocate ? kAllocatedLimit : (size == 0 ? 0 : size - 1);

  std::string text;
  Win32Error error = SourceText(flags, source, messageId, languageId, text);
  if (error != ERROR_SUCCESS) return Fail(error);
  std::string out;
  error = FormatMessageText(text, options, arguments, out);
  if (error == ERROR_MORE_DATA && !allocate) error = ERROR_INSUFFICIENT_BUFFER;
  if (error != ERROR_SUCCESS) return Fail(error);
  if (!allocate && out.size() + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER);

  if (out.empty()) {
    // Nothing to return: no allocation a caller that sees 0 would have to know to free.
    if (!allocate) buffer[0] = '\0';
    return Fail(ERROR_NO_WORK_DONE);
  }
  char* target = buffer;
  if (allocate) {
    std::size_t bytes = out.size() + 1 > size ? out.size() + 1 : size;
    target = static_cast<char*>(std::malloc(bytes));
    if (target == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *reinterpret_cast<char**>(buffer) = target;
  }
  std::memcpy(target, out.data(), out.size());
  target[out.size()] = '\0';
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(out.size());
}

void* LocalFree(void* memory) {
  std::free(memory);
  return nullptr;
}

Win32Error FormatModuleMessage(const MessageModule& module, std::uint32_t messageId,
                               std::uint32_t languageId, std::span<const std::string> inserts,
                               std::string& text, const FormatOptions& options) {
  std::string format;
  Win32Error error = module.FindMessage(messageId, languageId, format);
  if (error != ERROR_SUCCESS) return error;
  return FormatStringMessage(format, inserts, text, options);
}

Win32Error FormatStringMessage(std::string_view format, std::span<const std::string> inserts,
                               std::string& text, const FormatOptions& options) {
  std::vector<DWORD_PTR> values = StringArguments(inserts);
  MessageArguments arguments{values.data(), values.size()};
  return FormatMessageText(format, options, &arguments, text);
}

}  // namespace tamsel::platform::messages
