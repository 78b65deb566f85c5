// `tamsel event`: write an event (in the manner of Windows' eventcreate, but with every field),
// query a log or a backup file the way an event viewer shows it, clear a log with or without a
// backup, and back a log up.
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts/sid.h"
#include "platform/accounts/token.h"
#include "platform/eventlog/event_import.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/log_config.h"
#include "platform/messages/format_message.h"
#include "platform/messages/message_module.h"
#include "platform/network/environment.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

namespace evt = platform::eventlog;
namespace reg = platform::registry;
namespace msg = platform::messages;
using platform::Win32Error;

constexpr const char* kUsage =
    "usage: tamsel event write --machine M --log L --source S\n"
    "                          --type error|warning|information|success|failure|N --id N\n"
    "                          [--category N] [--string TEXT]... [--user SID|current]\n"
    "                          [--data HEX] [--count N]\n"
    "       tamsel event query --machine M (--log L | --file WINPATH) [--reverse] [--json]\n"
    "       tamsel event clear --machine M --log L [--backup WINPATH]\n"
    "       tamsel event backup --machine M --log L --file WINPATH\n"
    "       tamsel event import --machine M --log L FILE\n"
    "  M defaults to the local machine. WINPATH is a path on M (D:\\EvtBak\\x.evt) or a share\n"
    "  path (\\\\M\\D$\\EvtBak\\x.evt). --type success is EVENTLOG_SUCCESS (0), failure an audit\n"
    "  failure (16); N gives any type number. --id takes all 32 bits (decimal or 0x hex).\n"
    "  write registers S under L when no log has it yet; --count N writes the event N times.\n"
    "  query renders each message from the source's message files on the machine that logged\n"
    "  the event; --json prints an array.\n"
    "  query --file and import read .evt and .evtx files alike. import appends the records of\n"
    "  an exported log (FILE on this host, or a WINPATH) to L, each keeping its own source,\n"
    "  computer, times, user, strings and data.\n";

struct Options {
  std::string machine;
  std::string log;
  std::string source;
  std::string file;
  std::string backup;
  std::optional<std::string> type;
  std::optional<std::string> id;
  std::string category = "0";
  std::string count = "1";
  std::vector<std::string> strings;
  std::string user;
  std::string data;
  bool reverse = false;
  bool json = false;
  std::vector<std::string> operands;  // arguments that are no option
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "tamsel event: %s\n", message.c_str());
  return 1;
}

