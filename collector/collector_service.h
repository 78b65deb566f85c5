// CCollectorService: the collection service. It reads its settings from the registry at
// start, keeps the state counter, runs the work loop that starts a collection pass once per
// refresh period, and stores the settings the command line gives it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "collector/database_writer.h"
#include "collector/ledger_recorder.h"
#include "collector/log_record.h"
#include "collector/message_module_cache.h"
#include "collector/pass_split.h"
#include "collector/registry_answers.h"
#include "platform/data/command.h"
#include "platform/data/connection.h"
#include "platform/eventlog/event_log.h"
#include "platform/registry/registry.h"
#include "service/nt_service.h"

namespace tamsel::collector {

using service::BOOL;
using service::DWORD;
using service::FALSE;
using service::TRUE;

// The text of event 109 when a pass cannot reach the database.
inline constexpr const char* kCannotWriteText =
    "The service cannot write event log entries to the database.\n"
    "Check whether the network connection and the SQL Server are OK.";

// The text of warning 109 when no backup path is set: no log is archived or cleared.
inline constexpr const char* kEmptyBackupPathText =
    "No backup path is set, so no event log was archived or cleared. "
    "Set the backup path with the -b option.";

// Seconds after the time of a clear whose backup names are tried before the clear is given up.
inline constexpr int kBackupNameTries = 60;

// Default period between passes: 15 minutes.
inline constexpr int kDefaultRefreshRate = 900000;
// One tick of the work loop.
inline constexpr DWORD kTickMilliseconds = 5000;

class RecordQueue;

// Passes in a row whose read of a kept backup fails on its file before it is moved aside.
inline constexpr int kDamagedAfterPasses = 3;

// What reading one backup file came to.
struct BackupReading {
  long stored = 0;
  long excluded = 0;
  long notStored = 0;  // refused by the database
  // Why the file itself could not be read whole (it cannot be opened, a read failed, a
  // record is damaged); empty when it was.
  std::string fault;
};

class CCollectorService : public service::CNTService {
 public:
  explicit CCollectorService(const char* serviceName);

  // Writers of the Parameters key (the command line calls them in the console process).
  int SetRefreshRate(int milliseconds) override;              // returns 1
  int SetNTAuthentication(int useNtAuthentication) override;  // 0, or the registry error
  int SetParameterString(const char* valueName, const char* value) override;  // 1, or the error
  ~CCollectorService() override;

  // The work loop: a pass at once, then one every refresh period, counted in 5-second ticks;
  // the state counter grows every tick; a stop takes effect after the tick that follows it.
  void Run() override;
  // Reads every setting, writes back a missing refresh rate and the starting state. TRUE.
  BOOL OnInit() override;
  // Code 128 saves the state counter; any other code is not ours (FALSE).
  BOOL OnUserControl(DWORD control) override;

  // One collection pass over every active server: 0 when it ran over a non-empty server list,
  // 1 when the list was empty, negative when the list could not be read (the loop then
  // reports event 109 with kCannotWriteText). It runs on the service thread with the
  // settings below fixed; it may read them directly.
  virtual int CollectAll();

  // The pass (collect_all.cpp). ReadServerList fills serverList_ with "id;name" entries.
  int ReadServerList();
  int CollectServer(int serverId, const std::string& serverName);
  // Error event 109 for a server whose id does not fit the database writer's 16 bits.
  void ReportUnstorableServer(long long serverId, const std::string& serverName);
  // The subkey names of the server's EventLog key; the RegConnectRegistryA result.
  long EnumerateLogs(const std::string& serverName, std::vector<std::string>& logs);

