// CCollectorService's log reader: a log archived into a backup file and cleared on its own
// server, and the backup read record by record into the database, going on past a damaged
// record from the end of the file where it can.
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
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

int CCollectorService::ReadArchivedLog(const std::string& serverName, int serverId,
                                       const std::string& logName, const std::string& backupFile,
                                       BackupReading* readingOut) {
  ScopedSeconds readTime(passSplit_.readSeconds);
  BackupReading reading;
  StoreTally tally;
  evl::DWORD count = 0;
  bool missingCounted = false;  // the fault says how many records were missed
  try {
    evl::EventLogHandle backup(evl::OpenBackupEventLogA(serverName.c_str(), backupFile.c_str()));
    if (!backup) {
      reading.fault =
          "it cannot be opened (error " + std::to_string(platform::GetLastError()) + ")";
    } else {
      if (!evl::GetNumberOfEventLogRecords(backup.Get(), &count)) {
        reading.fault = "its records cannot be counted (error " +
                        std::to_string(platform::GetLastError()) + ")";
      }
      ReadExclusions(serverId);
      {
        // This thread reads and resolves; the storing thread stores what it is handed, so the
        // two overlap. Leaving the scope waits until every record handed over is stored or
        // refused.
        RecordQueue queue(kQueuedRecords, kQueuedBytes);
        StoringThread writer(queue, [&] {
          ScopedCpuSeconds storing(passSplit_.storerCpuSeconds);
          StoreRecords(queue, tally);
        });
        ScopedCpuSeconds readerCpu(passSplit_.readerCpuSeconds);
        HandOverRecords(serverName, serverId, logName, backupFile, backup.Get(), count, queue,
                        reading);
      }
      // Records the log service itself found damaged and passed over.
      evl::DWORD skipped = 0;
      if (evl::GetEventLogSkippedRecords(backup.Get(), &skipped) && skipped > 0 &&
          reading.fault.empty()) {
        reading.fault = std::to_string(skipped) + " damaged record(s) could not be read";
        missingCounted = true;
      }
    }
  } catch (const std::exception& error) {
    if (reading.fault.empty()) reading.fault = std::string("reading it failed: ") + error.what();
  }
  reading.stored = tally.stored;
  reading.notStored += tally.notStored;
  const long handled = reading.stored + reading.excluded + reading.notStored;
  if (!reading.fault.empty() && !missingCounted && count > static_cast<evl::DWORD>(handled)) {
    reading.fault += "; " + std::to_string(count - handled) + " of its " + std::to_string(count) +
                     " record(s) could not be read";
  }
  ledger_.AddCounts(reading.stored, reading.excluded, reading.notStored);
  TraceMessage("Read %s of %s: %ld stored, %ld excluded, %ld not stored%s%s", backupFile.c_str(),
               serverName.c_str(), reading.stored, reading.excluded, reading.notStored,
               reading.fault.empty() ? "" : "; ", reading.fault.c_str());
  const int result = reading.fault.empty() && reading.notStored == 0 ? 0 : -1;
  if (readingOut != nullptr) *readingOut = std::move(reading);
  return result;
}

void CCollectorService::HandOverRecords(const std::string& serverName, int serverId,
                                        const std::string& logName, const std::string& backupFile,
                                        evl::HANDLE backup, evl::DWORD count, RecordQueue& queue,
                                        BackupReading& reading) {
  // Registry answers and message modules are checked against their files once per batch.
  long sinceRenewal = 0;
  registryStamps_.Renew();
  auto handOver = [&](const std::uint8_t* data, std::uint32_t length) {
    ledger_.NoteRecord(U32(data + 8), U32(data + 16));
    std::unique_ptr<CLogRecord> record = queue.Spare();
    record->elServerId_ = serverId;
    record->logName_ = logName;
    record->backupFile_ = backupFile;
    const int parsed = ParseRecord(serverId, serverName, logName, data, length, *record);
    if (parsed == 0) {
      if (!queue.Push(std::move(record))) ++reading.notStored;
      if (++sinceRenewal >= recordsPerTransaction_) {
        registryStamps_.Renew();
        sinceRenewal = 0;
      }
    } else if (parsed == 1) {
      ++reading.excluded;
    } else if (reading.fault.empty()) {
      reading.fault = "record " + std::to_string(record->recordNumber_) + " is damaged";
    }
  };

  bool anyRead = false;
  std::uint32_t lastNumber = 0;  // of the last record read going forwards
  const std::string fault = ReadRecords(backup, evl::EVENTLOG_FORWARDS_READ,
                                        [&](const std::uint8_t* data, std::uint32_t length) {
                                          lastNumber = U32(data + 8);
                                          anyRead = true;
                                          handOver(data, length);
                                          return true;
                                        });
  if (fault.empty()) return;
  if (reading.fault.empty()) reading.fault = fault;
  // The records after the damage may still be reachable from the end of the file.
  if (count == 0) return;
  std::vector<std::vector<std::uint8_t>> later;  // newest first
  evl::EventLogHandle again(evl::OpenBackupEventLogA(serverName.c_str(), backupFile.c_str()));
  if (again) {
    ReadRecords(again.Get(), evl::EVENTLOG_BACKWARDS_READ,
                [&](const std::uint8_t* data, std::uint32_t length) {
                  if (anyRead && U32(data + 8) <= lastNumber) return false;
                  later.emplace_back(data, data + length);
                  return true;
                });
  }
  for (auto it = later.rbegin(); it != later.rend(); ++it) {
    handOver(it->data(), static_cast<std::uint32_t>(it->size()));
  }
}

std::string CCollectorService::ReadRecords(
    evl::HANDLE backup, evl::DWORD direction,
    const std::function<bool(const std::uint8_t*, std::uint32_t)>& take) {
  std::vector<std::uint8_t> buffer(kReadBufferSize);
  while (true) {
    evl::DWORD bytesRead = 0;
    evl::DWORD needed = 0;
    if (!evl::ReadEventLogA(backup, evl::EVENTLOG_SEQUENTIAL_READ | direction, 0, buffer.data(),
                            static_cast<evl::DWORD>(buffer.size()), &bytesRead, &needed)) {
      const platform::Win32Error error = platform::GetLastError();
      if (error == platform::ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        // A record larger than the buffer: read it whole rather than lose it and the rest.
        buffer.resize(needed);
        continue;
      }
      if (error == platform::ERROR_HANDLE_EOF) return {};
      return "reading it stopped at a damaged record (error " + std::to_string(error) + ")";
    }
    for (evl::DWORD offset = 0; offset < bytesRead;) {
      const std::uint32_t length = bytesRead - offset >= 4 ? U32(buffer.data() + offset) : 0;
      if (length < kFixedPartSize || length > bytesRead - offset) {
        return "a record has a bad length (" + std::to_string(length) + " bytes)";
      }
      if (!take(buffer.data() + offset, length)) return {};
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
