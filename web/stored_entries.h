// What the status page shows of the stored entries: per server and log, how many and the
// newest, read through platform/data on either engine.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace tamsel::web {

// Servers by name, each with its logs by name ({name, entries, newest}), its total and its
// newest entry; on a failure the servers read so far and the reason in `error`.
nlohmann::json StoredEntries(const std::string& connectionString, std::string& error);

}  // namespace tamsel::web