  // Reading one log (log_reader.cpp, kept_backups.cpp). CollectLog: 0 when the log was archived,
  // read whole and its backup deleted, else the failing step's result.
  int CollectLog(const std::string& serverName, int serverId, const std::string& logName);
  // The pass of one log that CollectLog wraps in its ledger row.
  int CollectLogPass(const std::string& serverName, int serverId, const std::string& logName);
  int ArchiveAndClearLog(const std::string& serverName, int serverId, const std::string& logName,
                         std::string& backupFile);
  // A name for a new backup of the log that no stored record carries yet: every backup a
  // log ever had must have its own name, since the name identifies its records. 0, or -1
  // when none was found or the database could not be asked.
  int ChooseBackupName(int serverId, const std::string& logName, std::string& backupFile);
  // Error event 109: the log could not be opened (no backup file) or archived, naming the
  // server, the log, its file and the backup file.
  void ReportNotArchived(const std::string& serverName, const std::string& logName,
                         const std::string& backupFile, std::uint32_t error);
  // The log's "File" value on the server, or empty.
  std::string LogFileValue(const std::string& serverName, const std::string& logName);
  // 0 when every record of the backup was stored or excluded; otherwise -1, with what the
  // read came to in `reading` when given.
  int ReadArchivedLog(const std::string& serverName, int serverId, const std::string& logName,
                      const std::string& backupFile, BackupReading* reading = nullptr);
  // Reads every record of the open backup of `count` records, forwards, and after a damaged
  // record backwards from the end down to it; resolves each and hands it to `queue`, for the
  // storing thread. What never reaches the queue, and why the file could not be read whole,
  // go into `reading`.
  void HandOverRecords(const std::string& serverName, int serverId, const std::string& logName,
                       const std::string& backupFile, platform::eventlog::HANDLE backup,
                       std::uint32_t count, RecordQueue& queue, BackupReading& reading);
  // Hands each record read in `direction` to `take` until it answers false; why the read
  // stopped early, or empty at the end of the file.
  std::string ReadRecords(platform::eventlog::HANDLE backup, std::uint32_t direction,
                          const std::function<bool(const std::uint8_t*, std::uint32_t)>& take);
  // Reads the backups of the log that an earlier pass had to keep, oldest first, and deletes
  // each one that is then stored whole.
  void ReadLeftoverBackups(const std::string& serverName, int serverId, const std::string& logName);
  // Deletes a backup that was read whole. Any other is kept with warning 109 naming it and
  // why; one whose file failed kDamagedAfterPasses passes in a row is moved into the Damaged
  // folder beside it instead, with error event 109 naming both paths.
  void FinishBackup(const std::string& serverName, const std::string& logName,
                    const std::string& backupFile, const BackupReading& reading);
  // The Damaged folder's path for a backup file; empty when none could be made free.
  std::string DamagedPath(const std::string& serverName, const std::string& backupFile);
  // One ANSI EVENTLOGRECORD of `length` bytes: 0 to store it, 1 excluded, -1 failed.
  int ParseRecord(int serverId, const std::string& serverName, const std::string& logName,
                  const std::uint8_t* record, std::uint32_t length, CLogRecord& logRecord);

  // Message texts (message_texts.cpp).
  int ResolveMessageFiles(CLogRecord& record, const std::string& logName);
  // The registry reads behind ResolveMessageFiles, which keeps their answers.
  int ReadMessageFiles(CLogRecord& record, const std::string& logName);
  // "DOMAIN\account" of a SID as the server names it, or empty.
  std::string AccountName(const std::string& serverName, const std::vector<std::uint8_t>& sid);
  int ResolveCategory(CLogRecord& record);
  int ResolveMessage(CLogRecord& record);

  // The database writer (database_writer.cpp).
  int OpenDatabase();
  int CloseDatabase();
  int CheckExclusion(const CLogRecord& record, int& flag);
  // Writes what the pass committed into the database file and flushes it: the embedded
  // engine leaves a commit in its write-ahead log, unflushed, until a checkpoint, which the
  // pass's connection makes seldom. A backup is deleted only after this.
  void FlushCommitted();
  // Sets `known` to 1 when records of the backup file of the server's log are stored. 0, the
  // OpenDatabase failure, or -1 on a database error.
  int CheckBackupKnown(int serverId, const std::string& logName, const std::string& backupFile,
                       int& known);
  // 0 when the database took the record; the OpenDatabase failure without a connection; -1
  // when the database refused it.
  virtual int InsertLogEntry(const CLogRecord& record);
  // Records are stored in transactions of a bounded number of records: the records passed
  // since BeginRecords are stored only when CommitRecords returns true.
  void BeginRecords();
  bool CommitRecords();
  // What the storing thread of one backup did with the records handed to it.
  struct StoreTally {
    long stored = 0;     // in committed transactions
    long notStored = 0;  // refused, or lost with a transaction
    int result = 0;      // the last refusal's InsertLogEntry result
  };
  // Stores the records of the queue, in transactions of recordsPerTransaction_, until it is
  // closed and drained. Runs on a thread of its own while the service thread reads the
  // backup; meanwhile it alone uses the connection.
  void StoreRecords(RecordQueue& queue, StoreTally& tally);
  // Commits the `pending` records passed since BeginRecords into the tally: stored when the
  // commit holds, not stored otherwise.
  void CommitPending(long& pending, StoreTally& tally);
  // StoreRecords on the server engine (batch_storing.cpp): the records go in batches of a
  // few statements each, in the same transactions and with the same tally.
  void StoreRecordsInBatches(RecordQueue& queue, StoreTally& tally);
  // Stores one record inside the open transaction without risking the rest of it: on the
  // server engine a failed statement would end the whole transaction.
  int InsertLogEntryAlone(const CLogRecord& record);
  // Asks the database whether the server's records of each event type are excluded, before a
  // backup is read; the records' checks take these answers (IsExcluded). Only an answer of 1
  // excludes; a failed check lets the records through.
  void ReadExclusions(int serverId);
  bool IsExcluded(std::uint16_t eventType) const;

