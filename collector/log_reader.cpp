// CCollectorService's log reader: a log archived into a backup file and cleared on its own
// server, the backup read record by record into the database, and the backup deleted once
// every record of it is stored; backups an earlier pass had to keep are read again first.
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "collector/backup_files.h"
#include "collector/collector_service.h"
#include "collector/database_writer.h"
#include "collector/message_texts.h"
#include "collector/record_queue.h"
#include "platform/accounts/lookup_account.h"
#include "platform/eventlog/event_log.h"
#include "platform/network/files.h"
#include "platform/network/last_error.h"

namespace tamsel::collector {

namespace evl = platform::eventlog;
namespace net = platform::network;

namespace {

constexpr std::uint32_t kReadBufferSize = 1024;
constexpr std::uint32_t kFixedPartSize = 56;  // the EVENTLOGRECORD fields before SourceName
// What may wait between reading and storing: enough to keep both threads busy, and a bound
// that does not grow with the log.
constexpr std::size_t kQueuedRecords = 1024;
constexpr std::size_t kQueuedBytes = 4 << 20;

// The storing thread of one backup. Leaving the scope, by the end of the records or by an
// error, closes the queue and waits for the thread, which stores what was queued.
class StoringThread {
 public:
  template <typename Body>
  StoringThread(RecordQueue& queue, Body body) : queue_(queue), thread_(std::move(body)) {}
  ~StoringThread() {
    queue_.Close();
    thread_.join();
  }
  StoringThread(const StoringThread&) = delete;
  StoringThread& operator=(const StoringThread&) = delete;

 private:
  RecordQueue& queue_;
  std::thread thread_;
};

std::uint32_t U32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::uint16_t U16(const std::uint8_t* at) {
  std::uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The NUL-terminated text at `offset`, which must end inside the record; false otherwise.
bool TextAt(const std::uint8_t* record, std::uint32_t length, std::uint32_t& offset,
            std::string& text) {
  if (offset >= length) return false;
  const auto* start = reinterpret_cast<const char*>(record + offset);
  const void* end = std::memchr(start, '\0', length - offset);
  if (end == nullptr) return false;
  text.assign(start, static_cast<const char*>(end));
  offset += static_cast<std::uint32_t>(text.size()) + 1;
  return true;
}

std::uint16_t NormalisedType(std::uint16_t type) {
  switch (type) {
    case evl::EVENTLOG_ERROR_TYPE:
    case evl::EVENTLOG_WARNING_TYPE:
    case evl::EVENTLOG_INFORMATION_TYPE:
    case evl::EVENTLOG_AUDIT_SUCCESS:
    case evl::EVENTLOG_AUDIT_FAILURE:
      return type;
    default:
      return evl::EVENTLOG_SUCCESS;
  }
}

}  // namespace

int CCollectorService::CollectLog(const std::string& serverName, int serverId,
                                  const std::string& logName) {
  ledger_.Begin(serverId, logName, CollectorTime());
  const int result = CollectLogPass(serverName, serverId, logName);
  // The pass's records are committed by now; the ledger row is written on its own.
  if (OpenDatabase() != 0 ||
      !ledger_.Write(*connection_, archived_ ? "read" : "not archived", CollectorTime())) {
    TraceMessage("Ledger row of %s on %s not written", logName.c_str(), serverName.c_str());
  }
  return result;
}

int CCollectorService::CollectLogPass(const std::string& serverName, int serverId,
                                      const std::string& logName) {
  archived_ = false;
  ReadLeftoverBackups(serverName, serverId, logName);
  std::string backupFile;
  int result = ArchiveAndClearLog(serverName, logName, backupFile);
  if (result != 0) return result;
  archived_ = true;
  ledger_.NoteCleared();
  long notStored = 0;
  ledger_.SetLive(true);
  result = ReadArchivedLog(serverName, serverId, logName, backupFile, &notStored);
  ledger_.SetLive(false);
  if (result != 0) {
    ledger_.NoteBackupKept();
    ReportNotStored(serverName, logName, backupFile, notStored);
    return result;
  }
  net::DeleteFile(ShareForm(serverName, backupFile));
  return 0;
}

void CCollectorService::ReadLeftoverBackups(const std::string& serverName, int serverId,
                                            const std::string& logName) {
  if (backupPath_.empty()) return;
  std::filesystem::path folder;
  if (net::ResolveWindowsPath(ShareForm(serverName, backupPath_), folder) != 0) return;
  std::vector<std::pair<std::string, std::string>> backups;  // time stamp, file name
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file(error)) continue;
    const std::string name = entry.path().filename().string();
    if (auto stamp = BackupTimeStamp(name, logName)) backups.emplace_back(*stamp, name);
  }
  std::sort(backups.begin(), backups.end());  // oldest first
  for (const auto& [stamp, name] : backups) {
    const std::string backupFile = backupPath_ + "\\" + name;
    long notStored = 0;
    if (ReadArchivedLog(serverName, serverId, logName, backupFile, &notStored) == 0) {
      net::DeleteFile(ShareForm(serverName, backupFile));
    } else {
      ledger_.NoteBackupKept();
      ReportNotStored(serverName, logName, backupFile, notStored);
    }
  }
}

