// Helpers of the database writer that do not need the service object: the connection string
// of the settings and the local-time text of a record's time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel::collector {

// "Provider=sqloledb;Data Source=…;Initial Catalog=…;" followed by the Windows-authentication
// or the login part; the values are inserted as they are.
std::string BuildConnectionString(const std::string& server, const std::string& catalog,
                                  int ntAuthentication, const std::string& user,
                                  const std::string& password);

// Seconds since 1970 (UTC) as the collector computer's local time, "%m/%d/%Y %H:%M:%S".
std::string FormatRecordTime(std::uint32_t secondsSince1970);
// The same time in the form dates are stored in, "%Y-%m-%d %H:%M:%S".
std::string FormatIsoRecordTime(std::uint32_t secondsSince1970);

// FormatRecordTime that keeps its last answer: the records of a log come in order of time,
// many within the same second.
class RecordTimeText {
 public:
  const std::string& Of(std::uint32_t secondsSince1970);

 private:
  std::optional<std::uint32_t> seconds_;
  std::string text_;
};

}  // namespace tamsel::collector
