// The OLE DB connection string grammar: "key=value" pairs separated by ';', keys compared
// without regard to case, values optionally quoted, and the settings a provider reads.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel::platform::data {

struct ConnectionSettings {
  std::string provider;
  std::string dataSource;
  std::string initialCatalog;
  std::optional<std::string> userId;
  std::string password;
  bool trusted = false;  // TRUSTED_CONNECTION=YES or Integrated Security=SSPI
};

class ConnectionString {
 public:
  // Raises ADO's invalid-argument error for text that is not a connection string (a pair
  // without '=', an unterminated quote).
  static ConnectionString Parse(std::string_view text);

  // The value of a key (any case, synonyms not applied), or nothing.
  std::optional<std::string> Get(std::string_view key) const;

  // The settings, with the usual synonyms (Server, Database, UID, PWD, Integrated Security).
  ConnectionSettings Settings() const;

 private:
  std::map<std::string, std::string> values_;  // lower-case key -> value
};

}  // namespace tamsel::platform::data
