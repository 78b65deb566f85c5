// `tamsel reg`: a machine's registry from the command line, in the manner of Windows' reg:
// query, add, delete, export, import. KEY is "HKLM\..." (or a long root name), optionally
// "\\MACHINE\HKLM\..." for another machine of the network.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "platform/network/network.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_path.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

namespace reg = platform::registry;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kQueryUsage =
    "usage: tamsel reg query KEY [/v NAME | /ve] [/s] [--json]\n"
    "  KEY   [\\\\MACHINE\\]ROOT\\SubKey, ROOT one of HKLM, HKCU, HKCR, HKU (or the long names)\n"
    "  /v    query one value          /ve  query the default (unnamed) value\n"
    "  /s    every subkey and value below KEY\n"
    "  --json  the result as JSON: an array of {key, values:[{name,type,data}], subkeys}\n";
constexpr const char* kAddUsage =
    "usage: tamsel reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  Without /v or /ve only the key is created.\n"
    "  /t    REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY,\n"
    "        REG_NONE\n"
    "  /s    separator of REG_MULTI_SZ strings in DATA (default \\0)\n"
    "  /d    data: decimal or 0x hex for REG_DWORD/REG_QWORD, hex digits for REG_BINARY\n"
    "  /f    overwrite an existing value without asking\n";
constexpr const char* kDeleteUsage =
    "usage: tamsel reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  Without /v, /ve or /va the key is deleted with everything below it.\n"
    "  /va   delete every value of KEY       /f  do not ask for confirmation\n";
constexpr const char* kExportUsage =
    "usage: tamsel reg export KEY FILE [/y]\n"
    "  Writes KEY and everything below it as a .reg file. /y overwrites FILE without asking.\n";
constexpr const char* kImportUsage =
    "usage: tamsel reg import FILE\n"
    "  Applies a .reg file to the local machine (--machine / TAMSEL_MACHINE). A file with an\n"
    "  error changes nothing.\n";
constexpr const char* kUsage =
    "usage: tamsel reg query|add|delete|export|import ...\n"
    "  'tamsel reg OPERATION --help' describes an operation.\n";

constexpr const char* kNotFound =
    "The system was unable to find the specified registry key or value.";

int Fail(const std::string& message) {
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  return 1;
}

int Syntax(const char* operation) {
  std::fprintf(stderr, "ERROR: Invalid syntax.\nType \"tamsel reg %s --help\" for usage.\n",
               operation);
  return 1;
}

std::string ErrorText(reg::LSTATUS status) {
  switch (static_cast<platform::Win32Error>(status)) {
    case platform::ERROR_FILE_NOT_FOUND:
    case platform::ERROR_PATH_NOT_FOUND:
      return kNotFound;
    case platform::ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case platform::ERROR_BAD_NETPATH:
      return "The network path was not found.";
    case platform::ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case platform::ERROR_INVALID_DATA:
      return "The data is invalid.";
    default:
      return "Registry error " + std::to_string(status) + ".";
  }
}

int Succeeded() {
  std::printf("The operation completed successfully.\n");
  return 0;
}

// Asks on the terminal, as reg does; anything but yes (or end of input) declines.
bool Confirm(const std::string& question) {
  std::printf("%s (Yes/No)? ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  bool yes = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
  if (!yes) std::printf("The operation was canceled by the user.\n");
  return yes;
}

// The switches of one reg operation: /x (or -x), case-insensitive, some with an argument.
struct Switches {
  std::vector<std::string> positional;
  std::optional<std::string> value;  // /v NAME, or "" for /ve
  std::optional<std::string> type;
  std::optional<std::string> data;
  std::optional<std::string> separator;
  bool all = false;     // /va
  bool force = false;   // /f or /y
  bool search = false;  // /s in query
  bool json = false;
  bool help = false;
};

bool ParseSwitches(const Args& args, bool sIsSeparator, Switches& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string lower = platform::network::ToLower(arg);
    auto next = [&](std::optional<std::string>& into) {
      if (i + 1 >= args.size() || into) return false;
      into = args[++i];
      return true;
    };
    if (lower == "--help" || lower == "-h" || lower == "/?" || lower == "-?") {
      out.help = true;
    } else if (lower == "--json") {
      out.json = true;
    } else if (lower == "/v" || lower == "-v") {
      if (!next(out.value)) return false;
    } else if (lower == "/ve" || lower == "-ve") {
      if (out.value) return false;
      out.value = "";
    } else if (lower == "/t" || lower == "-t") {
      if (!next(out.type)) return false;
    } else if (lower == "/d" || lower == "-d") {
      if (!next(out.data)) return false;
    } else if ((lower == "/s" || lower == "-s") && sIsSeparator) {
      if (!next(out.separator)) return false;
    } else if (lower == "/s" || lower == "-s") {
      out.search = true;
    } else if (lower == "/va" || lower == "-va") {
      out.all = true;
    } else if (lower == "/f" || lower == "-f" || lower == "/y" || lower == "-y") {
      out.force = true;
    } else {
      // Keys and file names; a host path like "/tmp/x.reg" is a file name, not a switch.
      out.positional.push_back(arg);
    }
  }
  return true;
}

