// TamselDB's schema: the tables, keys and indexes, the seed rows, and the numbered steps
// that create a database from nothing or upgrade an older one.
#pragma once

#include <string>
#include <vector>

#include "platform/data/session.h"

namespace tamsel::db {

// The schema version a new database gets, and the text VersionInfoGet reports.
inline constexpr int kSchemaVersion = 9;
std::string VersionText();

// One upgrade step: the script that takes a database from version `to - 1` to `to`. A step
// for the server engine alone shapes what that engine stores differently; the embedded
// engine records its version without running it.
struct SchemaStep {
  int to;
  const char* script;
  bool serverOnly = false;
};
const std::vector<SchemaStep>& SchemaSteps();

// The version recorded in the database; 0 for a file without the version table.
int SchemaVersionOf(platform::data::Session& session);

// Applies every step above the database's version, in one transaction, and records the new
// version and version text. Returns the version it started from. A database newer than
// this program is refused (provider error), so an old tool never "upgrades" it backwards.
int UpgradeSchema(platform::data::Session& session,
                  const std::vector<SchemaStep>& steps = SchemaSteps());

// The tables of the schema, in creation order.
std::vector<std::string> TableNames(platform::data::Session& session);

}  // namespace tamsel::db
