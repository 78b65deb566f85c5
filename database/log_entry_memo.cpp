// EntryMemo: LogEntryInsert's keys in the session's transaction memo. Only what exists is
// kept (a name, the server, the log's row, the backup), so the memo never claims a row that
// a later call would have to add; whether a log has rows without a backup is kept both ways,
// and the call that stores such a row says so.
#include "database/log_entry_memo.h"

namespace tamsel::db {
namespace {

// No backup: the call names none and none is stored under the empty name.
constexpr std::int64_t kNoBackup = -1;

std::string Key(char kind, const std::string& text) {
  std::string key(1, kind);
  key += text;
  return key;
}

}  // namespace

EntryMemo::EntryMemo(platform::data::TransactionMemo& memo, const EntryArguments& entry)
    : memo_(memo),
      entry_(entry),
      logType_(Key('L', entry.logName)),
      source_(Key('S', entry.sourceName)),
      user_(Key('U', entry.userName)),
      category_(Key('C', entry.categoryName)),
      server_(Key('V', std::to_string(entry.server))) {}

// Keys that hold the server, the log type's key and a kind: the log's own rows.
std::string EntryMemo::LogKey(char kind) const {
  std::string key = server_;
  key += '\x1f';
  key += kind;
  return key;
}

bool EntryMemo::Recall(EntryProbe& probe) {
  if (memo_.Size() == 0) return false;
  probe.logType = memo_.Find(logType_);
  probe.source = memo_.Find(source_);
  probe.user = memo_.Find(user_);
  probe.category = memo_.Find(category_);
  if (!probe.logType || !probe.source || !probe.user || !probe.category) return false;
  if (!memo_.Find(server_)) return false;
  probe.serverExists = true;
  const std::string log = LogKey('R') + std::to_string(*probe.logType);
  if (!memo_.Find(log)) return false;
  probe.logRecorded = true;
  const std::optional<std::int64_t> backup = memo_.Find(log + '\x1f' + entry_.backupFile);
  if (!backup) return false;
  if (*backup != kNoBackup) probe.backup = *backup;
  if (auto any = memo_.Find(LogKey('N') + std::to_string(*probe.logType))) {
    probe.anyUnbacked = *any != 0;
  }
  recalled_ = true;
  unbackedRecalled_ = probe.anyUnbacked.has_value();
  return true;
}

void EntryMemo::Keep(const EntryProbe& probe) {
  if (recalled_) {
    // Every key came from the memo; only the log's answer about rows without a backup may
    // be new.
    if (!unbackedRecalled_ && probe.anyUnbacked) {
      memo_.Keep(LogKey('N') + std::to_string(*probe.logType), *probe.anyUnbacked ? 1 : 0);
      unbackedRecalled_ = true;
    }
    return;
  }
  if (probe.logType) memo_.Keep(logType_, *probe.logType);
  if (probe.source) memo_.Keep(source_, *probe.source);
  if (probe.user) memo_.Keep(user_, *probe.user);
  if (probe.category) memo_.Keep(category_, *probe.category);
  if (probe.serverExists) memo_.Keep(server_, 1);
  if (!probe.logType) return;
  const std::string type = std::to_string(*probe.logType);
  if (probe.anyUnbacked) memo_.Keep(LogKey('N') + type, *probe.anyUnbacked ? 1 : 0);
  if (!probe.logRecorded) return;
  const std::string log = LogKey('R') + type;
  memo_.Keep(log, 1);
  if (probe.backup) {
    memo_.Keep(log + '\x1f' + entry_.backupFile, *probe.backup);
  } else if (entry_.backupFile.empty()) {
    memo_.Keep(log + '\x1f', kNoBackup);
  }
}

void EntryMemo::NoteUnbacked() {
  if (auto type = memo_.Find(logType_)) memo_.Keep(LogKey('N') + std::to_string(*type), 1);
}

}  // namespace tamsel::db
