// Where a data source and catalog live: data-source names resolve through the client alias
// table in the local machine's registry to a machine, whose data folder holds one embedded
// database file per catalog.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::data {

// The registry key (below HKEY_LOCAL_MACHINE) where SQL Server clients keep their aliases:
// value name = alias, data = "DBMSSOCN,SERVER[,port]" or "SERVER".
inline constexpr std::string_view kAliasKey = "SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";

// Whether an alias value names a server database: a libpq URI ("postgresql://…",
// "postgres://…") or a "key=value" string ("host=/socket/dir dbname=…").
bool IsServerAliasValue(std::string_view value);

// Writes the alias `name` -> `value` into the local machine's table, replacing one of that
// name; false when the table cannot be written.
bool WriteAlias(std::string_view name, std::string_view value);

// The libpq target of a data-source name that is an alias of a server database; nullopt
// for every other name (those open the embedded engine).
std::optional<std::string> ServerAliasTarget(std::string_view dataSource);

// The machine a data-source name designates: the alias target when the name is an alias,
// else the name itself; "", "(local)", ".", "localhost" and the local machine's name (each
// with or without an "\instance" suffix) give the local machine's name. Upper case.
std::string ResolveDataSourceMachine(std::string_view dataSource);

// "<state folder of the machine>/data". Raises the provider's "server not found" error
// (0x80004005) when the machine is not reachable.
std::filesystem::path DataFolder(std::string_view dataSource);

// The database file of a catalog in a data folder; an existing file is matched without
// regard to case, as SQL Server matches catalog names.
std::filesystem::path CatalogFile(const std::filesystem::path& dataFolder,
                                  std::string_view catalog);

}  // namespace tamsel::platform::data
