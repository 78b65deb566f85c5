// libFuzzer target for the message module parser: any bytes as a PE or ELF image; whatever
// loads has each of its messages looked up and formatted with a few arguments.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/messages/byte_source.h"
#include "platform/messages/insert_formatter.h"
#include "platform/messages/message_module.h"

namespace messages = tamsel::platform::messages;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  messages::MemoryByteSource source({data, size});
  std::shared_ptr<const messages::MessageModule> module;
  if (messages::MessageModule::LoadImage(source, module) != tamsel::platform::ERROR_SUCCESS) {
    return 0;
  }
  // A message may read an argument as an 8-bit or a UTF-16 string (%1!S!): each buffer ends in
  // four NULs at an even offset, so it is a terminated string either way, as a caller's
  // argument must be.
  alignas(4) static const char kStrings[4][24] = {
      "alpha\0\0\0", "\0\0\0", "%1 not rescanned\0\0\0\0", "\xC3\xA4\xFF\0\0\0\0\0"};
  messages::DWORD_PTR values[4];
  for (int i = 0; i < 4; ++i) values[i] = reinterpret_cast<messages::DWORD_PTR>(kStrings[i]);
  messages::MessageArguments arguments{values, 4};
  for (const messages::LanguageTable& language : module->Tables()) {
    int budget = 64;
    for (std::uint32_t id : language.table.MessageIds()) {
      if (budget-- == 0) break;
      std::string text;
      if (module->FindMessage(id, language.language, text) != tamsel::platform::ERROR_SUCCESS) {
        continue;
      }
      std::string out;
      messages::FormatOptions options;
      options.maxWidth = static_cast<std::uint8_t>(id);
      messages::FormatMessageText(text, options, &arguments, out);
    }
  }
  std::string text;
  module->FindMessage(1, 0, text);
  module->FindMessage(100, 0x0400, text);
  return 0;
}