void CCollectorService::ReportNotStored(const std::string& serverName, const std::string& logName,
                                        const std::string& backupFile, long notStored) {
  if (notStored <= 0) return;
  const std::string text = std::to_string(notStored) + " record(s) of the " + logName +
                           " log of server " + serverName +
                           " were not stored in the database. The backup file " + backupFile +
                           " is kept and will be read again at the next pass.";
  ReportServiceEvent(service::EVENTLOG_WARNING_TYPE, service::EVMSG_WARNING, text.c_str());
}

int CCollectorService::ArchiveAndClearLog(const std::string& serverName, const std::string& logName,
                                          std::string& backupFile) {
  if (backupPath_.empty()) {
    // A backup named without a folder could never be found again: the log stays as it is.
    if (!emptyBackupPathReported_) {
      emptyBackupPathReported_ = true;
      ReportServiceEvent(service::EVENTLOG_WARNING_TYPE, service::EVMSG_WARNING,
                         kEmptyBackupPathText);
    }
    return -1;
  }
  try {
    evl::EventLogHandle log(evl::OpenEventLogA(serverName.c_str(), logName.c_str()));
    if (!log) return -1;
    const std::time_t now = CollectorTime();
    const std::string shareFolder = ShareForm(serverName, backupPath_);
    for (const std::string& folder : BackupFolderChain(shareFolder)) net::CreateFolder(folder);
    net::CreateFolder(shareFolder);
    backupFile = BackupFileName(backupPath_, logName, now);
    return evl::ClearEventLogA(log.Get(), backupFile.c_str()) ? 0 : -1;
  } catch (const std::exception&) {
    return -1;
  }
}

int CCollectorService::ReadArchivedLog(const std::string& serverName, int serverId,
                                       const std::string& logName, const std::string& backupFile,
                                       long* notStoredOut) {
  RecordCounts counts;  // of the records that never reached the storing thread
  StoreTally tally;
  int result = 0;
  try {
    evl::EventLogHandle backup(evl::OpenBackupEventLogA(serverName.c_str(), backupFile.c_str()));
    if (!backup) return -1;
    evl::DWORD count = 0;
    evl::DWORD oldest = 0;
    if (!evl::GetNumberOfEventLogRecords(backup.Get(), &count)) result = -1;
    evl::GetOldestEventLogRecord(backup.Get(), &oldest);
    ReadExclusions(serverId);
    {
      // This thread reads and resolves; the storing thread stores what it is handed, so the
      // two overlap. Leaving the scope waits until every record handed over is stored or
      // refused.
      RecordQueue queue(kQueuedRecords, kQueuedBytes);
      StoringThread writer(queue, [&] { StoreRecords(queue, tally); });
      if (HandOverRecords(serverName, serverId, logName, backup.Get(), queue, counts) != 0) {
        result = -1;
      }
    }
    // A damaged backup: what could be read is stored, the rest is reported, and the file stays
    // for an administrator to look at.
    evl::DWORD skipped = 0;
    if (evl::GetEventLogSkippedRecords(backup.Get(), &skipped) && skipped > 0) {
      result = -1;
      const std::string text = std::to_string(skipped) + " damaged record(s) of the backup file " +
                               backupFile + " of the " + logName + " log of server " + serverName +
                               " could not be read. The backup file is kept.";
      TraceMessage("%s", text.c_str());
      ReportServiceEvent(service::EVENTLOG_WARNING_TYPE, service::EVMSG_WARNING, text.c_str());
    }
  } catch (const std::exception&) {
    result = -1;
  }
  const long notStored = counts.notStored + tally.notStored;
  if (tally.result != 0 && result == 0) result = tally.result;
  if (notStored > 0 && result == 0) result = -1;
  ledger_.AddCounts(tally.stored, counts.excluded, notStored);
  TraceMessage("Read %s of %s: %ld stored, %ld excluded, %ld not stored", backupFile.c_str(),
               serverName.c_str(), tally.stored, counts.excluded, notStored);
  if (notStoredOut != nullptr) *notStoredOut = notStored;
  return result;
}