// ---- value text ----

struct TypeName {
  reg::DWORD type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {0, "REG_NONE"},
    {1, "REG_SZ"},
    {2, "REG_EXPAND_SZ"},
    {3, "REG_BINARY"},
    {4, "REG_DWORD"},
    {5, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {7, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {11, "REG_QWORD"},
};

std::string TypeToName(reg::DWORD type) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "REG_UNKNOWN";
}

std::optional<reg::DWORD> NameToType(std::string_view name) {
  for (const TypeName& entry : kTypeNames) {
    if (platform::network::EqualsIgnoreCase(name, entry.name)) return entry.type;
  }
  return std::nullopt;
}

std::uint64_t LittleEndian(const Bytes& data) {
  std::uint64_t value = 0;
  for (size_t i = data.size(); i-- > 0;) value = (value << 8) | data[i];
  return value;
}

std::string CString(const Bytes& data) {
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

std::vector<std::string> MultiStrings(const Bytes& data) {
  std::vector<std::string> strings;
  std::string current;
  for (std::uint8_t byte : data) {
    if (byte != 0) {
      current.push_back(static_cast<char>(byte));
    } else if (!current.empty()) {
      strings.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) strings.push_back(std::move(current));
  return strings;
}

std::string HexText(const Bytes& data) {
  std::string text;
  char hex[4];
  for (std::uint8_t byte : data) {
    std::snprintf(hex, sizeof hex, "%02X", byte);
    text += hex;
  }
  return text;
}

// The data column of reg query.
std::string DataText(reg::DWORD type, const Bytes& data) {
  switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
      return CString(data);
    case reg::REG_DWORD:
    case platform::REG_QWORD: {
      if (data.size() != (type == reg::REG_DWORD ? 4u : 8u)) break;
      char text[24];
      std::snprintf(text, sizeof text, "0x%" PRIx64, LittleEndian(data));
      return text;
    }
    case reg::REG_MULTI_SZ: {
      std::string text;
      for (const std::string& item : MultiStrings(data)) text += (text.empty() ? "" : "\\0") + item;
      return text;
    }
    default:
      break;
  }
  return HexText(data);
}

nlohmann::json DataJson(reg::DWORD type, const Bytes& data) {
  switch (type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
      return CString(data);
    case reg::REG_DWORD:
      if (data.size() == 4) return LittleEndian(data);
      break;
    case platform::REG_QWORD:
      if (data.size() == 8) return LittleEndian(data);
      break;
    case reg::REG_MULTI_SZ:
      return MultiStrings(data);
    default:
      break;
  }
  return HexText(data);
}

// Bytes of /d DATA for a type; nothing when DATA does not fit the type.
std::optional<Bytes> DataBytes(reg::DWORD type, const std::string& data,
                               const std::string& separator) {
  Bytes bytes;
  if (type == reg::REG_DWORD || type == platform::REG_QWORD) {
    if (data.empty() || data[0] == '-') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    bool hex = data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
    unsigned long long value = std::strtoull(data.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || (type == reg::REG_DWORD && value > 0xFFFFFFFFull)) {
      return std::nullopt;
    }
    for (size_t i = 0; i < (type == reg::REG_DWORD ? 4u : 8u); ++i) {
      bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
  } else if (type == reg::REG_MULTI_SZ) {
    size_t start = 0;
    while (start <= data.size() && !data.empty()) {
      size_t end = data.find(separator, start);
      std::string item = data.substr(start, end == std::string::npos ? end : end - start);
      if (item.empty()) return std::nullopt;  // reg refuses empty strings in the list
      bytes.insert(bytes.end(), item.begin(), item.end());
      bytes.push_back(0);
      if (end == std::string::npos) break;
      start = end + separator.size();
    }
    bytes.push_back(0);
  } else if (type == reg::REG_SZ || type == reg::REG_EXPAND_SZ) {
    bytes.assign(data.begin(), data.end());
    bytes.push_back(0);
  } else {
    if (data.size() % 2 != 0 ||
        data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return std::nullopt;
    }
    for (size_t i = 0; i < data.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(data.substr(i, 2), nullptr, 16)));
    }
  }
  return bytes;
}

// ---- opening keys ----

struct OpenedKey {
  reg::RegistryPath path;
  reg::RegistryKey key;
};

// Opens (or with `create`, creates) KEY; on failure prints the error and returns its status.
reg::LSTATUS OpenKeyArgument(const std::string& text, reg::DWORD access, bool create,
                             OpenedKey& out) {
  if (!reg::ParseRegistryPath(text, out.path)) {
    std::fprintf(stderr, "ERROR: Invalid key name.\n");
    return static_cast<reg::LSTATUS>(platform::ERROR_INVALID_PARAMETER);
  }
  reg::RegistryKey root;
  reg::LSTATUS status = reg::RegistryKey::Connect(out.path.machine, out.path.root, root);
  if (status == 0) {
    status = create ? reg::RegistryKey::Create(root.Get(), out.path.subKey, out.key)
                    : reg::RegistryKey::Open(root.Get(), out.path.subKey, access, out.key);
  }
  if (status != 0) Fail(ErrorText(status));
  return status;
}

// ---- query ----

struct ValueRecord {
  std::string name;
  reg::DWORD type = 0;
  Bytes data;
};

std::vector<ValueRecord> ReadValues(const reg::RegistryKey& key,
                                    const std::optional<std::string>& only) {
  std::vector<ValueRecord> values;
  for (const std::string& name : key.ValueNames()) {
    if (only && !platform::network::EqualsIgnoreCase(name, *only)) continue;
    ValueRecord record;
    record.name = name;
    if (key.GetBinary(name, record.data, record.type) == 0) values.push_back(std::move(record));
  }
  return values;
}

std::string ValueLine(const ValueRecord& value) {
  return "    " + (value.name.empty() ? std::string("(Default)") : value.name) + "    " +
         TypeToName(value.type) + "    " + DataText(value.type, value.data) + "\n";
}

nlohmann::json KeyJson(const std::string& fullName, const std::vector<ValueRecord>& values) {
  nlohmann::json key = {{"key", fullName}, {"values", nlohmann::json::array()}};
  for (const ValueRecord& value : values) {
    key["values"].push_back({{"name", value.name},
                             {"type", TypeToName(value.type)},
                             {"data", DataJson(value.type, value.data)}});
  }
  return key;
}

// /s: every key below, depth first; with /v only the keys holding that value are shown.
void QueryTree(const reg::RegistryKey& key, const std::string& fullName, const Switches& switches,
               std::string& text, nlohmann::json& json, size_t& matches) {
  std::vector<ValueRecord> values = ReadValues(key, switches.value);
  if (!switches.value || !values.empty()) {
    text += fullName + "\n";
    for (const ValueRecord& value : values) text += ValueLine(value);
    text += "\n";
    json.push_back(KeyJson(fullName, values));
    matches += switches.value ? values.size() : 0;
  }
  for (const std::string& child : key.SubKeyNames()) {
    reg::RegistryKey sub;
    if (reg::RegistryKey::Open(key.Get(), child, reg::KEY_READ, sub) != 0) continue;
    QueryTree(sub, fullName + "\\" + child, switches, text, json, matches);
  }
}

int Print(const std::string& text, const nlohmann::json& json, bool asJson) {
  if (asJson) {
    std::printf("%s\n", json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

int Query(const Switches& switches) {
  if (switches.positional.size() != 1 || switches.type || switches.data || switches.all ||
      switches.force) {
    return Syntax("query");
  }
  OpenedKey opened;
  if (OpenKeyArgument(switches.positional[0], reg::KEY_READ, false, opened) != 0) return 1;
  std::string fullName = reg::FullKeyName(opened.path);
  if (!opened.path.machine.empty()) fullName = "\\\\" + opened.path.machine + "\\" + fullName;
  std::string text = "\n";
  nlohmann::json json = nlohmann::json::array();
  if (switches.search) {
    size_t matches = 0;
    QueryTree(opened.key, fullName, switches, text, json, matches);
    if (switches.value) {
      if (matches == 0) return Fail(kNotFound);
      text += "End of search: " + std::to_string(matches) + " match(es) found.\n";
    }
    return Print(text, json, switches.json);
  }
  std::vector<ValueRecord> values = ReadValues(opened.key, switches.value);
  text += fullName + "\n";
  if (switches.value) {
    if (values.empty() && !switches.value->empty()) return Fail(kNotFound);
    if (values.empty()) {
      text += "    (Default)    REG_SZ    (value not set)\n";
    }
    for (const ValueRecord& value : values) text += ValueLine(value);
    text += "\n";
    json.push_back(KeyJson(fullName, values));
    return Print(text, json, switches.json);
  }
  for (const ValueRecord& value : values) text += ValueLine(value);
  text += "\n";
  nlohmann::json key = KeyJson(fullName, values);
  key["subkeys"] = nlohmann::json::array();
  for (const std::string& child : opened.key.SubKeyNames()) {
    text += fullName + "\\" + child + "\n";
    key["subkeys"].push_back(child);
  }
  json.push_back(key);
  return Print(text, json, switches.json);
}

// ---- add / delete ----

int Add(const Switches& switches) {
  if (switches.positional.size() != 1 || switches.search || switches.all || switches.json ||
      (!switches.value && (switches.type || switches.data))) {
    return Syntax("add");
  }
  reg::DWORD type = reg::REG_SZ;
  if (switches.type) {
    auto parsed = NameToType(*switches.type);
    if (!parsed || *parsed == 5 || *parsed == 6 || (*parsed >= 8 && *parsed <= 10)) {
      return Fail("Invalid type \"" + *switches.type + "\".");
    }
    type = *parsed;
  }
  std::string defaultData = type == reg::REG_DWORD || type == platform::REG_QWORD ? "0" : "";
  std::optional<Bytes> bytes =
      DataBytes(type, switches.data.value_or(defaultData), switches.separator.value_or("\\0"));
  if (!bytes || (switches.separator && switches.separator->empty())) {
    return Fail("Invalid data \"" + switches.data.value_or("") + "\" for " + TypeToName(type) +
                ".");
  }
  OpenedKey opened;
  if (OpenKeyArgument(switches.positional[0], reg::KEY_ALL_ACCESS, true, opened) != 0) return 1;
  if (!switches.value) return Succeeded();
  const std::string& name = *switches.value;
  Bytes existing;
  reg::DWORD existingType = 0;
  if (!switches.force && opened.key.GetBinary(name, existing, existingType) == 0 &&
      !Confirm("Value " + (name.empty() ? std::string("(Default)") : name) +
               " exists, overwrite")) {
    return 1;
  }
  reg::LSTATUS status = reg::RegSetValueExA(opened.key.Get(), name.c_str(), 0, type, bytes->data(),
                                            static_cast<reg::DWORD>(bytes->size()));
  return status == 0 ? Succeeded() : Fail(ErrorText(status));
}

int DeleteAllValues(const OpenedKey& opened) {
  for (const std::string& name : opened.key.ValueNames()) {
    if (reg::LSTATUS status = opened.key.DeleteValue(name)) return Fail(ErrorText(status));
  }
  return Succeeded();
}

int Delete(const Switches& switches) {
  if (switches.positional.size() != 1 || switches.search || switches.type || switches.data ||
      switches.json || (switches.all && switches.value)) {
    return Syntax("delete");
  }
  OpenedKey opened;
  if (OpenKeyArgument(switches.positional[0], reg::KEY_ALL_ACCESS, false, opened) != 0) return 1;
  std::string fullName = reg::FullKeyName(opened.path);
  if (switches.all) {
    if (!switches.force && !Confirm("Delete all values under the registry key " + fullName)) {
      return 1;
    }
    return DeleteAllValues(opened);
  }
  if (switches.value) {
    const std::string& name = *switches.value;
    Bytes existing;
    reg::DWORD type = 0;
    if (opened.key.GetBinary(name, existing, type) != 0) return Fail(kNotFound);
    if (!switches.force &&
        !Confirm("Delete the registry value " + (name.empty() ? std::string("(Default)") : name))) {
      return 1;
    }
    reg::LSTATUS status = opened.key.DeleteValue(name);
    return status == 0 ? Succeeded() : Fail(ErrorText(status));
  }
  if (opened.path.subKey.empty()) return Fail("Invalid key name.");  // a root stays
  if (!switches.force && !Confirm("Permanently delete the registry key " + fullName)) return 1;
  reg::RegistryKey root;
  reg::LSTATUS status = reg::RegistryKey::Connect(opened.path.machine, opened.path.root, root);
  opened.key = reg::RegistryKey();
  if (status == 0) status = reg::RegDeleteTreeA(root.Get(), opened.path.subKey.c_str());
  return status == 0 ? Succeeded() : Fail(ErrorText(status));
}

// ---- export / import ----

// Writes through a temporary file in the same folder, so a failed export leaves any old file.
bool WriteFileReplacing(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.good()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) std::filesystem::remove(temporary, error);
  return !error;
}

int Export(const Switches& switches) {
  if (switches.positional.size() != 2 || switches.value || switches.search || switches.type ||
      switches.data || switches.all || switches.json) {
    return Syntax("export");
  }
  reg::RegistryPath path;
  if (!reg::ParseRegistryPath(switches.positional[0], path)) return Fail("Invalid key name.");
  std::string text;
  if (reg::LSTATUS status = reg::ExportRegFile(path, text)) return Fail(ErrorText(status));
  std::filesystem::path file = switches.positional[1];
  std::error_code error;
  if (!switches.force && std::filesystem::exists(file, error) &&
      !Confirm("File " + file.string() + " already exists. Overwrite")) {
    return 1;
  }
  if (!WriteFileReplacing(file, text)) return Fail("Cannot write " + file.string() + ".");
  return Succeeded();
}

int Import(const Switches& switches) {
  if (switches.positional.size() != 1 || switches.value || switches.search || switches.type ||
      switches.data || switches.all || switches.force || switches.json) {
    return Syntax("import");
  }
  const std::string& file = switches.positional[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail("Error opening the file " + file + ".");
  std::stringstream content;
  content << in.rdbuf();
  std::string error;
  reg::LSTATUS status = reg::ImportRegFile("", content.str(), error);
  if (status == static_cast<reg::LSTATUS>(platform::ERROR_INVALID_DATA)) {
    return Fail(file + ": " + error);
  }
  if (status != 0) return Fail(error + ": " + ErrorText(status));
  return Succeeded();
}

struct Operation {
  const char* name;
  const char* usage;
  int (*run)(const Switches&);
  bool sIsSeparator;
};

const Operation kOperations[] = {
    {"query", kQueryUsage, Query, false},    {"add", kAddUsage, Add, true},
    {"delete", kDeleteUsage, Delete, false}, {"export", kExportUsage, Export, false},
    {"import", kImportUsage, Import, false},
};

}  // namespace

int RunRegCommand(const Args& args) {
  if (args.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 1;
  }
  std::string verb = platform::network::ToLower(args[0]);
  if (verb == "--help" || verb == "-h" || verb == "/?") {
    std::printf("%s", kUsage);
    return 0;
  }
  for (const Operation& operation : kOperations) {
    if (verb != operation.name) continue;
    Switches switches;
    bool parsed =
        ParseSwitches(Args(args.begin() + 1, args.end()), operation.sIsSeparator, switches);
    if (switches.help) {
      std::printf("%s", operation.usage);
      return 0;
    }
    if (!parsed) return Syntax(operation.name);
    return operation.run(switches);
  }
  std::fprintf(stderr, "ERROR: Invalid operation '%s'.\n%s", args[0].c_str(), kUsage);
  return 1;
}

}  // namespace tamsel::tools
