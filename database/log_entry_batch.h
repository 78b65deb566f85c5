// LogEntryInsert for many records at once on the server engine: the records are copied into
// a staging table in one round trip and merged by the procedure's rules (one row per record
// of a backup, names mapped to lookup rows made when new, the log recorded for its server,
// the backup row, records of an unknown server refused), so storing costs a few statements
// per batch instead of a round trip per record.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "platform/data/session.h"

namespace tamsel::db {

// One record as LogEntryInsert takes it; times are ISO text ("YYYY-MM-DD HH:MM:SS").
struct EntryValues {
  std::int64_t server = 0;
  std::string_view logName;
  std::int64_t recordNumber = 0;
  std::string_view timeGenerated, timeWritten;
  std::int64_t eventId = 0, eventType = 0, categoryNumber = 0;
  std::string_view categoryName, userName, sourceName, message, backupFile;
};

class LogEntryBatch {
 public:
  // Records without a backup file are known by their fields instead; they take
  // LogEntryInsert one by one.
  static bool Takes(const EntryValues& values) { return !values.backupFile.empty(); }

  void Add(const EntryValues& values);
  size_t Size() const { return size_; }

  // Stores the batch on `session` (the server engine) inside its open transaction and
  // empties it; returns how many records were refused (their server is not known). On a
  // failure nothing of the batch is stored and the transaction stays usable unless the
  // connection itself was lost; the provider's error is raised.
  long Store(platform::data::Session& session);

 private:
  std::string rows_;  // the staging table's COPY text
  std::set<std::string> months_;
  size_t size_ = 0;
};

}  // namespace tamsel::db
