// `tamsel db copy --from A --to B`: moves a whole TamselDB between the embedded file and a
// server database (or between two of either), verified by row counts and a checksum per
// table, with a progress bar on a terminal and plain lines otherwise.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "database/database_copy.h"
#include "database/database_file.h"
#include "platform/com/com_error.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {
namespace {

using platform::data::Session;

constexpr const char* kCopyUsage =
    "usage: tamsel db copy --from SOURCE --to TARGET [--replace]\n"
    "  SOURCE, TARGET: '.' or '(local)' for the embedded file, or a server alias (see\n"
    "  'tamsel db alias list'), each optionally followed by /CATALOG (default TamselDB).\n"
    "  A missing target is created; a target holding more than a new database's seed rows is\n"
    "  refused unless --replace. The copy commits only when every table's row count and\n"
    "  checksum match the source's.\n";

int CopyFail(const std::string& error) {
  std::fprintf(stderr, "tamsel db copy: %s\n", error.c_str());
  return 1;
}

struct Endpoint {
  std::string source;  // "." / "(local)" or an alias
  std::string catalog{db::kDefaultCatalog};
  bool Embedded() const { return source == "." || source == "(local)"; }
  std::string Label() const { return source + "/" + catalog; }
};

std::optional<Endpoint> ParseEndpoint(const std::string& text) {
  Endpoint endpoint;
  const size_t slash = text.find('/');
  endpoint.source = text.substr(0, slash);
  if (slash != std::string::npos) endpoint.catalog = text.substr(slash + 1);
  if (endpoint.source.empty() || endpoint.catalog.empty() || endpoint.catalog.starts_with(".") ||
      endpoint.catalog.find('\\') != std::string::npos) {
    return std::nullopt;
  }
  return endpoint;
}

// Opens an endpoint; a target that does not exist yet is created first.
std::unique_ptr<Session> Open(const Endpoint& endpoint, bool create) {
  if (endpoint.Embedded()) {
    const std::filesystem::path file = db::LocalCatalogFile(endpoint.catalog);
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
      if (!create) throw std::runtime_error("database file " + file.string() + " does not exist");
      db::CreateDatabase(file);
    }
    return Session::Open(file);
  }
  const auto target = platform::data::ServerAliasTarget(endpoint.source);
  if (!target) {
    throw std::runtime_error("'" + endpoint.source +
                             "' is not an alias of a server database (see 'tamsel db alias list')");
  }
  const db::ServerLogin login{*target, endpoint.catalog, "", ""};
  if (create && !db::DatabaseExists(login)) db::CreateDatabase(login);
  return Session::OpenServer(login);
}

// A bar redrawn in place on a terminal; a line per finished table otherwise.
class ProgressDisplay {
 public:
  ProgressDisplay() : terminal_(isatty(STDERR_FILENO) != 0) {}

  void Show(const std::string& table, std::int64_t done, std::int64_t total) {
    if (!terminal_) {
      if (done == total)
        std::fprintf(stderr, "copied %-22s %lld rows\n", table.c_str(),
                     static_cast<long long>(done));
      return;
    }
    constexpr int kWidth = 30;
    const int filled = total > 0 ? static_cast<int>(done * kWidth / total) : kWidth;
    std::fprintf(stderr, "\r%-22s [%s%s] %lld/%lld", table.c_str(),
                 std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(),
                 static_cast<long long>(done), static_cast<long long>(total));
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  bool terminal_;
};

int Copy(const Endpoint& from, const Endpoint& to, bool replace) {
  ProgressDisplay display;
  try {
    auto source = Open(from, false);
    auto target = Open(to, true);
    const std::vector<db::TableTally> tallies =
        db::CopyDatabase(*source, *target, replace,
                         [&](const std::string& table, std::int64_t done, std::int64_t total) {
                           display.Show(table, done, total);
                         });
    std::int64_t rows = 0;
    for (const db::TableTally& tally : tallies) {
      std::printf("  %-22s %10lld  %s\n", tally.table.c_str(), static_cast<long long>(tally.rows),
                  tally.checksum.c_str());
      rows += tally.rows;
    }
    std::printf("copied %s to %s: %zu tables, %lld rows; counts and checksums match\n",
                from.Label().c_str(), to.Label().c_str(), tallies.size(),
                static_cast<long long>(rows));
    return 0;
  } catch (const std::exception& failure) {
    const auto* com = dynamic_cast<const platform::com::ComError*>(&failure);
    return CopyFail(com != nullptr ? com->Description() : failure.what());
  }
}

}  // namespace

int RunDbCopyCommand(const Args& args) {
  std::optional<Endpoint> from, to;
  bool replace = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", kCopyUsage);
      return 0;
    }
    if (arg == "--replace") {
      replace = true;
    } else if ((arg == "--from" || arg == "--to") && i + 1 < args.size()) {
      auto endpoint = ParseEndpoint(args[++i]);
      if (!endpoint) return CopyFail("'" + args[i] + "' is not a database\n" + kCopyUsage);
      (arg == "--from" ? from : to) = endpoint;
    } else {
      return CopyFail("unexpected argument '" + arg + "'\n" + kCopyUsage);
    }
  }
  if (!from || !to) return CopyFail(std::string("--from and --to are needed\n") + kCopyUsage);
  if (from->Label() == to->Label() ||
      (from->Embedded() && to->Embedded() && from->catalog == to->catalog)) {
    return CopyFail("the source and the target are the same database");
  }
  return Copy(*from, *to, replace);
}

}  // namespace tamsel::tools
