// Administration of TamselDB files: creation without overwriting, upgrade, info, check and
// the first administrator.
#include "database/database_file.h"

#include <unistd.h>

#include "database/password_hash.h"
#include "database/schema.h"
#include "platform/data/data_source.h"
#include "platform/data/provider_error.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"

namespace tamsel::db {
namespace {

using platform::data::Session;

// Administrative commands should say "locked" within seconds, not wait half a minute.
constexpr int kAdminBusyMilliseconds = 3000;

std::unique_ptr<Session> OpenExisting(const std::filesystem::path& file) {
  auto session = Session::Open(file, false, kAdminBusyMilliseconds);
  return session;
}

std::unique_ptr<Session> OpenServer(const ServerLogin& login) { return Session::OpenServer(login); }

DatabaseInfo ReadInfo(Session& session) {
  DatabaseInfo info;
  info.file = session.File();
  info.version = SchemaVersionOf(session);
  for (const std::string& table : TableNames(session)) {
    const bool quoted = session.GetEngine() == platform::data::Engine::Embedded;
    auto count = session.Prepare("SELECT COUNT(*) FROM " + (quoted ? "\"" + table + "\"" : table));
    count.Step();
    info.tables.emplace_back(table, count.Int64(0));
  }
  return info;
}

void CheckVersion(Session& session, std::vector<std::string>& problems) {
  const int version = SchemaVersionOf(session);
  if (version != kSchemaVersion) {
    problems.push_back("schema version " + std::to_string(version) + ", expected " +
                       std::to_string(kSchemaVersion) + " (run 'tamsel db upgrade')");
  }
}

// The server's per-day counts of LogEntry (schema 9) against its rows: a load made with the
// triggers disabled leaves them wrong, and page views would show wrong totals.
void CheckEntryDays(Session& session, std::vector<std::string>& problems) {
  if (SchemaVersionOf(session) < 9) return;
  auto differing = session.Prepare(
      "SELECT COUNT(*) FROM ((SELECT left(TimeGenerated, 10), ELServerID, COUNT(*) FROM LogEntry "
      "GROUP BY 1, 2 EXCEPT SELECT Day, ELServerID, Entries FROM tamsel_entry_days) UNION ALL "
      "(SELECT Day, ELServerID, Entries FROM tamsel_entry_days WHERE Entries <> 0 EXCEPT "
      "SELECT left(TimeGenerated, 10), ELServerID, COUNT(*) FROM LogEntry GROUP BY 1, 2)) d");
  differing.Step();
  if (const std::int64_t days = differing.Int64(0); days > 0) {
    problems.push_back("the kept counts of LogEntry differ from its rows on " +
                       std::to_string(days) +
                       " server days (run 'SELECT tamsel_recount_entries()' on the database)");
  }
}

std::int64_t AddAdministrator(Session& session, std::string_view name, std::string_view password) {
  if (SchemaVersionOf(session) < kSchemaVersion) {
    throw std::runtime_error("the database has an older schema; run 'tamsel db upgrade' first");
  }
  {
    auto taken = session.Prepare("SELECT 1 FROM AppUser WHERE AppUserName = ?");
    taken.BindText(1, name);
    if (taken.Step()) throw std::runtime_error("user '" + std::string(name) + "' already exists");
  }
  auto insert = session.Prepare(
      "INSERT INTO AppUser (AppUserName, AppUserPassword, AppRoleID) VALUES (?, ?, 1)");
  insert.BindText(1, name).BindText(2, HashPassword(password)).Run();
  return session.LastInsertRowId();
}

// A server database name as an identifier of the server's SQL.
std::string QuotedName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::filesystem::path LocalCatalogFile(std::string_view catalog) {
  const std::filesystem::path folder = platform::data::DataFolder("(local)");
  return platform::data::CatalogFile(folder, catalog);
}

void CreateDatabase(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::exists(file, error)) {
    throw std::runtime_error("database file " + file.string() + " already exists");
  }
  std::filesystem::create_directories(file.parent_path(), error);
  // Build the schema in a file of our own, then link it into place: link() refuses an
  // existing name, so a database that appeared meanwhile is never replaced, and a failure
  // half-way leaves no half-made database under the real name.
  const std::filesystem::path building =
      file.parent_path() / (file.filename().string() + ".creating." + std::to_string(getpid()));
  std::filesystem::remove(building, error);
  try {
    {
      auto session = Session::Open(building, true, kAdminBusyMilliseconds);
      UpgradeSchema(*session);
      session->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::filesystem::create_hard_link(building, file);
  } catch (const std::filesystem::filesystem_error&) {
    std::filesystem::remove(building, error);
    throw std::runtime_error("database file " + file.string() + " already exists");
  } catch (...) {
    std::filesystem::remove(building, error);
    std::filesystem::remove(building.string() + "-wal", error);
    std::filesystem::remove(building.string() + "-shm", error);
    throw;
  }
  std::filesystem::remove(building, error);
  std::filesystem::remove(building.string() + "-wal", error);
  std::filesystem::remove(building.string() + "-shm", error);
}

int UpgradeDatabase(const std::filesystem::path& file) {
  auto session = OpenExisting(file);
  return UpgradeSchema(*session);
}

void BackupDatabase(const std::filesystem::path& file, const std::filesystem::path& target) {
  auto session = OpenExisting(file);
  // VACUUM INTO reads one snapshot, so a writer meanwhile changes nothing in the copy.
  session->Prepare("VACUUM INTO ?").BindText(1, target.string()).Run();
}

DatabaseInfo ReadDatabaseInfo(const std::filesystem::path& file) {
  auto session = OpenExisting(file);
  DatabaseInfo info = ReadInfo(*session);
  info.file = file;
  return info;
}

std::vector<std::string> CheckDatabase(const std::filesystem::path& file) {
  auto session = OpenExisting(file);
  std::vector<std::string> problems;
  auto integrity = session->Prepare("PRAGMA integrity_check");
  while (integrity.Step()) {
    if (integrity.Text(0) != "ok") problems.push_back(integrity.Text(0));
  }
  auto keys = session->Prepare("PRAGMA foreign_key_check");
  while (keys.Step()) {
    problems.push_back("row " + keys.Text(1) + " of " + keys.Text(0) +
                       " refers to a missing row of " + keys.Text(2));
  }
  CheckVersion(*session, problems);
  return problems;
}

std::int64_t CreateAdministrator(const std::filesystem::path& file, std::string_view name,
                                 std::string_view password) {
  auto session = OpenExisting(file);
  return AddAdministrator(*session, name, password);
}

bool DatabaseExists(const ServerLogin& login) {
  ServerLogin maintenance = login;
  maintenance.catalog = "postgres";
  auto server = OpenServer(maintenance);
  auto exists = server->Prepare("SELECT 1 FROM pg_database WHERE datname = ?");
  exists.BindText(1, login.catalog);
  return exists.Step();
}

std::string CreateServerDatabaseStatement(std::string_view catalog) {
  // Another collation than template1's needs the pristine template.
  return "CREATE DATABASE " + QuotedName(catalog) + " TEMPLATE template0 LC_COLLATE 'C'";
}

void CreateDatabase(const ServerLogin& login) {
  if (DatabaseExists(login)) {
    throw std::runtime_error("database " + login.catalog + " already exists on the server");
  }
  {
    ServerLogin maintenance = login;
    maintenance.catalog = "postgres";
    OpenServer(maintenance)->Execute(CreateServerDatabaseStatement(login.catalog));
  }
  try {
    auto session = OpenServer(login);
    UpgradeSchema(*session);
  } catch (...) {
    ServerLogin maintenance = login;
    maintenance.catalog = "postgres";
    try {
      OpenServer(maintenance)->Execute("DROP DATABASE IF EXISTS " + QuotedName(login.catalog));
    } catch (...) {
    }
    throw;
  }
}

int UpgradeDatabase(const ServerLogin& login) { return UpgradeSchema(*OpenServer(login)); }

DatabaseInfo ReadDatabaseInfo(const ServerLogin& login) { return ReadInfo(*OpenServer(login)); }

std::vector<std::string> CheckDatabase(const ServerLogin& login) {
  // The server keeps its pages and references sound itself; what can be wrong is the schema.
  std::vector<std::string> problems;
  auto session = OpenServer(login);
  CheckVersion(*session, problems);
  CheckEntryDays(*session, problems);
  return problems;
}

std::int64_t CreateAdministrator(const ServerLogin& login, std::string_view name,
                                 std::string_view password) {
  return AddAdministrator(*OpenServer(login), name, password);
}

}  // namespace tamsel::db
