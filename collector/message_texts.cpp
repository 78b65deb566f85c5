// CCollectorService's message resolution: the message files a record's source registered on
// the machine that logged it, its category name and its description.
#include "collector/message_texts.h"

#include <algorithm>
#include <cstring>

#include "collector/collector_service.h"
#include "platform/messages/format_message.h"
#include "platform/network/last_error.h"
#include "platform/network/network.h"
#include "platform/registry/system_environment.h"

namespace tamsel::collector {

namespace msg = platform::messages;
namespace reg = platform::registry;

namespace {

constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr msg::DWORD kNeutralLanguage = 0x0400;
constexpr size_t kMaxInserts = 128;

std::string Trim(std::string_view text) {
  const char* blanks = " \t\r\n\f\v";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

// Replaces every occurrence of `from` by `to`; false when there was none.
bool ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  bool replaced = false;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    replaced = true;
  }
  return replaced;
}

}  // namespace

std::string FallbackDescription(const std::vector<std::string>& insertionStrings) {
  std::string text = kFallbackDescription;
  for (const std::string& insert : insertionStrings) text += insert + "<br>";
  return text;
}

std::string HtmlLineBreaks(std::string_view text) {
  std::string result(text);
  ReplaceAll(result, "\r\n", "<br>");
  return result;
}

std::string MessageFileSharePath(const std::string& computerName, const std::string& value) {
  char expanded[260];
  const std::uint32_t needed =
      reg::ExpandEnvironmentStringsA(value.c_str(), expanded, sizeof expanded);
  std::string path = "\\\\" + computerName + "\\";
  if (needed > 0 && needed <= sizeof expanded) path += expanded;
  std::replace(path.begin(), path.end(), ':', '$');
  const size_t list = path.find(';', 1);
  if (list != std::string::npos) path.erase(list);
  return path;
}

int CCollectorService::ResolveMessageFiles(CLogRecord& record, const std::string& logName) {
  // The registry of the logging machine and, for the expansion, the collector's own.
  const RegistryAnswers<MessageFilesAnswer>::Stamps stamps = {
      registryStamps_.Of(record.computerName_), registryStamps_.OfLocalMachine()};
  const std::string key = record.computerName_ + '\n' + logName + '\n' + record.sourceName_ +
                          (record.category_ != 0 ? "\n1" : "\n0");
  if (const MessageFilesAnswer* known = messageFiles_.Find(key, stamps)) {
    record.categoryMessageFile_ = known->categoryMessageFile;
    record.eventMessageFile_ = known->eventMessageFile;
    return known->result;
  }
  const int result = ReadMessageFiles(record, logName);
  messageFiles_.Keep(key, stamps, {result, record.categoryMessageFile_, record.eventMessageFile_});
  return result;
}

int CCollectorService::ReadMessageFiles(CLogRecord& record, const std::string& logName) {
  reg::HKEY remote = nullptr;
  const long connected =
      reg::RegConnectRegistryA(record.computerName_.c_str(), reg::HKEY_LOCAL_MACHINE, &remote);
  if (connected != 0) return static_cast<int>(connected);
  reg::HKEY source = nullptr;
  const std::string path = kEventLogKey + logName + "\\" + record.sourceName_;
  if (reg::RegOpenKeyExA(remote, path.c_str(), 0, reg::KEY_READ, &source) != 0) {
    reg::RegCloseKey(remote);
    return -1;
  }
  const std::string where = " of \\\\" + record.computerName_ + "\\HKLM\\" + path;
  if (record.category_ != 0) {
    record.categoryMessageFile_ = MessageFileSharePath(
        record.computerName_, ReadBoundedString(source, "CategoryMessageFile", where));
  }
  record.eventMessageFile_ = MessageFileSharePath(
      record.computerName_, ReadBoundedString(source, "EventMessageFile", where));
  reg::RegCloseKey(source);
  reg::RegCloseKey(remote);
  return 0;
}

int CCollectorService::ResolveCategory(CLogRecord& record) {
  if (record.categoryMessageFile_.empty()) {
    record.categoryName_ = "None";
    return 1;
  }
  try {
    msg::HMODULE module = moduleCache_.Load(record.categoryMessageFile_);
    if (module != nullptr) {
      char* text = nullptr;
      const msg::DWORD length = msg::FormatMessageA(
          msg::FORMAT_MESSAGE_FROM_HMODULE | msg::FORMAT_MESSAGE_ALLOCATE_BUFFER, module,
          record.category_, kNeutralLanguage, reinterpret_cast<char*>(&text), 0, nullptr);
      if (length != 0 && text != nullptr) {
        record.categoryName_ = Trim(std::string_view(text, length));
        msg::LocalFree(text);
        return 0;
      }
    }
  } catch (const std::exception&) {
  }
  record.categoryName_ = "Unknown";
  return -1;
}

int CCollectorService::ResolveMessage(CLogRecord& record) {
  if (record.eventMessageFile_.empty()) return 1;
  try {
    msg::HMODULE module = moduleCache_.Load(record.eventMessageFile_);
    if (module == nullptr) {
      // Messages files are often registered under the other name of the system folder.
      if (!ReplaceAll(record.eventMessageFile_, "\\winnt\\", "\\windows\\")) {
        ReplaceAll(record.eventMessageFile_, "\\windows\\", "\\winnt\\");
      }
      module = moduleCache_.Load(record.eventMessageFile_);
      if (module == nullptr) return 1;
    }
    // Inserts past the record's strings stay as written instead of being read.
    msg::DWORD_PTR values[kMaxInserts] = {};
    const size_t count = std::min(record.insertionStrings_.size(), kMaxInserts);
    for (size_t index = 0; index < count; ++index) {
      values[index] = reinterpret_cast<msg::DWORD_PTR>(record.insertionStrings_[index].c_str());
    }
    const msg::MessageArguments arguments{values, count};
    char* text = nullptr;
    const msg::DWORD length = msg::FormatMessageA(
        msg::FORMAT_MESSAGE_ARGUMENT_ARRAY | msg::FORMAT_MESSAGE_FROM_HMODULE |
            msg::FORMAT_MESSAGE_ALLOCATE_BUFFER,
        module, record.eventId_, kNeutralLanguage, reinterpret_cast<char*>(&text), 0, &arguments);
    if (length == 0) {
      // A message that formats to nothing is a message all the same: the description stays
      // empty rather than claiming the text could not be found.
      return platform::GetLastError() == platform::ERROR_NO_WORK_DONE ? 0 : 1;
    }
    record.description_ = HtmlLineBreaks(std::string_view(text, length));
    msg::LocalFree(text);
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace tamsel::collector
