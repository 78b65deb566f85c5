// What one LogEntryInsert call is given and what it finds out before writing, and the keys
// among them that later calls of the same write transaction can take from the session's
// memo instead of asking the database again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/data/transaction_memo.h"

namespace tamsel::db {

struct EntryArguments {
  std::int64_t server = 0;
  std::string logName;
  std::int64_t recordNumber = 0;
  std::string generated;
  std::string written;
  std::int64_t eventId = 0;
  std::int64_t eventType = 0;
  std::int64_t categoryNumber = 0;
  std::string categoryName;
  std::string userName;
  std::string sourceName;
  std::string message;
  std::string backupFile;
};

struct EntryProbe {
  // The keys of the names; none for a name not stored yet.
  std::optional<std::int64_t> logType, source, user, category;
  bool serverExists = false;
  bool logRecorded = false;  // the server's log has its ELServerLogType row
  std::optional<std::int64_t> backup;
  // The record's own questions.
  bool stored = false;                   // under its backup already
  std::optional<std::int64_t> unbacked;  // a row without a backup that is the record
  std::optional<bool> anyUnbacked;       // the server's log has rows without a backup
};

class EntryMemo {
 public:
  EntryMemo(platform::data::TransactionMemo& memo, const EntryArguments& entry);

  // Every key the call needs was kept: they are filled into `probe`, the record's own
  // questions are left to ask.
  bool Recall(EntryProbe& probe);
  // Keeps what `probe` knows to exist (and whether the log has rows without a backup); after
  // a Recall, only what the call found out since.
  void Keep(const EntryProbe& probe);
  // A row without a backup was stored for the log.
  void NoteUnbacked();

 private:
  std::string LogKey(char kind) const;

  platform::data::TransactionMemo& memo_;
  const EntryArguments& entry_;
  std::string logType_, source_, user_, category_, server_;
  bool recalled_ = false;
  bool unbackedRecalled_ = false;
};

}  // namespace tamsel::db