  void SaveRefreshRate();
  void SaveCurrentState();

  // Read one value of an open key; both always succeed. A missing DWORD leaves `value` as it
  // was; a missing string, and one of 256 bytes or more, reads as empty.
  BOOL ReadStringSetting(platform::registry::HKEY key, const char* valueName, std::string& value);
  // A string value read into a 256-byte buffer: empty when missing, and empty with a trace
  // naming the value and `where` (" of <key>", or empty) when it is too long.
  std::string ReadBoundedString(platform::registry::HKEY key, const char* valueName,
                                const std::string& where);
  BOOL ReadDwordSetting(platform::registry::HKEY key, const char* valueName, int& value);

  // Settings and state, fixed from the end of OnInit until the service stops.
  int stateStart_ = 0;
  int stateIncrement_ = 1;
  volatile int stateCounter_ = 0;  // also read by the handler (code 128); a tick late is fine
  // The pass's database connection: null until the first open, closed at the end of a pass.
  std::unique_ptr<platform::data::Connection> connection_;
  int logFileFlag_ = 0;
  std::string logFilePath_;
  int refreshRate_ = -1;
  std::string databaseServerName_;
  std::string catalog_ = "TamselDB";
  int ntAuthentication_ = 0;
  std::string userName_;
  std::string password_;
  std::string backupPath_;

  // State of the pass in progress.
  std::vector<std::string> serverList_;
  bool emptyBackupPathReported_ = false;        // the warning goes out once per pass
  std::set<std::string> backupFolderReported_;  // servers told of this pass, by name
  long recordsPerTransaction_ = 20000;          // records stored per transaction
  bool inTransaction_ = false;                  // records passed since BeginRecords await a commit
  bool transactionBroken_ = false;              // the connection was replaced while they waited
  bool databaseLost_ = false;                   // the server dropped the pass's connection
  // The insert command of the open connection, its parameters refilled for every record.
  std::unique_ptr<platform::data::Command> insertCommand_;
  RecordTimeText generatedText_, writtenText_;  // the last record's times, as the insert's text
  // Exclusion answers by (server id, event type), kept only within one transaction, which
  // reads one unchanging state of the database.
  std::map<std::pair<int, int>, std::optional<int>> exclusions_;
  // The exclusion flags of the server whose backup is being read, by event type.
  std::map<std::uint16_t, int> excludedTypes_;
  // Passes in a row in which a backup's file failed, by server and backup file. Unlike the
  // rest of a pass's state it is kept from one pass to the next.
  std::map<std::string, int> backupFaults_;
  RegistryStamps registryStamps_;
  MessageModuleCache moduleCache_{registryStamps_};
  RegistryAnswers<MessageFilesAnswer> messageFiles_;
  RegistryAnswers<std::string> accountNames_;  // "DOMAIN\account", or empty
  LedgerRecorder ledger_;                      // the completeness row of the log in progress
  bool archived_ = false;                      // the log in progress was archived and cleared
  PassSplit passSplit_;                        // where the pass in progress spent its time

 private:
  // Creates (or opens) HKLM\SYSTEM\CurrentControlSet\Services\<name>\<subKey> for writing,
  // tracing the path; ERROR_SUCCESS or the registry error.
  long CreateServiceSubKey(const char* subKey, platform::registry::HKEY* key);
};

}  // namespace tamsel::collector
