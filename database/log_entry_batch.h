// LogEntryInsert for many records at once on the server engine: the records are copied into
// a staging table in one round trip and merged by the procedure's rules (one row per record
// of a backup, names mapped to lookup rows made when new, the log recorded for its server,
// the backup row, records of an unknown server refused), so storing costs a few statements
// per batch instead of a round trip per record.
//
// A batch names each backup, category, user and source once, in a small table beside the
// records (which carry its numbers), so the server compares names once per batch rather than
// once per record.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

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
  long Store(platform::data::Session& session) {
    Start(session);
    return Finish();
  }

  // Store in two halves: Start sends the batch and leaves the server merging it, the batch
  // empty again for the next records; Finish waits for the merge and answers as Store does.
  // Nothing else may use the session in between.
  void Start(platform::data::Session& session);
  long Finish();
  bool Merging() const { return merging_ != nullptr; }

 private:
  enum class Kind { Backup, Category, User, Source };
  // The batch's number for a name, made at its first record.
  int NameNumber(Kind kind, const EntryValues& values, std::string_view name);
  void Clear();

  std::string rows_;   // the staging table's COPY text
  std::string names_;  // the names table's COPY text
  std::unordered_map<std::string, int> numbers_;
  std::set<std::string> months_;
  size_t size_ = 0;
  platform::data::Session* merging_ = nullptr;
  long refused_ = 0;
};

}  // namespace tamsel::db
