// Loading message modules: path resolution, image kind, and message lookup by language.

#include "platform/messages/message_module.h"

#include <cstring>

#include "platform/messages/elf_message_tables.h"
#include "platform/messages/pe_message_tables.h"
#include "platform/network/files.h"

namespace tamsel::platform::messages {

MessageModule::MessageModule(ModuleTables tables) : tables_(std::move(tables)) {
  for (const LanguageTable& table : tables_.tables) languages_.push_back(table.language);
}

bool MessageModule::IsWindowsPath(std::string_view path) {
  auto isSlash = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && isSlash(path[2]) &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return true;
  }
  return path.size() > 2 && isSlash(path[0]) && isSlash(path[1]);
}

Win32Error MessageModule::Load(std::string_view path,
                               std::shared_ptr<const MessageModule>& module) {
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  if (!IsWindowsPath(path)) return LoadHostFile(std::filesystem::path(path), module);
  std::filesystem::path hostPath;
  Win32Error error = network::ResolveWindowsPath(path, hostPath);
  if (error != ERROR_SUCCESS) return error;
  return LoadHostFile(hostPath, module);
}

Win32Error MessageModule::LoadHostFile(const std::filesystem::path& hostPath,
                                       std::shared_ptr<const MessageModule>& module) {
  FileByteSource source;
  Win32Error error = source.Open(hostPath);
  if (error != ERROR_SUCCESS) return error;
  return LoadImage(source, module);
}

Win32Error MessageModule::LoadImage(const ByteSource& source,
                                    std::shared_ptr<const MessageModule>& module) {
  char magic[4] = {};
  if (!source.Read(0, magic, sizeof magic)) return ERROR_BAD_EXE_FORMAT;
  ModuleTables tables;
  Win32Error error = ERROR_BAD_EXE_FORMAT;
  if (magic[0] == 'M' && magic[1] == 'Z') {
    error = ReadPeMessageTables(source, tables);
  } else if (std::memcmp(magic,
                         "\x7f"
                         "ELF",
                         4) == 0) {
    error = ReadElfMessageTables(source, tables);
  }
  if (error != ERROR_SUCCESS) return error;
  module = std::make_shared<const MessageModule>(std::move(tables));
  return ERROR_SUCCESS;
}

Win32Error MessageModule::FindMessage(std::uint32_t id, std::uint32_t languageId,
                                      std::string& text) const {
  if (tables_.tables.empty()) return tables_.missing;
  std::size_t index = 0;
  Win32Error error = SelectLanguage(languages_, languageId, index);
  if (error != ERROR_SUCCESS) return error;
  return tables_.tables[index].table.Find(id, text);
}

}  // namespace tamsel::platform::messages
