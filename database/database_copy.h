// Moving a whole TamselDB between databases of either engine: table by table in key order,
// in one transaction on the target, verified by row counts and a checksum per table that
// both engines compute the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database/table_rows.h"
#include "platform/data/session.h"

namespace tamsel::db {

// A table's rows and checksum: 32 hex digits, the sums of the rows' own 128-bit hashes, so
// the order the engines return rows in does not matter.
struct TableTally {
  std::string table;
  std::int64_t rows = 0;
  std::string checksum;
  bool operator==(const TableTally&) const = default;
};

// Every table of the schema, in creation order, read as of one moment; a server's rows come
// `batchRows` at a time.
std::vector<TableTally> TallyTables(platform::data::Session& session,
                                    std::int64_t batchRows = TableRows::kDefaultBatchRows);

// Called as rows are copied: the table, the rows copied of it so far and its total.
using CopyProgress =
    std::function<void(const std::string& table, std::int64_t done, std::int64_t total)>;

// Replaces every row of `to` by the rows of `from` (both of the current schema) and returns
// the source's tallies. Raises std::runtime_error without changing anything when `to` holds
// more than a new database's seed rows and `replace` is false, when either schema is not
// current, or when the copy's tallies differ from the source's (the copy is then rolled
// back). The source is read as of one moment, a server's rows `batchRows` at a time, so
// memory stays bounded whatever the tables' sizes.
std::vector<TableTally> CopyDatabase(platform::data::Session& from, platform::data::Session& to,
                                     bool replace, const CopyProgress& progress,
                                     std::int64_t batchRows = TableRows::kDefaultBatchRows);

}  // namespace tamsel::db
