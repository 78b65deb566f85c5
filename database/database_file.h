// A TamselDB file as an administrator handles it: where a catalog lives, creating one that
// does not exist yet, upgrading, reading its version and row counts, checking integrity, and
// adding the first application user.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/data/server_link.h"

namespace tamsel::db {

using platform::data::ServerLogin;

inline constexpr std::string_view kDefaultCatalog = "TamselDB";

// The database file of a catalog in the local machine's data folder.
std::filesystem::path LocalCatalogFile(std::string_view catalog);

// Creates a database with the schema and seed rows. Never replaces a file: raises when the
// file exists. The file appears complete or not at all.
void CreateDatabase(const std::filesystem::path& file);

// Brings an existing database to the current schema; returns the version it had.
int UpgradeDatabase(const std::filesystem::path& file);

// A consistent copy of the database in `target` (which must not exist), also while another
// process writes to it.
void BackupDatabase(const std::filesystem::path& file, const std::filesystem::path& target);

struct DatabaseInfo {
  std::filesystem::path file;
  int version = 0;
  std::vector<std::pair<std::string, std::int64_t>> tables;  // name -> rows, schema order
};
DatabaseInfo ReadDatabaseInfo(const std::filesystem::path& file);

// Integrity, foreign keys and schema version; the problems found (empty when sound).
std::vector<std::string> CheckDatabase(const std::filesystem::path& file);

// Adds an application user with the administrator role and an Argon2id password hash;
// returns its key. Raises when the name is taken.
std::int64_t CreateAdministrator(const std::filesystem::path& file, std::string_view name,
                                 std::string_view password);

// The same on a server database (PostgreSQL): `login.catalog` is the database. Creating
// one makes the database on the server (never replacing one) and drops it again when the
// schema cannot be built.
void CreateDatabase(const ServerLogin& login);
// The statement that makes the server database `catalog`. Its text compares byte by byte, as
// the embedded engine's does: times and names sort the same on both engines, and the server
// sorts and merges them without the locale's rules, about twice as fast for the sort of a
// page's keys. Letters still fold for names as the cluster's locale folds them.
std::string CreateServerDatabaseStatement(std::string_view catalog);
bool DatabaseExists(const ServerLogin& login);
int UpgradeDatabase(const ServerLogin& login);
DatabaseInfo ReadDatabaseInfo(const ServerLogin& login);
std::vector<std::string> CheckDatabase(const ServerLogin& login);
std::int64_t CreateAdministrator(const ServerLogin& login, std::string_view name,
                                 std::string_view password);

}  // namespace tamsel::db
