// `tamsel db`: TamselDB files of the local machine: create one, upgrade it, show its version
// and row counts, check its integrity, add the first application user.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "database/database_file.h"
#include "database/schema.h"
#include "platform/com/com_error.h"
#include "platform/data/data_source.h"
#include "platform/data/provider_error.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

constexpr const char* kUsage =
    "usage: tamsel db create [--catalog NAME]        a new database with schema and seed rows\n"
    "                                                (never replaces an existing one)\n"
    "       tamsel db upgrade [--catalog NAME] [--backup]\n"
    "                                                brings a database to the current schema;\n"
    "                                                --backup copies it first to backups/ in\n"
    "                                                the data folder (embedded file only); a\n"
    "                                                database newer than this program is refused\n"
    "                                                and left as it is\n"
    "       tamsel db info [--catalog NAME] [--json] schema version and rows per table\n"
    "       tamsel db check [--catalog NAME]         integrity, references and version\n"
    "       tamsel db create-admin USER [--catalog NAME]\n"
    "                                                the first application user (administrator);\n"
    "                                                the password is asked for, or read from\n"
    "                                                standard input when that is not a terminal\n"
    "       tamsel db alias add|list|delete ...      data-source aliases of server databases\n"
    "       tamsel db copy --from A --to B [--replace]\n"
    "                                                a whole database between engines, verified\n"
    "       (each action above also takes --server ALIAS: the database CATALOG on that\n"
    "        PostgreSQL server instead of the embedded file)\n"
    "The catalog defaults to TamselDB; its file lies in the local machine's data folder.\n";

struct Options {
  std::string action;
  std::string catalog{db::kDefaultCatalog};
  std::string server;  // a server alias; empty for the embedded file
  bool json = false;
  bool backup = false;
  std::vector<std::string> positional;
};

int Usage(const std::string& error) {
  std::fprintf(stderr, "tamsel db: %s\n%s", error.c_str(), kUsage);
  return 1;
}

int Fail(const std::string& error) {
  std::fprintf(stderr, "tamsel db: %s\n", error.c_str());
  return 1;
}

std::optional<Options> ParseOptions(const Args& args, std::string& error) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--catalog") {
      if (i + 1 >= args.size()) {
        error = "--catalog needs a name";
        return std::nullopt;
      }
      options.catalog = args[++i];
    } else if (arg == "--server") {
      if (i + 1 >= args.size()) {
        error = "--server needs an alias name";
        return std::nullopt;
      }
      options.server = args[++i];
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--backup") {
      options.backup = true;
    } else if (arg.starts_with("--")) {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (options.action.empty()) {
      options.action = arg;
    } else {
      options.positional.push_back(arg);
    }
  }
  if (options.catalog.empty() || options.catalog.find_first_of("/\\") != std::string::npos ||
      options.catalog.starts_with(".")) {
    error = "'" + options.catalog + "' is not a catalog name";
    return std::nullopt;
  }
  return options;
}

// The message for a database that cannot be used, in the administrator's terms.
std::string Explain(const std::filesystem::path& file, const std::exception& error) {
  if (const auto* com = dynamic_cast<const platform::com::ComError*>(&error)) {
    if (com->Number() == platform::data::kTimeoutExpired) {
      return "database file " + file.string() + " is locked by another program; try again later";
    }
    if (com->Description().find("corrupt") != std::string::npos) {
      return "database file " + file.string() + " is corrupt or is not a TamselDB database";
    }
    return "database file " + file.string() + ": " + com->Description();
  }
  return error.what();
}

bool RequireExisting(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::exists(file, error)) return true;
  Fail("database file " + file.string() + " does not exist (create it with 'tamsel db create')");
  return false;
}

// One line from the terminal without echo, or from standard input as it comes.
std::optional<std::string> ReadLine(bool terminal, const char* prompt) {
  termios saved{};
  if (terminal) {
    std::fprintf(stderr, "%s", prompt);
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fprintf(stderr, "\n");
  }
  if (!read) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> ReadPassword() {
  const bool terminal = isatty(STDIN_FILENO) != 0;
  auto password = ReadLine(terminal, "Password: ");
  if (!password || password->empty()) {
    Fail("no password given (type it at the prompt or pipe it to standard input)");
    return std::nullopt;
  }
  if (terminal) {
    auto again = ReadLine(true, "Password again: ");
    if (!again || *again != *password) {
      Fail("the passwords differ");
      return std::nullopt;
    }
  }
  return password;
}

int Create(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::exists(file, error)) {
    return Fail("database file " + file.string() + " already exists; nothing was changed");
  }
  db::CreateDatabase(file);
  std::printf("created %s (schema %d)\n", file.string().c_str(), db::kSchemaVersion);
  return 0;
}

void ReportUpgrade(const std::string& label, int from) {
  if (from == db::kSchemaVersion) {
    std::printf("%s is already at schema %d\n", label.c_str(), from);
  } else {
    std::printf("upgraded %s from schema %d to %d\n", label.c_str(), from, db::kSchemaVersion);
  }
}

// Where an upgrade's backup goes: backups/ beside the file, named by catalog, schema and the
// UTC time, so backups of several upgrades never replace one another.
std::filesystem::path BackupFile(const std::filesystem::path& file, int version) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  std::filesystem::path target = file.parent_path() / "backups" /
                                 (file.stem().string() + "-schema" + std::to_string(version) + "-" +
                                  stamp + file.extension().string());
  for (int suffix = 2; std::filesystem::exists(target); ++suffix) {
    target.replace_filename(file.stem().string() + "-schema" + std::to_string(version) + "-" +
                            stamp + "-" + std::to_string(suffix) + file.extension().string());
  }
  return target;
}

