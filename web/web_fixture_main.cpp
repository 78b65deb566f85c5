// Builds a throwaway network for the web application's browser tests and benchmark: the local
// machine WEBHOST with TamselDB, an administrator and a plain user, two servers with three
// logs each, lookup rows and generated entries (one message holding markup, one holding
// quotes, commas and line breaks), and a component folder with the library and AppConfig.xml.
// With --server the database is DATABASE on that PostgreSQL server (made anew), reached
// through the data-source alias WEBPG of WEBHOST; the rows are the same on either engine.
//   tamsel_web_fixture NETWORK COMPONENT_FOLDER LIBRARY [ENTRIES] [--server CONNINFO DATABASE]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/database_file.h"
#include "database/password_hash.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/network/network.h"

namespace {

namespace fs = std::filesystem;
using tamsel::platform::data::ServerLogin;
using tamsel::platform::data::Session;

constexpr const char* kMachine = "WEBHOST";
constexpr const char* kServerAlias = "WEBPG";

struct Options {
  fs::path network;
  fs::path component;
  fs::path library;
  long long entries = 300;
  std::optional<ServerLogin> server;  // the server database; none for the embedded file
};

std::string LocalIso(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

void AddLookups(Session& db) {
  db.Execute(
      "INSERT INTO ELServer (ELServerID, ELServerName, ELServerDescription, Status) VALUES "
      "(1, 'SRV01', 'Web shop front end', 1), (2, 'SRV02', 'Database server', 1);"
      "INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES "
      "(1, 'Application'), (2, 'System'), (3, 'Security');"
      "INSERT INTO ELServerLogType (ELServerID, LogTypeID) VALUES "
      "(1, 1), (1, 2), (1, 3), (2, 1), (2, 2), (2, 3);"
      "INSERT INTO ELSource (ELSourceName) VALUES ('Shop'), ('Disk'), "
      "('Service Control Manager'), ('Security');"
      "INSERT INTO EventCategory (EventCategoryName) VALUES ('Orders'), ('Storage'), "
      "('Logon');"
      "INSERT INTO ELUser (ELUserName) VALUES ('SHOP\\alice'), ('NT AUTHORITY\\SYSTEM');"
      // One clean pass and one that found a wrapped log, for the status page's ledger.
      "INSERT INTO CollectionLedger (ELServerID, LogName, PassStart, PassEnd, Outcome, "
      "RecordsRead, RecordsStored, FirstRecord, LastRecord, NextExpected, GapKind, GapSize) "
      "VALUES (1, 'Application', '2024-01-01 10:00:00', '2024-01-01 10:00:05', 'read', 12, 12, "
      "1, 12, 1, '', 0), (2, 'System', '2024-01-01 10:00:05', '2024-01-01 10:00:09', 'read', "
      "30, 30, 41, 70, 1, 'wrapped', 40);");
}

int Id(Session& db, const std::string& sql) {
  auto statement = db.Prepare(sql);
  statement.Step();
  return static_cast<int>(statement.Int64(0));
}

void AddEntries(Session& db, long long count) {
  const int sources[] = {Id(db, "SELECT ELSourceID FROM ELSource WHERE ELSourceName='Shop'"),
                         Id(db, "SELECT ELSourceID FROM ELSource WHERE ELSourceName='Disk'"),
                         Id(db,
                            "SELECT ELSourceID FROM ELSource WHERE ELSourceName="
                            "'Service Control Manager'"),
                         Id(db, "SELECT ELSourceID FROM ELSource WHERE ELSourceName='Security'")};
  const int categories[] = {
      Id(db, "SELECT EventCategoryID FROM EventCategory WHERE EventCategoryName='Orders'"),
      Id(db, "SELECT EventCategoryID FROM EventCategory WHERE EventCategoryName='Storage'"),
      Id(db, "SELECT EventCategoryID FROM EventCategory WHERE EventCategoryName='Logon'")};
  const int users[] = {Id(db, "SELECT ELUserID FROM ELUser WHERE ELUserName='SHOP\\alice'"),
                       Id(db, "SELECT ELUserID FROM ELUser WHERE ELUserName LIKE 'NT AUTH%'")};
  const int types[] = {4, 4, 4, 2, 1, 8, 16};
  const std::time_t now = std::time(nullptr);
  // On the server every month the entries fall in needs its partition; they span hours.
  db.EnsureEntryMonth(LocalIso(now - 7 * count));
  db.EnsureEntryMonth(LocalIso(now));
  db.Execute("BEGIN");
  auto insert = db.Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage, CreatedAt) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (long long i = 0; i < count; ++i) {
    const int server = 1 + static_cast<int>(i % 2);
    const int log = 1 + static_cast<int>((i / 2) % 3);
    const int kind = static_cast<int>(i % 4);
    // Entries every 7 seconds going back from now, the newest first in key order reversed.
    const std::string when = LocalIso(now - 7 * (count - i));
    std::string message = "Order " + std::to_string(100000 + i) + " processed for customer " +
                          std::to_string(i % 977) + ".<br>Payment confirmed.";
    if (i == count - 1) message = "<script>alert('xss')</script> sent by a form<br>second line";
    if (i == count - 2) message = "Disk \"D:\" is full, 0 bytes free<br>clean up, please";
    insert.BindInt64(1, server)
        .BindInt64(2, log)
        .BindInt64(3, i + 1)
        .BindText(4, when)
        .BindText(5, when)
        .BindInt64(6, 100 + static_cast<int>(i % 11))
        .BindInt64(7, types[i % 7])
        .BindInt64(8, categories[kind % 3])
        .BindInt64(9, users[i % 2])
        .BindInt64(10, sources[kind])
        .BindText(11, message)
        .BindText(12, when);
    insert.Run();
    insert.Reset();
  }
  db.Execute("COMMIT");
}

// The rows every run shares, on the engine `db` is a session of.
void AddRows(Session& db, long long entries) {
  db.Prepare(
        "INSERT INTO AppUser (AppUserName, AppUserFirstName, AppUserLastName, "
        "AppUserPassword, AppRoleID) VALUES ('viewer', 'Vera', 'Viewer', ?, 2)")
      .BindText(1, tamsel::db::HashPassword("viewer-pass-1"))
      .Run();
  AddLookups(db);
  AddEntries(db, entries);
}

// The local machine's alias of the server database, as `tamsel db alias add` writes it.
void SetServerAlias(const std::string& target) {
  if (!tamsel::platform::data::WriteAlias(kServerAlias, target)) {
    throw std::runtime_error("cannot write the data-source alias");
  }
  tamsel::platform::data::SessionPool::Instance().Clear();
}

// TamselDB with its schema, seed rows and administrator, on the engine the options name; a
// server database of the same name left by an earlier run is dropped first.
std::unique_ptr<Session> MakeDatabase(const Options& options) {
  if (!options.server) {
    const fs::path file = tamsel::db::LocalCatalogFile(tamsel::db::kDefaultCatalog);
    fs::create_directories(file.parent_path());
    tamsel::db::CreateDatabase(file);
    tamsel::db::CreateAdministrator(file, "admin", "admin-pass-1");
    return Session::Open(file);
  }
  const ServerLogin& login = *options.server;
  if (tamsel::db::DatabaseExists(login)) {
    ServerLogin maintenance = login;
    maintenance.catalog = "postgres";
    Session::OpenServer(maintenance)
        ->Execute("DROP DATABASE \"" + login.catalog + "\" WITH (FORCE)");
  }
  tamsel::db::CreateDatabase(login);
  tamsel::db::CreateAdministrator(login, "admin", "admin-pass-1");
  SetServerAlias(login.target);
  return Session::OpenServer(login);
}

void WriteComponent(const Options& options) {
  fs::create_directories(options.component);
  fs::copy_file(options.library, options.component / options.library.filename(),
                fs::copy_options::overwrite_existing);
  const fs::path logs = options.network / "component-logs";
  fs::create_directories(logs);
  const std::string server = options.server ? kServerAlias : "(local)";
  const std::string catalog =
      options.server ? options.server->catalog : std::string(tamsel::db::kDefaultCatalog);
  std::ofstream(options.component / "AppConfig.xml")
      << "<AppConfig>\n  <DATABASE DBServer=\"" << server << "\" DBName=\"" << catalog
      << "\" UseNTAuthentication=\"1\" DBUserName=\"tamselweb\" DBPassword=\"\" />\n"
         "  <LOGFILE LogFilePath=\""
      << logs.string() << "\" />\n</AppConfig>\n";
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  std::vector<std::string> positional;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--server") {
      // The name is quoted into the statement that drops an earlier run's database.
      if (i + 2 >= argc || std::string_view(argv[i + 2]).find('"') != std::string_view::npos) {
        return std::nullopt;
      }
      options.server = ServerLogin{argv[i + 1], argv[i + 2], "", ""};
      i += 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() < 3 || positional.size() > 4) return std::nullopt;
  options.network = fs::absolute(positional[0]);
  options.component = fs::absolute(positional[1]);
  options.library = fs::absolute(positional[2]);
  if (positional.size() > 3) options.entries = std::atoll(positional[3].c_str());
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = ParseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: tamsel_web_fixture NETWORK COMPONENT_FOLDER LIBRARY [ENTRIES] "
                 "[--server CONNINFO DATABASE]\n");
    return 2;
  }
  try {
    const fs::path& network = options->network;
    fs::create_directories(network);
    setenv("TAMSEL_NETWORK", network.c_str(), 1);
    setenv("TAMSEL_MACHINE", kMachine, 1);
    tamsel::platform::network::Network current(network, kMachine);
    for (const char* machine : {kMachine, "SRV01", "SRV02"}) current.CreateMachineFolder(machine);
    tamsel::platform::network::ScopedCurrentNetwork scope(current);
    AddRows(*MakeDatabase(*options), options->entries);
    WriteComponent(*options);
    std::printf("network %s with %lld entries on the %s engine; sign in as admin / admin-pass-1\n",
                network.c_str(), options->entries, options->server ? "server" : "embedded");
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tamsel_web_fixture: %s\n", error.what());
    return 1;
  }
}
