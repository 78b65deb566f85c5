// `tamsel net source add`: registers an event source under a log of a machine, with its event
// and category message files, where the event log service and event viewers look for them.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

namespace reg = platform::registry;
namespace evt = platform::eventlog;

constexpr const char* kUsage =
    "usage: tamsel net source add --machine M --log L --source S [--event-message-file P]\n"
    "                             [--category-message-file P] [--category-count N]\n"
    "  Registers source S under the event log L of machine M (created as a new log when M\n"
    "  has none of that name). P is a path on M, %SystemRoot% and the like allowed; several\n"
    "  event message files are separated by ';'. Running it again updates the source; a\n"
    "  source registered under another log is refused, as one source serves one log.\n";

struct SourceOptions {
  std::string machine;
  std::string log;
  std::string source;
  std::optional<std::string> eventMessageFile;
  std::optional<std::string> categoryMessageFile;
  std::optional<reg::DWORD> categoryCount;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "tamsel net source: %s\n", message.c_str());
  return 1;
}

bool ParseCount(const std::string& text, reg::DWORD& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value <= 0xFFFF;
}

// Fills `options`; returns an error text, empty when the arguments are complete.
std::string Parse(const Args& args, SourceOptions& options) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (i + 1 >= args.size()) return "option " + name + " needs a value";
    const std::string& value = args[i + 1];
    if (name == "--machine") {
      options.machine = value;
    } else if (name == "--log") {
      options.log = value;
    } else if (name == "--source") {
      options.source = value;
    } else if (name == "--event-message-file") {
      options.eventMessageFile = value;
    } else if (name == "--category-message-file") {
      options.categoryMessageFile = value;
    } else if (name == "--category-count") {
      reg::DWORD count = 0;
      if (!ParseCount(value, count)) return "--category-count needs a number from 0 to 65535";
      options.categoryCount = count;
    } else {
      return "unknown option '" + name + "'";
    }
  }
  if (options.log.empty()) return "--log is required";
  if (options.source.empty()) return "--source is required";
  if (options.log.find('\\') != std::string::npos) return "a log name cannot contain '\\'";
  if (options.source.find('\\') != std::string::npos) return "a source name cannot contain '\\'";
  return {};
}

// The log's key, created with the values the event log service needs when it is new.
bool OpenOrCreateLog(const reg::RegistryKey& eventLog, const std::string& log,
                     reg::RegistryKey& logKey) {
  for (const std::string& name : eventLog.SubKeyNames()) {
    if (platform::network::EqualsIgnoreCase(name, log)) {
      return reg::RegistryKey::Open(eventLog.Get(), name, reg::KEY_ALL_ACCESS, logKey) == 0;
    }
  }
  return reg::RegistryKey::Create(eventLog.Get(), log, logKey) == 0 &&
         logKey.SetString("File", evt::DefaultLogFile(log), reg::REG_EXPAND_SZ) == 0 &&
         logKey.SetDword("MaxSize", evt::kDefaultMaxSize) == 0 &&
         logKey.SetDword("Retention", 0) == 0;
}

int Add(const Args& args) {
  SourceOptions options;
  if (std::string error = Parse(args, options); !error.empty()) {
    std::fprintf(stderr, "tamsel net source: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  auto machine = platform::network::Network::Current().OpenMachine(options.machine);
  if (!machine->IsReachable()) return Fail("machine " + machine->Name() + " is not reachable");
  // Writers find a source's log by the source alone, so it can belong to one log only.
  if (auto holder = evt::RegisteredSourceLog(*machine, options.source);
      holder && !platform::network::EqualsIgnoreCase(*holder, options.log)) {
    return Fail("source " + options.source + " already belongs to the " + *holder +
                " log; a source cannot be duplicated");
  }
  reg::RegistryKey root;
  reg::RegistryKey eventLog;
  reg::RegistryKey logKey;
  reg::RegistryKey sourceKey;
  if (reg::RegistryKey::Connect(machine->Name(), reg::HKEY_LOCAL_MACHINE, root) != 0 ||
      reg::RegistryKey::Create(root.Get(), evt::kEventLogKey, eventLog) != 0 ||
      !OpenOrCreateLog(eventLog, options.log, logKey) ||
      reg::RegistryKey::Create(logKey.Get(), options.source, sourceKey) != 0) {
    return Fail("cannot write the registry of " + machine->Name());
  }
  bool ok = sourceKey.SetDword("TypesSupported", 0x1F) == 0;
  if (options.eventMessageFile) {
    ok = ok && sourceKey.SetString("EventMessageFile", *options.eventMessageFile,
                                   reg::REG_EXPAND_SZ) == 0;
  }
  if (options.categoryMessageFile) {
    ok = ok && sourceKey.SetString("CategoryMessageFile", *options.categoryMessageFile,
                                   reg::REG_EXPAND_SZ) == 0;
  }
  if (options.categoryCount)
    ok = ok && sourceKey.SetDword("CategoryCount", *options.categoryCount) == 0;
  if (!ok) return Fail("cannot write the source's values on " + machine->Name());
  std::printf("Source %s registered under the %s log of %s.\n", options.source.c_str(),
              options.log.c_str(), machine->Name().c_str());
  return 0;
}

}  // namespace

int RunNetSourceCommand(const Args& args) {
  if (args.empty()) return Fail(std::string("missing subcommand\n") + kUsage);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::printf("%s", kUsage);
      return 0;
    }
  }
  if (args[0] == "add") return Add(Args(args.begin() + 1, args.end()));
  return Fail("unknown subcommand '" + args[0] + "'\n" + kUsage);
}

}  // namespace tamsel::tools