int Upgrade(const std::filesystem::path& file, bool backup) {
  const int version = db::ReadDatabaseInfo(file).version;
  if (version > db::kSchemaVersion) {
    return Fail("database file " + file.string() + " has schema " + std::to_string(version) +
                ", newer than this program's schema " + std::to_string(db::kSchemaVersion) +
                "; it was left as it is (install the Tamsel version that made it)");
  }
  if (version == db::kSchemaVersion) {
    ReportUpgrade(file.string(), version);
    return 0;
  }
  if (backup) {
    const std::filesystem::path target = BackupFile(file, version);
    std::filesystem::create_directories(target.parent_path());
    db::BackupDatabase(file, target);
    std::printf("backed up %s to %s\n", file.string().c_str(), target.string().c_str());
  }
  ReportUpgrade(file.string(), db::UpgradeDatabase(file));
  return 0;
}

int PrintInfo(const db::DatabaseInfo& info, bool json) {
  if (json) {
    nlohmann::ordered_json tables = nlohmann::ordered_json::object();
    for (const auto& [name, rows] : info.tables) tables[name] = rows;
    nlohmann::ordered_json out = {
        {"path", info.file.string()}, {"version", info.version}, {"tables", tables}};
    std::printf("%s\n", out.dump(2).c_str());
    return 0;
  }
  std::printf("path     %s\nversion  %d\n", info.file.string().c_str(), info.version);
  for (const auto& [name, rows] : info.tables) {
    std::printf("  %-18s %lld\n", name.c_str(), static_cast<long long>(rows));
  }
  return 0;
}

int ReportProblems(const std::string& label, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (!problems.empty())
    return Fail(label + ": " + std::to_string(problems.size()) + " problem(s) found");
  std::printf("%s: ok\n", label.c_str());
  return 0;
}

// `add` stores the administrator where the action points and returns its key.
template <typename Add>
int CreateAdmin(const Options& options, Add add) {
  if (options.positional.size() != 1) return Usage("create-admin needs exactly one user name");
  const std::string& name = options.positional[0];
  if (name.empty() || name.size() > 50) return Fail("a user name has 1 to 50 characters");
  auto password = ReadPassword();
  if (!password) return 1;
  const std::int64_t id = add(name, *password);
  std::printf("created administrator '%s' (AppUserID %lld)\n", name.c_str(),
              static_cast<long long>(id));
  return 0;
}

int RunOnFile(const Options& options) {
  const std::string& action = options.action;
  const std::filesystem::path file = db::LocalCatalogFile(options.catalog);
  try {
    if (action == "create") return Create(file);
    if (!RequireExisting(file)) return 1;
    if (action == "upgrade") return Upgrade(file, options.backup);
    if (action == "info") return PrintInfo(db::ReadDatabaseInfo(file), options.json);
    if (action == "check") return ReportProblems(file.string(), db::CheckDatabase(file));
    return CreateAdmin(options, [&](const std::string& name, const std::string& password) {
      return db::CreateAdministrator(file, name, password);
    });
  } catch (const std::exception& failure) {
    return Fail(Explain(file, failure));
  }
}

int RunOnServer(const Options& options) {
  const auto target = platform::data::ServerAliasTarget(options.server);
  if (!target) {
    return Fail("'" + options.server +
                "' is not an alias of a server database (see 'tamsel db alias list')");
  }
  // The operating-system user logs in, as Windows authentication does.
  const db::ServerLogin login{*target, options.catalog, "", ""};
  const std::string label = options.server + "/" + options.catalog;
  const std::string& action = options.action;
  if (options.backup) {
    return Fail("--backup copies the embedded file; back up a server database with pg_dump");
  }
  try {
    if (action == "create") {
      db::CreateDatabase(login);
      std::printf("created %s (schema %d)\n", label.c_str(), db::kSchemaVersion);
      return 0;
    }
    if (action == "upgrade") {
      ReportUpgrade(label, db::UpgradeDatabase(login));
      return 0;
    }
    if (action == "info") {
      db::DatabaseInfo info = db::ReadDatabaseInfo(login);
      info.file = label;
      return PrintInfo(info, options.json);
    }
    if (action == "check") return ReportProblems(label, db::CheckDatabase(login));
    return CreateAdmin(options, [&](const std::string& name, const std::string& password) {
      return db::CreateAdministrator(login, name, password);
    });
  } catch (const std::exception& failure) {
    const auto* com = dynamic_cast<const platform::com::ComError*>(&failure);
    return Fail(label + ": " + (com != nullptr ? com->Description() : failure.what()));
  }
}

}  // namespace

int RunDbCommand(const Args& args) {
  if (!args.empty() && args[0] == "alias")
    return RunDbAliasCommand(Args(args.begin() + 1, args.end()));
  if (!args.empty() && args[0] == "copy")
    return RunDbCopyCommand(Args(args.begin() + 1, args.end()));
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::printf("%s", kUsage);
      return 0;
    }
  }
  std::string error;
  const std::optional<Options> options = ParseOptions(args, error);
  if (!options) return Usage(error);
  const std::string& action = options->action;
  if (action.empty()) return Usage("no action given");
  const bool known = action == "create" || action == "upgrade" || action == "info" ||
                     action == "check" || action == "create-admin";
  if (!known) return Usage("unknown action '" + action + "'");
  if (action != "create-admin" && !options->positional.empty()) {
    return Usage("unexpected argument '" + options->positional[0] + "'");
  }
  return options->server.empty() ? RunOnFile(*options) : RunOnServer(*options);
}

}  // namespace tamsel::tools