int CCollectorService::HandOverRecords(const std::string& serverName, int serverId,
                                       const std::string& logName, evl::HANDLE backup,
                                       RecordQueue& queue, RecordCounts& counts) {
  std::vector<std::uint8_t> buffer(kReadBufferSize);
  // Registry answers and message modules are checked against their files once per batch.
  long sinceRenewal = 0;
  registryStamps_.Renew();
  while (true) {
    evl::DWORD bytesRead = 0;
    evl::DWORD needed = 0;
    if (!evl::ReadEventLogA(backup, evl::EVENTLOG_SEQUENTIAL_READ | evl::EVENTLOG_FORWARDS_READ, 0,
                            buffer.data(), static_cast<evl::DWORD>(buffer.size()), &bytesRead,
                            &needed)) {
      const platform::Win32Error error = platform::GetLastError();
      if (error == platform::ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        // A record larger than the buffer: read it whole rather than lose it and the rest.
        buffer.resize(needed);
        continue;
      }
      // Anything but the end means records were left unread: the backup must stay.
      return error == platform::ERROR_HANDLE_EOF ? 0 : -1;
    }
    for (evl::DWORD offset = 0; offset < bytesRead;) {
      const std::uint32_t length = bytesRead - offset >= 4 ? U32(buffer.data() + offset) : 0;
      if (length < kFixedPartSize || length > bytesRead - offset) {
        return -1;  // nothing after it can be trusted, and the backup must stay
      }
      ledger_.NoteRecord(U32(buffer.data() + offset + 8), U32(buffer.data() + offset + 16));
      auto record = std::make_unique<CLogRecord>();
      record->elServerId_ = serverId;
      record->logName_ = logName;
      const int parsed =
          ParseRecord(serverId, serverName, logName, buffer.data() + offset, length, *record);
      if (parsed == 0) {
        if (!queue.Push(std::move(record))) ++counts.notStored;
        if (++sinceRenewal >= recordsPerTransaction_) {
          registryStamps_.Renew();
          sinceRenewal = 0;
        }
      } else if (parsed == 1) {
        ++counts.excluded;
      } else {
        ++counts.notStored;  // could not be handled: its backup is kept
      }
      offset += length;
    }
  }
}

std::string CCollectorService::AccountName(const std::string& serverName,
                                           const std::vector<std::uint8_t>& sidBytes) {
  const RegistryAnswers<std::string>::Stamps stamps = {registryStamps_.Of(serverName)};
  const std::string key = serverName + '\n' + std::string(sidBytes.begin(), sidBytes.end());
  if (const std::string* known = accountNames_.Find(key, stamps)) return *known;
  // The lookup may look at a SID's full largest size; the copy is padded to it.
  std::array<std::uint8_t, 68> sid{};
  std::memcpy(sid.data(), sidBytes.data(), std::min(sidBytes.size(), sid.size()));
  char name[256] = "";
  char domain[256] = "";
  platform::accounts::DWORD nameSize = sizeof name;
  platform::accounts::DWORD domainSize = sizeof domain;
  platform::accounts::SID_NAME_USE use{};
  std::string userName;
  if (platform::accounts::LookupAccountSidA(serverName.c_str(), sid.data(), name, &nameSize, domain,
                                            &domainSize, &use) &&
      name[0] != '\0') {
    userName = std::string(domain) + "\\" + name;
  }
  accountNames_.Keep(key, stamps, userName);
  return userName;
}

int CCollectorService::ParseRecord(int serverId, const std::string& serverName,
                                   const std::string& logName, const std::uint8_t* data,
                                   std::uint32_t length, CLogRecord& record) {
  try {
    if (length < kFixedPartSize) return -1;
    record.recordNumber_ = U32(data + 8);
    record.timeGenerated_ = U32(data + 12);
    record.timeWritten_ = U32(data + 16);
    record.eventId_ = U32(data + 20);
    record.eventType_ = NormalisedType(U16(data + 24));
    const std::uint16_t stringCount = U16(data + 26);
    record.category_ = U16(data + 28);
    const std::uint32_t stringOffset = U32(data + 36);
    const std::uint32_t sidLength = U32(data + 40);
    const std::uint32_t sidOffset = U32(data + 44);

    if (sidLength > 0) {
      if (sidOffset > length || sidLength > length - sidOffset) return -1;
      record.userSid_.assign(data + sidOffset, data + sidOffset + sidLength);
      record.userName_ = AccountName(serverName, record.userSid_);
    }

    std::uint32_t offset = kFixedPartSize;
    if (!TextAt(data, length, offset, record.sourceName_) ||
        !TextAt(data, length, offset, record.computerName_)) {
      return -1;
    }
    offset = stringOffset;
    for (std::uint16_t index = 0; index < stringCount; ++index) {
      std::string text;
      if (!TextAt(data, length, offset, text)) return -1;
      record.insertionStrings_.push_back(std::move(text));
    }

    if (IsExcluded(record.eventType_)) return 1;

    ResolveMessageFiles(record, logName);
    ResolveCategory(record);
    if (ResolveMessage(record) != 0)
      record.description_ = FallbackDescription(record.insertionStrings_);
    (void)serverId;
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace tamsel::collector
