// `tamsel db alias`: the data-source aliases of the local machine that name a server
// database (PostgreSQL): add, list, delete. The collector's "-s NAME" and the component's
// DBServer use the names.
#include <cstdio>
#include <string>

#include "platform/data/data_source.h"
#include "platform/registry/registry.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {
namespace {

namespace reg = platform::registry;

constexpr const char* kAliasUsage =
    "usage: tamsel db alias add NAME URI    NAME opens the server database at URI:\n"
    "                                         postgresql://[user[:password]@]host[:port]/db[?...]\n"
    "                                         or host=/socket/dir [port=N] (a Unix socket)\n"
    "       tamsel db alias list            every alias (passwords shown as ***)\n"
    "       tamsel db alias delete NAME\n";

int AliasFail(const std::string& error) {
  std::fprintf(stderr, "tamsel db alias: %s\n", error.c_str());
  return 1;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 128 || name == "." || name.starts_with("(")) return false;
  return name.find_first_of("\\,;= \t") == std::string::npos;
}

// The password of a URI ("user:secret@") or of a "password=" pair is not shown.
std::string Masked(std::string value) {
  const size_t scheme = value.find("://");
  const size_t at = value.find('@');
  if (scheme != std::string::npos && at != std::string::npos && at > scheme) {
    const size_t colon = value.find(':', scheme + 3);
    if (colon != std::string::npos && colon < at) value.replace(colon + 1, at - colon - 1, "***");
  }
  const size_t key = value.find("password=");
  if (key != std::string::npos) {
    const size_t end = value.find(' ', key);
    value.replace(key + 9, end == std::string::npos ? std::string::npos : end - key - 9, "***");
  }
  return value;
}

}  // namespace

int RunDbAliasCommand(const Args& args) {
  if (args.empty() || args[0] == "--help") {
    std::printf("%s", kAliasUsage);
    return args.empty() ? 1 : 0;
  }
  const std::string& action = args[0];
  reg::RegistryKey aliases;
  if (action == "add") {
    if (args.size() != 3) return AliasFail("add needs NAME and URI");
    if (!ValidName(args[1])) return AliasFail("'" + args[1] + "' is not an alias name");
    if (!platform::data::IsServerAliasValue(args[2])) {
      return AliasFail("'" + args[2] +
                       "' is not a server address (postgresql://… or host=/socket/dir)");
    }
    if (!platform::data::WriteAlias(args[1], args[2])) {
      return AliasFail("cannot write the alias table");
    }
    std::printf("alias %s -> %s\n", args[1].c_str(), Masked(args[2]).c_str());
    return 0;
  }
  if (action == "list") {
    if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, platform::data::kAliasKey, reg::KEY_READ,
                               aliases) != 0) {
      return 0;
    }
    for (const std::string& name : aliases.ValueNames()) {
      std::string value;
      aliases.GetString(name, value);
      std::printf("%-16s %s\n", name.c_str(), Masked(value).c_str());
    }
    return 0;
  }
  if (action == "delete") {
    if (args.size() != 2) return AliasFail("delete needs NAME");
    if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, platform::data::kAliasKey,
                               reg::KEY_READ | reg::KEY_WRITE, aliases) != 0 ||
        aliases.DeleteValue(args[1]) != 0) {
      return AliasFail("no alias '" + args[1] + "'");
    }
    std::printf("deleted alias %s\n", args[1].c_str());
    return 0;
  }
  return AliasFail("unknown action '" + action + "'\n" + kAliasUsage);
}

}  // namespace tamsel::tools
