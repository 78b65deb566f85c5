// CCollectorService's database writer: one connection per pass, the exclusion check and the
// insert of one record through the stored procedures, and the transactions records are
// stored in.
#include "collector/database_writer.h"

#include <cstdlib>
#include <ctime>

#include "collector/collector_service.h"
#include "collector/record_queue.h"
#include "platform/com/com_error.h"
#include "platform/data/command.h"
#include "platform/network/crash_point.h"

namespace tamsel::collector {

namespace data = platform::data;
using platform::com::Variant;

std::string BuildConnectionString(const std::string& server, const std::string& catalog,
                                  int ntAuthentication, const std::string& user,
                                  const std::string& password) {
  std::string text = "Provider=sqloledb;Data Source=" + server + ";Initial Catalog=" + catalog;
  if (ntAuthentication != 0) return text + ";TRUSTED_CONNECTION=YES;";
  return text + ";User Id=" + user + ";Password=" + password + ";";
}

namespace {

// Each checkpoint of the embedded database copies the write-ahead log into the database file
// and flushes both. At the engine's default of 1,000 pages every transaction of records would
// pay one, and the pages every transaction touches (the indexes' last pages) would be copied
// once per transaction; the collector's connection lets the log grow to 64 MiB (at 4 KiB a
// page) first, and copies the rest at the end of the pass. The pooled connection gets the
// default back when the pass lets it go.
constexpr int kCheckpointPages = 16384;
constexpr int kDefaultCheckpointPages = 1000;

std::string LocalTimeText(std::uint32_t secondsSince1970, const char* format) {
  const std::time_t time = static_cast<std::time_t>(secondsSince1970);
  std::tm local{};
  localtime_r(&time, &local);
  char text[64];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

}  // namespace

std::string FormatRecordTime(std::uint32_t secondsSince1970) {
  return LocalTimeText(secondsSince1970, "%m/%d/%Y %H:%M:%S");
}

std::string FormatIsoRecordTime(std::uint32_t secondsSince1970) {
  return LocalTimeText(secondsSince1970, "%Y-%m-%d %H:%M:%S");
}

const std::string& RecordTimeText::Of(std::uint32_t secondsSince1970) {
  if (seconds_ != secondsSince1970) {
    text_ = FormatRecordTime(secondsSince1970);
    seconds_ = secondsSince1970;
  }
  return text_;
}

namespace {

// A 16-bit value as automation carries it (VT_I2). A number outside -32768..32767 raises
// the overflow error, as the conversion does.
Variant ShortValue(std::int64_t value) { return Variant(static_cast<std::int32_t>(value)).CInt(); }

// A stored procedure command on the pass's connection.
data::Command ProcedureCommand(const data::Connection& connection, const char* name) {
  data::Command command;
  command.SetActiveConnection(connection);
  command.SetCommandType(data::adCmdStoredProc);
  command.SetCommandText(name);
  return command;
}

void AddInput(data::Command& command, const char* name, long type, long size, Variant value) {
  command.GetParameters().Append(
      command.CreateParameter(name, type, data::adParamInput, size, std::move(value)));
}

// The LogEntryInsert command with its parameters, values to be filled in: the twelve of the
// record, and the backup file that with the record number identifies it.
std::unique_ptr<data::Command> InsertCommand(const data::Connection& connection) {
  struct Declared {
    const char* name;
    long type;
    long size;
  };
  static constexpr Declared kParameters[] = {
      {"@ELServerID", data::adInteger, 4},
      {"@LogTypeName", data::adVarChar, 127},
      {"@RecordNumber", data::adInteger, 4},
      {"@TimeGenerated", data::adDBTimeStamp, 255},
      {"@TimeWritten", data::adDBTimeStamp, 255},
      {"@EventID", data::adInteger, 4},
      {"@EventTypeID", data::adInteger, 4},
      {"@EventCategoryID", data::adInteger, 4},
      {"@EventCategoryName", data::adVarChar, 127},
      {"@UserName", data::adVarChar, 255},
      {"@SourceName", data::adVarChar, 127},
      {"@DescriptionFullMessage", data::adVarChar, 1024},
      {"@BackupFileName", data::adVarChar, 260},
  };
  auto command = std::make_unique<data::Command>(ProcedureCommand(connection, "LogEntryInsert"));
  for (const Declared& parameter : kParameters) {
    AddInput(*command, parameter.name, parameter.type, parameter.size, Variant());
  }
  return command;
}

}  // namespace

int CCollectorService::OpenDatabase() {
  try {
    if (connection_ && connection_->State() == data::adStateOpen) {
      if (!connection_->Lost()) return 0;
      // The server dropped it: the pass is told as one that cannot write, and a new
      // connection may reach the server again for the rest of it.
      databaseLost_ = true;
    }
    const std::string text = BuildConnectionString(databaseServerName_, catalog_, ntAuthentication_,
                                                   userName_, password_);
    // Records waiting in a transaction of the old connection are lost with it.
    if (inTransaction_) transactionBroken_ = true;
    inTransaction_ = false;
    insertCommand_.reset();
    exclusions_.clear();
    connection_.reset();
    connection_ = std::make_unique<data::Connection>();
    connection_->Open(text, "", "", data::adConnectUnspecified);
    connection_->GetSession().SetCheckpointPages(kCheckpointPages);
    return 0;
  } catch (const std::exception&) {
    // The description is not reported; the failed object is replaced at the next attempt.
    return -1;
  }
}

int CCollectorService::CloseDatabase() {
  try {
    if (inTransaction_) transactionBroken_ = true;
    inTransaction_ = false;
    insertCommand_.reset();
    exclusions_.clear();
    if (!connection_) return 0;
    if (connection_->State() == data::adStateClosed) return 0;
    // The pass's last pages are copied by the pass, not by whoever writes next.
    connection_->GetSession().Checkpoint();
    connection_->GetSession().SetCheckpointPages(kDefaultCheckpointPages);
    connection_->Close();
    connection_.reset();
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

void CCollectorService::FlushCommitted() {
  try {
    if (connection_ && connection_->State() == data::adStateOpen) {
      connection_->GetSession().Checkpoint();
    }
  } catch (const std::exception&) {
    // Left to the next checkpoint.
  }
}

int CCollectorService::CheckExclusion(const CLogRecord& record, int& flag) {
  int opened = OpenDatabase();
  if (opened != 0) return opened;
  const std::pair<int, int> key{record.elServerId_, record.eventType_};
  if (inTransaction_) {
    auto known = exclusions_.find(key);
    if (known != exclusions_.end()) {
      if (known->second) flag = *known->second;
      return 0;
    }
  }
  try {
    data::Command command = ProcedureCommand(*connection_, "LogEntryExclusionCheck");
    AddInput(command, "@ELServerID", data::adInteger, 4, ShortValue(record.elServerId_));
    AddInput(command, "@EventTypeID", data::adInteger, 4, ShortValue(record.eventType_));
    data::Recordset rows = command.Execute(0);
    std::string last;
    bool any = false;
    if (rows.State() == data::adStateOpen) {
      while (!rows.IsEOF()) {
        last = rows["InExclusionList"].CStr();
        any = true;
        rows.MoveNext();
      }
      rows.Close();
    }
    if (any) flag = std::atoi(last.c_str());
    // No row leaves the flag as it was, and so does the kept answer.
    if (inTransaction_) {
      exclusions_[key] = any ? std::optional<int>(std::atoi(last.c_str())) : std::nullopt;
    }
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

int CCollectorService::CheckBackupKnown(int serverId, const std::string& logName,
                                        const std::string& backupFile, int& known) {
  int opened = OpenDatabase();
  if (opened != 0) return opened;
  try {
    data::Command command = ProcedureCommand(*connection_, "LogBackupCheck");
    AddInput(command, "@ELServerID", data::adInteger, 4, Variant(std::int32_t{serverId}));
    AddInput(command, "@LogTypeName", data::adVarChar, 127, Variant(logName));
    AddInput(command, "@BackupFileName", data::adVarChar, 260, Variant(backupFile));
    data::Recordset rows = command.Execute(0);
    known = 0;
    if (rows.State() == data::adStateOpen) {
      if (!rows.IsEOF()) known = static_cast<int>(rows["BackupKnown"].CLng());
      rows.Close();
    }
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

int CCollectorService::InsertLogEntry(const CLogRecord& record) {
  int opened = OpenDatabase();
  if (opened != 0) return opened;
  try {
    // Every value is made before the command is touched: one that cannot be carried raises
    // here, as it would while the parameters were appended.
    Variant values[] = {
        ShortValue(record.elServerId_),
        Variant(record.logName_),
        Variant(static_cast<std::int32_t>(record.recordNumber_)),
        Variant(generatedText_.Of(record.timeGenerated_)),
        Variant(writtenText_.Of(record.timeWritten_)),
        // The event code without its severity, customer and facility bits, read as signed.
        Variant(static_cast<std::int16_t>(record.eventId_ & 0xFFFF)),
        Variant(static_cast<std::int16_t>(record.eventType_)),
        Variant(static_cast<std::int16_t>(record.category_)),
        Variant(record.categoryName_),
        Variant(record.userName_),
        Variant(record.sourceName_),
        Variant(record.description_),
        Variant(record.backupFile_),
    };
    if (!insertCommand_) insertCommand_ = InsertCommand(*connection_);
    data::Parameters& parameters = insertCommand_->GetParameters();
    for (long index = 0; index < parameters.Count(); ++index) {
      parameters.Item(index).SetValue(std::move(values[index]));
    }
    insertCommand_->Execute(0);
    platform::network::CrashPoint("collector.record.inserted");
    return 0;
  } catch (const std::exception&) {
    // Refused: the caller counts the record as not stored and keeps its backup file.
    return -1;
  }
}

// A transaction is a throughput choice, not a safety net: a record only counts as stored
// once its transaction is committed, and whatever a failed commit loses is still in the
// backup file, which is then kept and read again by a later pass.
void CCollectorService::BeginRecords() {
  inTransaction_ = false;
  transactionBroken_ = false;
  exclusions_.clear();
  if (OpenDatabase() != 0) return;
  try {
    connection_->Execute("BEGIN TRANSACTION", data::adExecuteNoRecords);
    inTransaction_ = true;
  } catch (const std::exception&) {
    // Without a transaction each record is stored on its own.
  }
}

bool CCollectorService::CommitRecords() {
  if (transactionBroken_) {
    transactionBroken_ = false;
    return false;
  }
  if (!inTransaction_) return true;
  inTransaction_ = false;
  exclusions_.clear();
  try {
    if (!connection_ || connection_->State() != data::adStateOpen) return false;
    platform::network::CrashPoint("collector.batch.committing");
    ScopedSeconds committing(passSplit_.commitSeconds);
    connection_->Execute("COMMIT TRANSACTION", data::adExecuteNoRecords);
    platform::network::CrashPoint("collector.batch.committed");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void CCollectorService::CommitPending(long& pending, StoreTally& tally) {
  if (CommitRecords()) {
    tally.stored += pending;
  } else {
    tally.notStored += pending;
  }
  pending = 0;
}

void CCollectorService::StoreRecords(RecordQueue& queue, StoreTally& tally) {
  if (OpenDatabase() == 0 && connection_->GetSession().GetEngine() == data::Engine::Server) {
    StoreRecordsInBatches(queue, tally);
    return;
  }
  long pending = 0;  // passed to the database, waiting for the commit
  auto commit = [&] { CommitPending(pending, tally); };
  BeginRecords();
  RecordQueue::Batch batch;
  while (queue.Take(batch)) {
    for (const std::unique_ptr<CLogRecord>& record : batch) {
      const int inserted = InsertLogEntry(*record);
      if (inserted == 0) {
        ++pending;
      } else {
        ++tally.notStored;
        tally.result = inserted;
      }
      if (pending >= recordsPerTransaction_) {
        commit();
        BeginRecords();
      }
    }
  }
  commit();
}

void CCollectorService::ReadExclusions(int serverId) {
  excludedTypes_.clear();
  // The types a record can carry once read (any other is stored as 0, success).
  static constexpr std::uint16_t kTypes[] = {0, 1, 2, 4, 8, 16};
  CLogRecord probe;
  probe.elServerId_ = serverId;
  for (std::uint16_t type : kTypes) {
    probe.eventType_ = type;
    int flag = 0;
    CheckExclusion(probe, flag);
    excludedTypes_[type] = flag;
  }
}

bool CCollectorService::IsExcluded(std::uint16_t eventType) const {
  auto found = excludedTypes_.find(eventType);
  return found != excludedTypes_.end() && found->second == 1;
}

}  // namespace tamsel::collector
