// The ledger row of one log's pass, written through CollectionLedgerAdd.
#include "collector/ledger_recorder.h"

#include <exception>

#include "platform/com/variant.h"
#include "platform/data/command.h"

namespace tamsel::collector {

namespace data = platform::data;
using platform::com::Variant;

namespace {

struct Row {
  int serverId = 0;
  std::string logName;
  std::string start;
  std::string end;
  std::string outcome;
  long read = 0, stored = 0, excluded = 0, notStored = 0, backupsKept = 0;
  Variant first, last, firstTime, lastTime;
  bool cleared = false;
};

void ExecuteRow(const data::Connection& connection, const Row& row) {
  data::Command command;
  command.SetActiveConnection(connection);
  command.SetCommandType(data::adCmdStoredProc);
  command.SetCommandText("CollectionLedgerAdd");
  auto add = [&](const char* name, long type, Variant value) {
    command.GetParameters().Append(
        command.CreateParameter(name, type, data::adParamInput, 255, std::move(value)));
  };
  add("@ELServerID", data::adInteger, Variant(row.serverId));
  add("@LogName", data::adVarChar, Variant(row.logName));
  add("@PassStart", data::adVarChar, Variant(row.start));
  add("@PassEnd", data::adVarChar, Variant(row.end));
  add("@Outcome", data::adVarChar, Variant(row.outcome));
  add("@RecordsRead", data::adInteger, Variant(static_cast<std::int32_t>(row.read)));
  add("@RecordsStored", data::adInteger, Variant(static_cast<std::int32_t>(row.stored)));
  add("@RecordsExcluded", data::adInteger, Variant(static_cast<std::int32_t>(row.excluded)));
  add("@RecordsNotStored", data::adInteger, Variant(static_cast<std::int32_t>(row.notStored)));
  add("@BackupsKept", data::adInteger, Variant(static_cast<std::int32_t>(row.backupsKept)));
  add("@FirstRecord", data::adBigInt, row.first);
  add("@LastRecord", data::adBigInt, row.last);
  add("@FirstTime", data::adVarChar, row.firstTime);
  add("@LastTime", data::adVarChar, row.lastTime);
  add("@Cleared", data::adInteger, Variant(row.cleared ? 1 : 0));
  command.Execute(data::adExecuteNoRecords);
}

// The row is committed on its own (the procedure takes the write lock as it begins), or with a
// transaction the pass left open.
bool WriteRow(const data::Connection& connection, const Row& row) {
  try {
    ExecuteRow(connection, row);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string LedgerTime(std::time_t seconds) {
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

void LedgerRecorder::Begin(int serverId, const std::string& logName, std::time_t now) {
  const bool enabled = enabled_;
  *this = LedgerRecorder();
  enabled_ = enabled;
  serverId_ = serverId;
  logName_ = logName;
  start_ = now;
}

void LedgerRecorder::AddCounts(long stored, long excluded, long notStored) {
  stored_ += stored;
  excluded_ += excluded;
  notStored_ += notStored;
}

bool LedgerRecorder::Write(const data::Connection& connection, const std::string& outcome,
                           std::time_t now) const {
  if (!enabled_) return true;
  Row row;
  row.serverId = serverId_;
  row.logName = logName_;
  row.start = LedgerTime(start_);
  row.end = LedgerTime(now);
  row.outcome = outcome;
  row.stored = stored_;
  row.excluded = excluded_;
  row.notStored = notStored_;
  row.read = stored_ + excluded_ + notStored_;
  row.backupsKept = backupsKept_;
  row.cleared = cleared_;
  if (haveRecords_) {
    row.first = Variant(static_cast<double>(first_));
    row.last = Variant(static_cast<double>(last_));
    row.firstTime = Variant(LedgerTime(firstTime_));
    row.lastTime = Variant(LedgerTime(lastTime_));
  } else {
    row.first = row.last = row.firstTime = row.lastTime = Variant::Null();
  }
  return WriteRow(connection, row);
}

bool LedgerRecorder::WriteOffline(const data::Connection& connection, int serverId,
                                  std::time_t now) {
  Row row;
  row.serverId = serverId;
  row.start = row.end = LedgerTime(now);
  row.outcome = "offline";
  row.first = row.last = row.firstTime = row.lastTime = Variant::Null();
  return WriteRow(connection, row);
}

}  // namespace tamsel::collector
