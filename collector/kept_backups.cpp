// CCollectorService's handling of backup files after reading: one log collected (backups an
// earlier pass kept, then a fresh one), a backup read whole deleted, any other kept with a
// warning that says why, and one whose file keeps failing moved aside into a Damaged folder.
#include <algorithm>
#include <filesystem>

#include "collector/backup_files.h"
#include "collector/collector_service.h"
#include "platform/eventlog/event_log.h"
#include "platform/network/crash_point.h"
#include "platform/network/files.h"

namespace tamsel::collector {

namespace net = platform::network;

namespace {

constexpr const char* kDamagedFolder = "Damaged";
constexpr int kDamagedNameTries = 100;

std::string KeptText(const std::string& serverName, const std::string& logName,
                     const std::string& backupFile, const BackupReading& reading) {
  std::string text;
  if (reading.notStored > 0) {
    text = std::to_string(reading.notStored) + " record(s) of the " + logName + " log of server " +
           serverName + " were not stored in the database. ";
  }
  text += "The backup file " + backupFile;
  if (!reading.fault.empty()) {
    text += " of the " + logName + " log of server " + serverName + " could not be read whole (" +
            reading.fault + "). It";
  }
  return text + " is kept and will be read again at the next pass.";
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
  {
    // Opening the log finishes a clear of it that was cut short, whose backup is then among
    // the kept ones.
    platform::eventlog::EventLogHandle log(
        platform::eventlog::OpenEventLogA(serverName.c_str(), logName.c_str()));
  }
  ReadLeftoverBackups(serverName, serverId, logName);
  std::string backupFile;
  int result = 0;
  {
    ScopedSeconds archiving(passSplit_.archiveSeconds);
    result = ArchiveAndClearLog(serverName, serverId, logName, backupFile);
  }
  if (result != 0) return result;
  archived_ = true;
  ledger_.NoteCleared();
  BackupReading reading;
  ledger_.SetLive(true);
  result = ReadArchivedLog(serverName, serverId, logName, backupFile, &reading);
  ledger_.SetLive(false);
  FinishBackup(serverName, logName, backupFile, reading);
  return result;
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
    BackupReading reading;
    ReadArchivedLog(serverName, serverId, logName, backupFile, &reading);
    FinishBackup(serverName, logName, backupFile, reading);
  }
}

void CCollectorService::FinishBackup(const std::string& serverName, const std::string& logName,
                                     const std::string& backupFile, const BackupReading& reading) {
  const std::string key = serverName + '\n' + backupFile;
  if (reading.fault.empty()) backupFaults_.erase(key);
  if (reading.fault.empty() && reading.notStored == 0) {
    FlushCommitted();
    net::CrashPoint("collector.backup.read");
    ScopedSeconds deleting(passSplit_.deleteSeconds);
    net::DeleteFile(ShareForm(serverName, backupFile));
    net::CrashPoint("collector.backup.deleted");
    return;
  }
  ledger_.NoteBackupKept();
  if (reading.fault.empty() || ++backupFaults_[key] < kDamagedAfterPasses) {
    const std::string text = KeptText(serverName, logName, backupFile, reading);
    ReportServiceEvent(service::EVENTLOG_WARNING_TYPE, service::EVMSG_WARNING, text.c_str());
    return;
  }
  // Read again it would fail again: moved aside, never deleted, for someone to look at.
  const std::string damaged = DamagedPath(serverName, backupFile);
  const platform::Win32Error moved =
      damaged.empty()
          ? platform::ERROR_ALREADY_EXISTS
          : net::MoveFile(ShareForm(serverName, backupFile), ShareForm(serverName, damaged));
  std::string text = "The backup file " + backupFile + " of the " + logName + " log of server " +
                     serverName + " could not be read whole in " +
                     std::to_string(backupFaults_[key]) + " passes in a row (" + reading.fault +
                     "). ";
  if (moved == 0) {
    backupFaults_.erase(key);
    text += "It was moved to " + damaged + " and will not be read again.";
  } else {
    text += "It could not be moved to the " + std::string(kDamagedFolder) + " folder (error " +
            std::to_string(moved) + ") and is kept.";
  }
  ReportServiceEvent(service::EVENTLOG_ERROR_TYPE, service::EVMSG_WARNING, text.c_str());
}

std::string CCollectorService::DamagedPath(const std::string& serverName,
                                           const std::string& backupFile) {
  const size_t slash = backupFile.rfind('\\');
  const std::string folder = backupFile.substr(0, slash) + "\\" + kDamagedFolder;
  const std::string name = backupFile.substr(slash + 1);
  net::CreateFolder(ShareForm(serverName, folder));
  const size_t dot = name.rfind('.');
  for (int attempt = 1; attempt <= kDamagedNameTries; ++attempt) {
    // A backup of the same name moved earlier stays; this one takes a numbered name.
    std::string candidate = folder + "\\" + name;
    if (attempt > 1) {
      candidate = folder + "\\" + name.substr(0, dot) + "_" + std::to_string(attempt) +
                  (dot == std::string::npos ? "" : name.substr(dot));
    }
    if (!net::FileExists(ShareForm(serverName, candidate))) return candidate;
  }
  return {};
}

}  // namespace tamsel::collector