std::string ErrorText(Win32Error error) {
  static const std::map<Win32Error, const char*> kTexts = {
      {platform::ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {platform::ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {platform::ERROR_ACCESS_DENIED, "Access is denied."},
      {platform::ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {platform::ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {platform::ERROR_BAD_NETPATH, "The network path was not found."},
      {platform::ERROR_BAD_NET_NAME, "The network name cannot be found."},
      {platform::ERROR_BAD_PATHNAME, "The specified path is invalid."},
      {platform::ERROR_INVALID_SID, "The security ID structure is invalid."},
      {platform::ERROR_EVENTLOG_FILE_CORRUPT, "The event log file is corrupted."},
      {platform::ERROR_LOG_FILE_FULL, "The event log file is full."},
      {platform::ERROR_EVENTLOG_FILE_CHANGED,
       "The event log file has changed between read "
       "operations."},
      {platform::RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
      {platform::ERROR_DISK_FULL, "There is not enough space on the disk."},
  };
  auto found = kTexts.find(error);
  std::string text = found == kTexts.end() ? "Error" : found->second;
  return text + " (error " + std::to_string(error) + ")";
}

int FailWin32(const std::string& what, Win32Error error) {
  return Fail(what + ": " + ErrorText(error));
}

template <typename T>
bool ParseNumber(std::string text, T& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text = text.substr(2);
    base = 16;
  }
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Options take one value each, except the flags; --string may repeat.
std::string Parse(const Args& args, Options& options) {
  std::map<std::string, std::string*> single = {
      {"--machine", &options.machine}, {"--log", &options.log},
      {"--source", &options.source},   {"--file", &options.file},
      {"--backup", &options.backup},   {"--category", &options.category},
      {"--user", &options.user},       {"--data", &options.data},
      {"--count", &options.count}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--reverse") {
      options.reverse = true;
      continue;
    }
    if (name == "--json") {
      options.json = true;
      continue;
    }
    if (!name.starts_with("--")) {
      options.operands.push_back(name);
      continue;
    }
    if (i + 1 >= args.size()) return "option " + name + " needs a value";
    const std::string& value = args[++i];
    if (name == "--string") {
      options.strings.push_back(value);
    } else if (name == "--type") {
      options.type = value;
    } else if (name == "--id") {
      options.id = value;
    } else if (auto found = single.find(name); found != single.end()) {
      *found->second = value;
    } else {
      return "unknown option '" + name + "'";
    }
  }
  return {};
}

int Usage(const std::string& error) {
  std::fprintf(stderr, "tamsel event: %s\n%s", error.c_str(), kUsage);
  return 1;
}

bool ParseType(const std::string& text, evt::WORD& type) {
  static const std::map<std::string, evt::WORD> kNames = {
      {"error", evt::EVENTLOG_ERROR_TYPE},
      {"warning", evt::EVENTLOG_WARNING_TYPE},
      {"information", evt::EVENTLOG_INFORMATION_TYPE},
      {"success", evt::EVENTLOG_SUCCESS},
      {"failure", evt::EVENTLOG_AUDIT_FAILURE}};
  std::string lower = platform::network::ToLower(text);
  if (auto found = kNames.find(lower); found != kNames.end()) {
    type = found->second;
    return true;
  }
  return ParseNumber(text, type);
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    std::uint8_t byte = 0;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (error != std::errc() || end != text.data() + i + 2) return false;
    bytes.push_back(byte);
  }
  return true;
}

// The log that holds the source on that machine, registering it under `log` when none does;
// empty when the registry cannot be written.
std::string EnsureSource(const platform::network::Machine& machine, const std::string& log,
                         const std::string& source) {
  if (auto holder = evt::RegisteredSourceLog(machine, source)) return *holder;
  reg::RegistryKey root;
  reg::RegistryKey logs;
  reg::RegistryKey key;
  if (reg::RegistryKey::Connect(machine.Name(), reg::HKEY_LOCAL_MACHINE, root) != 0 ||
      reg::RegistryKey::Create(root.Get(), evt::kEventLogKey, logs) != 0) {
    return {};
  }
  std::string target = log;
  for (const std::string& name : logs.SubKeyNames()) {
    if (platform::network::EqualsIgnoreCase(name, log)) target = name;
  }
  if (reg::RegistryKey::Create(logs.Get(), target + "\\" + source, key) != 0 ||
      key.SetDword("TypesSupported", 0x1F) != 0) {
    return {};
  }
  return target;
}

int Write(const Options& options) {
  if (options.source.empty() || options.log.empty() || !options.type || !options.id) {
    return Usage("write needs --log, --source, --type and --id");
  }
  evt::WORD type = 0;
  evt::DWORD id = 0;
  evt::WORD category = 0;
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> sid;
  if (!ParseType(*options.type, type)) return Usage("unknown --type '" + *options.type + "'");
  if (!ParseNumber(*options.id, id)) return Usage("--id needs a 32-bit number");
  if (!ParseNumber(options.category, category)) return Usage("--category needs a 16-bit number");
  if (!ParseHex(options.data, data)) return Usage("--data needs hexadecimal bytes (0a1b...)");
  std::uint32_t count = 1;
  if (!ParseNumber(options.count, count) || count == 0) return Usage("--count needs a number > 0");
  if (options.strings.size() > 0xFFFF) return Usage("too many --string values");
  if (options.user == "current") {
    sid = platform::accounts::CurrentProcessUserSid().Bytes();
  } else if (!options.user.empty()) {
    auto parsed = platform::accounts::Sid::FromString(options.user);
    if (!parsed) return Usage("--user needs a SID such as S-1-5-18");
    sid = parsed->Bytes();
  }
  auto machine = platform::network::Network::Current().OpenMachine(options.machine);
  if (!machine->IsReachable())
    return FailWin32(machine->Name(), platform::RPC_S_SERVER_UNAVAILABLE);
  std::string holder = EnsureSource(*machine, options.log, options.source);
  if (holder.empty())
    return Fail("cannot register source " + options.source + " on " + machine->Name());
  if (!platform::network::EqualsIgnoreCase(holder, options.log)) {
    return Fail("source " + options.source + " already belongs to the " + holder +
                " log; a source cannot be duplicated");
  }
  evt::EventLogHandle source(
      evt::RegisterEventSourceA(machine->Name().c_str(), options.source.c_str()));
  if (!source) return FailWin32("cannot register the source", platform::GetLastError());
  std::vector<const char*> strings;
  for (const std::string& text : options.strings) strings.push_back(text.c_str());
  for (std::uint32_t n = 0; n < count; ++n) {
    if (!evt::ReportEventA(source.Get(), type, category, id, sid.empty() ? nullptr : sid.data(),
                           static_cast<evt::WORD>(strings.size()),
                           static_cast<evt::DWORD>(data.size()), strings.data(), data.data())) {
      return FailWin32("cannot write the event", platform::GetLastError());
    }
  }
  if (count > 1) {
    std::printf(
        "SUCCESS: %u events of type %u with id %u were created in the %s log of %s with "
        "%s as the source.\n",
        count, type, id, holder.c_str(), machine->Name().c_str(), options.source.c_str());
    return 0;
  }
  std::printf(
      "SUCCESS: An event of type %u with id %u was created in the %s log of %s with %s as "
      "the source.\n",
      type, id, holder.c_str(), machine->Name().c_str(), options.source.c_str());
  return 0;
}

// --- rendering, as an event viewer does it ---

struct SourceFiles {
  std::vector<std::string> eventFiles;  // share paths on the logging machine
  std::string categoryFile;
  bool registered = false;
};

// "C:\x\y.dll" on machine M -> "\\M\C$\x\y.dll"; share paths stay as they are.
std::string SharePath(const std::string& machine, const std::string& path) {
  if (path.starts_with("\\\\")) return path;
  // A host path (our own programs register themselves by it) is not a path of the machine.
  if (path.starts_with("/")) return path;
  std::string share = "\\\\" + machine + "\\" + path;
  for (char& c : share) {
    if (c == ':') c = '$';
  }
  return share;
}

std::string ExpandOn(const std::string& machine, const std::string& text) {
  return platform::network::ExpandEnvironmentStrings(
      text, [&machine](std::string_view name) -> std::optional<std::string> {
        return reg::SystemEnvironmentValue(machine, name);
      });
}

// The message files of a source, read from the registry of the machine that logged the event
// (the log given first, else whichever log registers the source).
SourceFiles FindSourceFiles(const std::string& computer, const std::string& log,
                            const std::string& source) {
  SourceFiles files;
  auto machine = platform::network::Network::Current().OpenMachine(computer);
  if (!machine->IsReachable()) return files;
  reg::RegistryKey root;
  reg::RegistryKey logs;
  reg::RegistryKey key;
  if (reg::RegistryKey::Connect(machine->Name(), reg::HKEY_LOCAL_MACHINE, root) != 0 ||
      reg::RegistryKey::Open(root.Get(), evt::kEventLogKey, reg::KEY_READ, logs) != 0) {
    return files;
  }
  std::string holder = log;
  if (log.empty() || reg::RegistryKey::Open(logs.Get(), log + "\\" + source, reg::KEY_READ, key)) {
    holder = evt::FindSourceLog(*machine, source);
    if (reg::RegistryKey::Open(logs.Get(), holder + "\\" + source, reg::KEY_READ, key) != 0) {
      return files;
    }
  }
  files.registered = true;
  std::string value;
  if (key.GetString("EventMessageFile", value) == 0) {
    std::string expanded = ExpandOn(machine->Name(), value);
    for (std::size_t start = 0; start <= expanded.size();) {
      std::size_t end = expanded.find(';', start);
      std::string part = expanded.substr(start, end - start);
      if (!part.empty()) files.eventFiles.push_back(SharePath(machine->Name(), part));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (key.GetString("CategoryMessageFile", value) == 0 && !value.empty()) {
    files.categoryFile = SharePath(machine->Name(), ExpandOn(machine->Name(), value));
  }
  return files;
}

std::string TrimEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.pop_back();
  }
  return text;
}

std::optional<std::string> FormatFrom(const std::string& path, std::uint32_t id,
                                      const std::vector<std::string>& inserts) {
  std::shared_ptr<const msg::MessageModule> module;
  std::string text;
  if (msg::MessageModule::Load(path, module) != platform::ERROR_SUCCESS ||
      msg::FormatModuleMessage(*module, id, 0, inserts, text) != platform::ERROR_SUCCESS) {
    return std::nullopt;
  }
  return TrimEnd(text);
}

struct Rendered {
  std::string categoryName;
  std::optional<std::string> message;
};

Rendered Render(const evt::ParsedRecord& record, const std::string& log) {
  Rendered rendered;
  SourceFiles files = FindSourceFiles(record.computer, log, record.source);
  for (const std::string& file : files.eventFiles) {
    rendered.message = FormatFrom(file, record.eventId, record.strings);
    if (rendered.message) break;
  }
  if (record.category == 0) {
    rendered.categoryName = "None";
  } else if (auto name = files.categoryFile.empty()
                             ? std::nullopt
                             : FormatFrom(files.categoryFile, record.category, {})) {
    rendered.categoryName = *name;
  } else {
    rendered.categoryName = "(" + std::to_string(record.category) + ")";
  }
  return rendered;
}

std::string IsoTime(std::uint32_t seconds) {
  std::time_t time = seconds;
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string TypeName(std::uint16_t type) {
  switch (type) {
    case evt::EVENTLOG_SUCCESS:
      return "Success";
    case evt::EVENTLOG_ERROR_TYPE:
      return "Error";
    case evt::EVENTLOG_WARNING_TYPE:
      return "Warning";
    case evt::EVENTLOG_INFORMATION_TYPE:
      return "Information";
    case evt::EVENTLOG_AUDIT_SUCCESS:
      return "Success Audit";
    case evt::EVENTLOG_AUDIT_FAILURE:
      return "Failure Audit";
    default:
      return "Type " + std::to_string(type);
  }
}

std::string SidText(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return "";
  auto sid = platform::accounts::Sid::FromBytes(bytes);
  return sid ? sid->ToString() : "";
}

// Reads every record of an open log or backup through the usual grow-and-retry loop.
Win32Error ReadRecords(evt::HANDLE handle, bool reverse, std::vector<evt::ParsedRecord>& records) {
  std::vector<std::uint8_t> buffer(0x10000);
  const evt::DWORD flags = evt::EVENTLOG_SEQUENTIAL_READ |
                           (reverse ? evt::EVENTLOG_BACKWARDS_READ : evt::EVENTLOG_FORWARDS_READ);
  while (true) {
    evt::DWORD read = 0;
    evt::DWORD needed = 0;
    if (!evt::ReadEventLogA(handle, flags, 0, buffer.data(), static_cast<evt::DWORD>(buffer.size()),
                            &read, &needed)) {
      Win32Error error = platform::GetLastError();
      if (error == platform::ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      return error == platform::ERROR_HANDLE_EOF ? platform::ERROR_SUCCESS : error;
    }
    for (evt::DWORD at = 0; at + 4 <= read;) {
      evt::DWORD length = evt::GetU32(buffer.data() + at);
      evt::ParsedRecord record;
      if (length == 0 || length > read - at ||
          !evt::ParseAnsiRecord({buffer.data() + at, length}, record)) {
        return platform::ERROR_EVENTLOG_FILE_CORRUPT;
      }
      records.push_back(std::move(record));
      at += length;
    }
  }
}

void PrintText(const evt::ParsedRecord& record, const Rendered& rendered) {
  std::printf(
      "Record %u\n  Time generated: %s\n  Time written:   %s\n  Type:     %s\n"
      "  Source:   %s\n  Event ID: %u (0x%08X)\n  Category: %s\n  Computer: %s\n"
      "  User:     %s\n",
      record.recordNumber, IsoTime(record.timeGenerated).c_str(),
      IsoTime(record.timeWritten).c_str(), TypeName(record.eventType).c_str(),
      record.source.c_str(), record.eventId & 0xFFFF, record.eventId, rendered.categoryName.c_str(),
      record.computer.c_str(), record.userSid.empty() ? "N/A" : SidText(record.userSid).c_str());
  if (rendered.message) {
    std::printf("  Message:  %s\n", rendered.message->c_str());
  } else {
    std::printf("  Message:  (not available)\n");
    for (const std::string& text : record.strings) std::printf("    %s\n", text.c_str());
  }
}

nlohmann::ordered_json ToJson(const evt::ParsedRecord& record, const Rendered& rendered) {
  nlohmann::ordered_json strings = nlohmann::ordered_json::array();
  for (const std::string& text : record.strings) strings.push_back(text);
  return {{"record_number", record.recordNumber},
          {"time_generated", IsoTime(record.timeGenerated)},
          {"time_written", IsoTime(record.timeWritten)},
          {"event_id", record.eventId},
          {"event_type", record.eventType},
          {"category", record.category},
          {"category_name", rendered.categoryName},
          {"source", record.source},
          {"computer", record.computer},
          {"user", SidText(record.userSid)},
          {"strings", strings},
          {"message", rendered.message ? nlohmann::ordered_json(*rendered.message)
                                       : nlohmann::ordered_json()}};
}

int Query(const Options& options) {
  if (options.log.empty() == options.file.empty()) return Usage("query needs --log or --file");
  const char* machine = options.machine.c_str();
  evt::EventLogHandle handle(
      options.log.empty()
          ? evt::OpenBackupEventLogA(options.file.starts_with("\\\\") ? nullptr : machine,
                                     options.file.c_str())
          : evt::OpenEventLogA(machine, options.log.c_str()));
  if (!handle) {
    return FailWin32("cannot open " + (options.log.empty() ? options.file : options.log),
                     platform::GetLastError());
  }
  std::vector<evt::ParsedRecord> records;
  if (Win32Error error = ReadRecords(handle.Get(), options.reverse, records)) {
    return FailWin32("cannot read the records", error);
  }
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const evt::ParsedRecord& record : records) {
    Rendered rendered = Render(record, options.log);
    if (options.json) {
      array.push_back(ToJson(record, rendered));
    } else {
      PrintText(record, rendered);
    }
  }
  if (options.json) std::printf("%s\n", array.dump(2).c_str());
  return 0;
}

bool IsWindowsPath(const std::string& path) {
  return path.starts_with("\\\\") ||
         (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
          path[2] == '\\');
}

// A copy of a host file on the machine, removed again when it goes out of scope.
class DroppedFile {
 public:
  ~DroppedFile() {
    std::error_code ignored;
    if (!host_.empty()) std::filesystem::remove(host_, ignored);
  }
  Win32Error Drop(const platform::network::Machine& machine, const std::filesystem::path& file) {
    const std::string folder = "C:\\WINDOWS\\TEMP";
    machine.CreateFolder(folder);
    windowsPath_ = folder + "\\tamsel-import-" + std::to_string(getpid()) + ".log";
    if (Win32Error status = machine.ResolveLocalPath(windowsPath_, host_)) return status;
    std::error_code error;
    if (!std::filesystem::copy_file(file, host_, std::filesystem::copy_options::overwrite_existing,
                                    error)) {
      host_.clear();
      return platform::ERROR_FILE_NOT_FOUND;
    }
    return platform::ERROR_SUCCESS;
  }
  const std::string& WindowsPath() const { return windowsPath_; }

 private:
  std::string windowsPath_;
  std::filesystem::path host_;
};

int Import(const Options& options) {
  if (options.log.empty() || options.operands.size() != 1) {
    return Usage("import needs --log and one FILE");
  }
  const std::string& file = options.operands[0];
  auto machine = platform::network::Network::Current().OpenMachine(options.machine);
  if (!machine->IsReachable()) {
    return FailWin32(machine->Name(), platform::RPC_S_SERVER_UNAVAILABLE);
  }
  DroppedFile dropped;
  std::string windowsPath = file;
  if (!IsWindowsPath(file)) {
    if (Win32Error status = dropped.Drop(*machine, file))
      return FailWin32("cannot read " + file, status);
    windowsPath = dropped.WindowsPath();
  }
  std::vector<evt::ParsedRecord> records;
  evt::DWORD skipped = 0;
  {
    evt::EventLogHandle handle(evt::OpenBackupEventLogA(
        windowsPath.starts_with("\\\\") ? nullptr : machine->Name().c_str(), windowsPath.c_str()));
    if (!handle) return FailWin32("cannot open " + file, platform::GetLastError());
    if (Win32Error error = ReadRecords(handle.Get(), false, records)) {
      return FailWin32("cannot read the records of " + file, error);
    }
    evt::GetEventLogSkippedRecords(handle.Get(), &skipped);
  }
  std::vector<evt::EventFields> fields;
  fields.reserve(records.size());
  for (const evt::ParsedRecord& record : records) fields.push_back(evt::FieldsOf(record));
  std::size_t appended = 0;
  Win32Error status =
      evt::ImportEventRecords(machine->Name().c_str(), options.log.c_str(), fields, appended);
  std::printf("Imported %zu of %zu record(s) from %s into the %s log of %s.\n", appended,
              records.size(), file.c_str(), options.log.c_str(), machine->Name().c_str());
  if (skipped > 0) {
    std::printf("%u damaged record(s) of %s could not be read.\n", skipped, file.c_str());
  }
  if (status != platform::ERROR_SUCCESS)
    return FailWin32("cannot import into " + options.log, status);
  return 0;
}

int Clear(const Options& options) {
  if (options.log.empty()) return Usage("clear needs --log");
  evt::EventLogHandle handle(evt::OpenEventLogA(options.machine.c_str(), options.log.c_str()));
  if (!handle) return FailWin32("cannot open " + options.log, platform::GetLastError());
  if (!evt::ClearEventLogA(handle.Get(),
                           options.backup.empty() ? nullptr : options.backup.c_str())) {
    return FailWin32("cannot clear " + options.log, platform::GetLastError());
  }
  if (options.backup.empty()) {
    std::printf("The %s log was cleared.\n", options.log.c_str());
  } else {
    std::printf("The %s log was saved to %s and cleared.\n", options.log.c_str(),
                options.backup.c_str());
  }
  return 0;
}

int Backup(const Options& options) {
  std::string target = options.file.empty() ? options.backup : options.file;
  if (options.log.empty() || target.empty()) return Usage("backup needs --log and --file");
  evt::EventLogHandle handle(evt::OpenEventLogA(options.machine.c_str(), options.log.c_str()));
  if (!handle) return FailWin32("cannot open " + options.log, platform::GetLastError());
  if (!evt::BackupEventLogA(handle.Get(), target.c_str())) {
    return FailWin32("cannot back up " + options.log, platform::GetLastError());
  }
  std::printf("The %s log was saved to %s.\n", options.log.c_str(), target.c_str());
  return 0;
}

}  // namespace

int RunEventCommand(const Args& args) {
  if (args.empty()) return Usage("missing subcommand");
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::printf("%s", kUsage);
      return 0;
    }
  }
  Options options;
  if (std::string error = Parse(Args(args.begin() + 1, args.end()), options); !error.empty()) {
    return Usage(error);
  }
  const std::string& verb = args[0];
  if (verb != "import" && !options.operands.empty()) {
    return Usage("unexpected argument '" + options.operands[0] + "'");
  }
  if (verb == "write") return Write(options);
  if (verb == "query") return Query(options);
  if (verb == "clear") return Clear(options);
  if (verb == "backup") return Backup(options);
  if (verb == "import") return Import(options);
  return Usage("unknown subcommand '" + verb + "'");
}

}  // namespace tamsel::tools
