// The one table of differences between the embedded engine's SQL and the server engine's
// (PostgreSQL): placeholders, upsert, date and format functions, column types and the
// catalog queries. Everything in database/ is written once, in the embedded form; the
// server provider passes it through these rewrites.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::platform::data {

enum class Engine { Embedded, Server };

// A statement for the server: "?" and "?N" become "$N" (a bare "?" takes the highest
// number so far plus one, as the embedded engine numbers them), and the function and
// upsert forms are rewritten.
std::string ToServerStatement(std::string_view sql);

// The two statements of a page over every entry sorted by time, when LogEntry's rows are
// counted per day (the server's tamsel_entry_days, kept by triggers): the count sums the
// days instead of walking every row, and a page deep in the table starts its walk at the day
// that holds its first row instead of walking every row before it. The answers are the
// statements' own. `sql` is in the server's dialect; any other statement comes back as is.
std::string WithEntryDayCounts(std::string_view sql);

// A schema script for the server: key, case-insensitive text and integer columns, tables
// without rowid, and LogEntry partitioned by month of TimeGenerated.
std::string ToServerSchema(std::string_view script);

// The statements that make a new server database ready for ToServerSchema scripts: the
// case-insensitive text type, the key function and the table of identifier spellings.
std::string_view ServerSchemaPrologue();

// The mixed-case identifiers of a script, by their lower-case form (the server folds
// unquoted names to lower case; results show them as the script spelled them).
std::map<std::string, std::string> IdentifierSpellings(std::string_view script);

// Per-engine texts of the catalog queries the schema code needs.
struct CatalogQueries {
  const char* tableExists;  // one parameter: the table name; a row when it exists
  const char* tableNames;   // table names in creation order
  const char* primaryKey;   // one parameter: the table name; its key's columns in key order
};
const CatalogQueries& QueriesFor(Engine engine);

// The monthly partition of LogEntry that holds `isoTime` ("YYYY-MM-..."): its name and the
// statement creating it when missing.
std::string MonthPartitionName(std::string_view isoTime);
std::string MonthPartitionStatement(std::string_view isoTime);

// The length of the first statement of `sql`: up to its top-level semicolon (not included)
// or the end.
size_t FirstStatementLength(std::string_view sql);

// Splits a script into statements at top-level semicolons (quotes respected), dropping
// blank ones.
std::vector<std::string> SplitStatements(std::string_view script);

}  // namespace tamsel::platform::data
