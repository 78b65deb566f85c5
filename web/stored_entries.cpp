// The counts are grouped over LogEntry alone and the names joined to the groups: every
// column the outer query shows is then grouped or aggregated, as the server engine requires,
// and neither engine joins a name to each entry it counts.
#include "web/stored_entries.h"

#include "platform/com/com_error.h"
#include "platform/data/connection.h"

namespace tamsel::web {

namespace {

constexpr const char* kStoredEntriesQuery =
    "SELECT s.ELServerName AS ServerName, lt.LogTypeName AS LogName, c.Entries AS Entries, "
    "c.Newest AS Newest FROM (SELECT ELServerID, LogTypeID, COUNT(*) AS Entries, "
    "MAX(TimeGenerated) AS Newest FROM LogEntry GROUP BY ELServerID, LogTypeID) c "
    "JOIN ELServer s ON s.ELServerID = c.ELServerID "
    "JOIN LogType lt ON lt.LogTypeID = c.LogTypeID ORDER BY s.ELServerName, lt.LogTypeName";

}  // namespace

nlohmann::json StoredEntries(const std::string& connectionString, std::string& error) {
  nlohmann::json servers = nlohmann::json::array();
  try {
    platform::data::Connection connection;
    connection.Open(connectionString);
    platform::data::Recordset rows = connection.Execute(kStoredEntriesQuery);
    for (; !rows.IsEOF(); rows.MoveNext()) {
      const std::string server = rows["ServerName"].CStr();
      if (servers.empty() || servers.back()["name"] != server) {
        servers.push_back(
            {{"name", server}, {"logs", nlohmann::json::array()}, {"newest", ""}, {"total", 0}});
      }
      nlohmann::json& entry = servers.back();
      const std::string newest = rows["Newest"].CStr();
      const long long count = std::stoll(rows["Entries"].CStr());
      entry["logs"].push_back({{"name", rows["LogName"].CStr()},
                               {"entries", std::to_string(count)},
                               {"newest", newest}});
      if (newest > entry["newest"].get<std::string>()) entry["newest"] = newest;
      entry["total"] = entry["total"].get<long long>() + count;
    }
    connection.Close();
  } catch (const platform::com::ComError& failure) {
    error = "The stored entries could not be counted: " + failure.Description();
  }
  for (auto& server : servers) server["total"] = std::to_string(server["total"].get<long long>());
  return servers;
}

}  // namespace tamsel::web
