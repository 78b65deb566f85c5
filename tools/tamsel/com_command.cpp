// `tamsel com`: the scripting host of the component. Registers and unregisters its library,
// and calls any method of its classes by ProgID and name, in a transaction or not, printing the
// result and every argument after the call as JSON; `batch` reads the calls as JSON lines.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/com/create_object.h"
#include "platform/com/dispatch.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

namespace com = platform::com;
// Output keeps the order of the documented shape: "result" before "args".
using json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "usage: tamsel com register [LIBRARY]      registers the component's classes "
    "(DllRegisterServer)\n"
    "       tamsel com unregister [LIBRARY]    removes them again (DllUnregisterServer)\n"
    "       tamsel com call [--no-transaction] PROGID.METHOD [ARG...]\n"
    "       tamsel com batch [--no-transaction] < calls.jsonl\n"
    "\n"
    "LIBRARY defaults to the built libTamselReportsCom.so. PROGID is a registered ProgID such as\n"
    "TamselReportsCom.Reports or TamselReportsCom.AppAdmin; METHOD is matched in any case.\n"
    "--no-transaction acts as if the component were not installed in COM+ (calls then run\n"
    "without a transaction and the database methods answer -102).\n"
    "\n"
    "Arguments of call, in order (a by-reference argument starts with the given value):\n"
    "  TEXT        a string (the default)          str:TEXT   a string, taken literally\n"
    "  long:N      a 32-bit integer                short:N    a 16-bit integer\n"
    "  null        NULL                            empty      Empty (an uninitialised Variant)\n"
    "  missing     an omitted argument (an optional parameter takes its default)\n"
    "\n"
    "call prints one JSON object:\n"
    "  {\"result\": R, \"args\": [A1, A2, ...]}\n"
    "R is the method's result and each A an argument after the call, by-reference outputs\n"
    "included. Values: strings and numbers as JSON strings and numbers, NULL as null, Empty as\n"
    "{\"empty\":true}, an omitted argument as {\"missing\":true}, booleans as true/false, dates "
    "as\n"
    "their text. A call that raises prints {\"error\": {\"number\": N, \"source\": S,\n"
    "\"description\": D}} (and, for call, exits with 1).\n"
    "\n"
    "batch reads one JSON object per line from standard input,\n"
    "  {\"call\": \"PROGID.METHOD\", \"args\": [...], \"transaction\": false}\n"
    "(\"transaction\" optional, default true unless --no-transaction), with argument values\n"
    "\"text\", N (long), {\"short\": N}, null, {\"empty\": true} or {\"missing\": true}, and\n"
    "prints one line per call in the shape above, in order, in one process. Blank lines are\n"
    "skipped; a line that is not a valid call prints an error object. The exit code is 1 when\n"
    "any call failed.\n";

int Usage(const std::string& error) {
  std::fprintf(stderr, "tamsel com: %s\n%s", error.c_str(), kUsage);
  return 1;
}

std::string HexNumber(std::int32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(number));
  return text;
}

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path() : self.parent_path();
}

// The built library: beside the tool, in the build tree's reports folder, or installed in
// lib/tamsel.
std::filesystem::path DefaultLibrary() {
  const std::filesystem::path folder = ExecutableFolder();
  for (const std::filesystem::path& candidate :
       {folder / "libTamselReportsCom.so", folder / ".." / "reports" / "libTamselReportsCom.so",
        folder / ".." / "lib" / "libTamselReportsCom.so",
        folder / ".." / "lib" / "tamsel" / "libTamselReportsCom.so"}) {
    if (std::filesystem::exists(candidate)) return candidate.lexically_normal();
  }
  return folder / ".." / "reports" / "libTamselReportsCom.so";
}

