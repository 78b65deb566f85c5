// Builds a throwaway network for the web application's browser tests and benchmark: the local
// machine WEBHOST with TamselDB, an administrator and a plain user, two servers with three
// logs each, lookup rows and generated entries (one message holding markup, one holding
// quotes, commas and line breaks), and a component folder with the library and AppConfig.xml.
//   tamsel_web_fixture NETWORK COMPONENT_FOLDER LIBRARY [ENTRIES]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/database_file.h"
#include "database/password_hash.h"
#include "platform/data/session.h"
#include "platform/network/network.h"

namespace {

namespace fs = std::filesystem;
using tamsel::platform::data::Session;

constexpr const char* kMachine = "WEBHOST";

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tamsel_web_fixture NETWORK COMPONENT_FOLDER LIBRARY [ENTRIES]\n");
    return 2;
  }
  const fs::path network = fs::absolute(argv[1]);
  const fs::path component = fs::absolute(argv[2]);
  const fs::path library = fs::absolute(argv[3]);
  const long long entries = argc > 4 ? std::atoll(argv[4]) : 300;
  try {
    fs::create_directories(network);
    setenv("TAMSEL_NETWORK", network.c_str(), 1);
    setenv("TAMSEL_MACHINE", kMachine, 1);
    tamsel::platform::network::Network current(network, kMachine);
    for (const char* machine : {kMachine, "SRV01", "SRV02"}) current.CreateMachineFolder(machine);
    tamsel::platform::network::ScopedCurrentNetwork scope(current);
    const fs::path file = tamsel::db::LocalCatalogFile(tamsel::db::kDefaultCatalog);
    fs::create_directories(file.parent_path());
    tamsel::db::CreateDatabase(file);
    tamsel::db::CreateAdministrator(file, "admin", "admin-pass-1");
    auto db = Session::Open(file);
    db->Prepare(
          "INSERT INTO AppUser (AppUserName, AppUserFirstName, AppUserLastName, "
          "AppUserPassword, AppRoleID) VALUES ('viewer', 'Vera', 'Viewer', ?, 2)")
        .BindText(1, tamsel::db::HashPassword("viewer-pass-1"))
        .Run();
    AddLookups(*db);
    AddEntries(*db, entries);

    fs::create_directories(component);
    fs::copy_file(library, component / library.filename(), fs::copy_options::overwrite_existing);
    fs::create_directories(network / "component-logs");
    std::ofstream(component / "AppConfig.xml")
        << "<AppConfig>\n  <DATABASE DBServer=\"(local)\" DBName=\"TamselDB\" "
           "UseNTAuthentication=\"1\" DBUserName=\"tamselweb\" DBPassword=\"\" />\n"
           "  <LOGFILE LogFilePath=\""
        << (network / "component-logs").string() << "\" />\n</AppConfig>\n";
    std::printf("network %s with %lld entries; sign in as admin / admin-pass-1\n", network.c_str(),
                entries);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tamsel_web_fixture: %s\n", error.what());
    return 1;
  }
}
