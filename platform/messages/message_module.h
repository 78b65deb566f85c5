// A message module loaded as data: a PE32/PE32+ file with an RT_MESSAGETABLE resource, or one
// of our own ELF programs with its message table section. Immutable once loaded, so one
// module can serve several threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/messages/byte_source.h"
#include "platform/messages/module_tables.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

class MessageModule {
 public:
  // Loads `path`: a Windows path ("C:\dir\file.dll" on the local machine, "\\SRV\C$\dir\file"
  // on a machine of the network) resolved through the current network, or else a host path.
  // Errors: the path's resolution error (ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ...),
  // ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND, ERROR_BAD_EXE_FORMAT for a file that is
  // neither a PE nor an ELF image (or whose headers are corrupt), and
  // ERROR_RESOURCE_DATA_NOT_FOUND for a corrupt resource tree or message table.
  static Win32Error Load(std::string_view path, std::shared_ptr<const MessageModule>& module);
  static Win32Error LoadHostFile(const std::filesystem::path& hostPath,
                                 std::shared_ptr<const MessageModule>& module);
  // Parses an image held by any byte source (a buffer, for instance).
  static Win32Error LoadImage(const ByteSource& source,
                              std::shared_ptr<const MessageModule>& module);

  // True for "X:\..." and "\\server\..." (either slash), which Load resolves on the network.
  static bool IsWindowsPath(std::string_view path);

  // The text of message `id` in the language chosen for `languageId` (see SelectLanguage),
  // as UTF-8 and unformatted. ERROR_MR_MID_NOT_FOUND when that language's table lacks the id;
  // ERROR_RESOURCE_TYPE_NOT_FOUND (and its siblings) when the module has no message table.
  Win32Error FindMessage(std::uint32_t id, std::uint32_t languageId, std::string& text) const;

  const std::vector<LanguageTable>& Tables() const { return tables_.tables; }

  // A module made of tables already read.
  explicit MessageModule(ModuleTables tables);

 private:
  ModuleTables tables_;
  std::vector<LANGID> languages_;
};

}  // namespace tamsel::platform::messages