int RunServerEntry(const Args& args, const char* entry, const char* done) {
  if (args.size() > 1) return Usage("too many arguments");
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::filesystem::path library = args.empty() ? DefaultLibrary() : std::filesystem::path(args[0]);
  com::HRESULT hr = com::CallServerEntry(library, entry);
  if (hr == com::CO_E_DLLNOTFOUND) {
    std::fprintf(stderr, "tamsel com: cannot load %s: %s\n", library.c_str(),
                 com::LastLoadError().c_str());
    return 1;
  }
  if (com::FAILED(hr)) {
    std::fprintf(stderr, "tamsel com: %s of %s failed with %s\n", entry, library.c_str(),
                 HexNumber(hr).c_str());
    return 1;
  }
  std::printf("%s %s\n", done, std::filesystem::absolute(library).lexically_normal().c_str());
  return 0;
}

// --- Values ---

json ToJson(const com::Argument& argument) {
  if (argument.missing) return json{{"missing", true}};
  const com::Variant& value = argument.value;
  switch (value.Type()) {
    case com::VarType::Empty:
      return json{{"empty", true}};
    case com::VarType::Null:
      return nullptr;
    case com::VarType::I2:
    case com::VarType::I4:
      return value.CLng();
    case com::VarType::R8:
      return value.CDbl();
    case com::VarType::Bool:
      return value.CBool();
    default:
      return value.CStr();
  }
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t used = 0;
  try {
    long long value = std::stoll(std::string(text), &used, 10);
    if (used != text.size() || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A command-line argument; the error text when it is malformed.
std::optional<com::Argument> ParseWord(const std::string& word, std::string& error) {
  if (word == "null") return com::Argument(com::Variant::Null());
  if (word == "empty") return com::Argument(com::Variant());
  if (word == "missing") return com::Argument::Missing();
  if (word.rfind("str:", 0) == 0) return com::Argument(com::Variant(word.substr(4)));
  for (const char* prefix : {"long:", "short:"}) {
    std::string_view head(prefix);
    if (word.rfind(head, 0) != 0) continue;
    std::optional<std::int32_t> number = ParseInteger(std::string_view(word).substr(head.size()));
    bool isShort = head == "short:";
    if (!number || (isShort && (*number < INT16_MIN || *number > INT16_MAX))) {
      error = "'" + word + "' is not a " + (isShort ? "16" : "32") + "-bit integer";
      return std::nullopt;
    }
    if (isShort) return com::Argument(com::Variant(static_cast<std::int16_t>(*number)));
    return com::Argument(com::Variant(*number));
  }
  return com::Argument(com::Variant(word));
}

std::optional<com::Argument> ParseJsonValue(const json& value, std::string& error) {
  if (value.is_string()) return com::Argument(com::Variant(value.get<std::string>()));
  if (value.is_null()) return com::Argument(com::Variant::Null());
  if (value.is_boolean()) return com::Argument(com::Variant(value.get<bool>()));
  if (value.is_number_integer()) {
    std::int64_t number = value.get<std::int64_t>();
    if (number < INT32_MIN || number > INT32_MAX) {
      error = "number " + value.dump() + " does not fit a long";
      return std::nullopt;
    }
    return com::Argument(com::Variant(static_cast<std::int32_t>(number)));
  }
  if (value.is_number()) return com::Argument(com::Variant(value.get<double>()));
  if (value.is_object() && value.size() == 1) {
    if (value.contains("short") && value["short"].is_number_integer()) {
      std::int64_t number = value["short"].get<std::int64_t>();
      if (number >= INT16_MIN && number <= INT16_MAX) {
        return com::Argument(com::Variant(static_cast<std::int16_t>(number)));
      }
    }
    if (value.value("empty", false) == true) return com::Argument(com::Variant());
    if (value.value("missing", false) == true) return com::Argument::Missing();
  }
  error = "unsupported argument value " + value.dump();
  return std::nullopt;
}

// --- Calls ---

struct CallOutcome {
  json output;
  bool ok = false;
};

json ErrorJson(std::int32_t number, const std::string& source, const std::string& description) {
  return json{{"error", {{"number", number}, {"source", source}, {"description", description}}}};
}

class Host {
 public:
  // Objects are stateless; one per ProgID and activation serves every call.
  CallOutcome Call(const std::string& target, com::Arguments& args, bool transactional) {
    std::size_t dot = target.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == target.size()) {
      return {ErrorJson(5, "tamsel com", "'" + target + "' is not PROGID.METHOD"), false};
    }
    try {
      std::string progId = target.substr(0, dot);
      auto& object = objects_[{progId, transactional}];
      if (!object) object = com::CreateObject(progId, com::Activation{transactional});
      com::Variant result = com::CallByName(*object, target.substr(dot + 1), args);
      json out{{"result", ToJson(com::Argument(result))}, {"args", json::array()}};
      for (const com::Argument& argument : args) out["args"].push_back(ToJson(argument));
      return {std::move(out), true};
    } catch (const com::ComError& error) {
      return {ErrorJson(error.Number(), error.Source(), error.Description()), false};
    }
  }

 private:
  std::map<std::pair<std::string, bool>, std::shared_ptr<com::IDispatchObject>> objects_;
};

int RunCall(const Args& args) {
  bool transactional = true;
  std::size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (args[i] == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args[i] != "--no-transaction") return Usage("unknown option " + args[i]);
    transactional = false;
  }
  if (i >= args.size()) return Usage("call needs PROGID.METHOD");
  const std::string target = args[i++];
  com::Arguments callArgs;
  for (; i < args.size(); ++i) {
    std::string error;
    std::optional<com::Argument> argument = ParseWord(args[i], error);
    if (!argument) return Usage(error);
    callArgs.push_back(std::move(*argument));
  }
  Host host;
  CallOutcome outcome = host.Call(target, callArgs, transactional);
  std::printf("%s\n", outcome.output.dump().c_str());
  if (!outcome.ok) {
    const json& error = outcome.output["error"];
    std::fprintf(stderr, "tamsel com: %s failed: %s %s\n", target.c_str(),
                 HexNumber(error["number"].get<std::int32_t>()).c_str(),
                 error["description"].get<std::string>().c_str());
  }
  return outcome.ok ? 0 : 1;
}

CallOutcome BatchLine(Host& host, const std::string& line, bool defaultTransactional) {
  json request = json::parse(line, nullptr, false);
  if (request.is_discarded() || !request.is_object()) {
    return {ErrorJson(5, "tamsel com", "not a JSON object: " + line), false};
  }
  if (!request.contains("call") || !request["call"].is_string()) {
    return {ErrorJson(5, "tamsel com", "\"call\" must name PROGID.METHOD"), false};
  }
  com::Arguments args;
  if (request.contains("args")) {
    if (!request["args"].is_array()) {
      return {ErrorJson(5, "tamsel com", "\"args\" must be an array"), false};
    }
    for (const json& value : request["args"]) {
      std::string error;
      std::optional<com::Argument> argument = ParseJsonValue(value, error);
      if (!argument) return {ErrorJson(5, "tamsel com", error), false};
      args.push_back(std::move(*argument));
    }
  }
  bool transactional = defaultTransactional;
  if (request.contains("transaction")) {
    if (!request["transaction"].is_boolean()) {
      return {ErrorJson(5, "tamsel com", "\"transaction\" must be true or false"), false};
    }
    transactional = request["transaction"].get<bool>();
  }
  return host.Call(request["call"].get<std::string>(), args, transactional);
}

int RunBatch(const Args& args) {
  bool transactional = true;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg != "--no-transaction") return Usage("unknown argument " + arg);
    transactional = false;
  }
  Host host;
  bool allOk = true;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    CallOutcome outcome = BatchLine(host, line, transactional);
    allOk = allOk && outcome.ok;
    std::cout << outcome.output.dump() << '\n' << std::flush;
  }
  return allOk ? 0 : 1;
}

}  // namespace

int RunComCommand(const Args& args) {
  if (args.empty()) return Usage("missing action");
  const std::string& action = args[0];
  Args rest(args.begin() + 1, args.end());
  if (action == "--help" || action == "-h" || action == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (action == "register") return RunServerEntry(rest, "DllRegisterServer", "registered");
  if (action == "unregister") return RunServerEntry(rest, "DllUnregisterServer", "unregistered");
  if (action == "call") return RunCall(rest);
  if (action == "batch") return RunBatch(rest);
  return Usage("unknown action '" + action + "'");
}

}  // namespace tamsel::tools
