// CCollectorService's archiving of a log: the backup folder made on the server, a backup
// name that no earlier backup of the log had, and the log archived into it and cleared in
// one step; an operator is told when a log cannot be archived.
#include <filesystem>

#include "collector/backup_files.h"
#include "collector/collector_service.h"
#include "platform/eventlog/event_log.h"
#include "platform/network/crash_point.h"
#include "platform/network/files.h"
#include "platform/network/last_error.h"
#include "platform/registry/registry.h"

namespace tamsel::collector {

namespace evl = platform::eventlog;
namespace net = platform::network;
namespace reg = platform::registry;

namespace {

constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";

// 0 when the share folder exists as a folder once the chain below it is made.
platform::Win32Error MakeBackupFolder(const std::string& shareFolder) {
  for (const std::string& folder : BackupFolderChain(shareFolder)) net::CreateFolder(folder);
  const platform::Win32Error created = net::CreateFolder(shareFolder);
  if (created != 0 && created != platform::ERROR_ALREADY_EXISTS) return created;
  std::filesystem::path host;
  std::error_code error;
  if (net::ResolveWindowsPath(shareFolder, host) != 0 ||
      !std::filesystem::is_directory(host, error)) {
    return platform::ERROR_PATH_NOT_FOUND;
  }
  return 0;
}

}  // namespace

int CCollectorService::ArchiveAndClearLog(const std::string& serverName, int serverId,
                                          const std::string& logName, std::string& backupFile) {
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
    if (!log) {
      ReportNotArchived(serverName, logName, "", platform::GetLastError());
      return -1;
    }
    if (const platform::Win32Error made = MakeBackupFolder(ShareForm(serverName, backupPath_))) {
      // One event per server and pass: no log of the server can be archived.
      if (backupFolderReported_.insert(serverName).second) {
        const std::string text = "The backup folder " + backupPath_ + " of server " + serverName +
                                 " cannot be created (error " + std::to_string(made) +
                                 "), so its event logs are not archived or cleared.";
        ReportServiceEvent(service::EVENTLOG_ERROR_TYPE, service::EVMSG_WARNING, text.c_str());
      }
      return -1;
    }
    if (ChooseBackupName(serverId, logName, backupFile) != 0) return -1;
    if (!evl::ClearEventLogA(log.Get(), backupFile.c_str())) {
      ReportNotArchived(serverName, logName, backupFile, platform::GetLastError());
      return -1;
    }
    net::CrashPoint("collector.log.archived");
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

int CCollectorService::ChooseBackupName(int serverId, const std::string& logName,
                                        std::string& backupFile) {
  // The name carries the time of the clear; when stored records already carry it (a second
  // clear within the same second, or a clock set back) the next second's name is tried. A
  // file of that name still on the server makes the clear fail: it is never overwritten.
  const std::time_t now = CollectorTime();
  for (int step = 0; step < kBackupNameTries; ++step) {
    std::string candidate = BackupFileName(backupPath_, logName, now + step);
    int known = 0;
    if (CheckBackupKnown(serverId, logName, candidate, known) != 0) return -1;
    if (known == 0) {
      backupFile = std::move(candidate);
      return 0;
    }
  }
  return -1;
}

void CCollectorService::ReportNotArchived(const std::string& serverName, const std::string& logName,
                                          const std::string& backupFile,
                                          platform::Win32Error error) {
  std::string text = "The " + logName + " log of server " + serverName;
  const std::string file = LogFileValue(serverName, logName);
  if (!file.empty()) text += " (file " + file + ")";
  text += backupFile.empty() ? " could not be opened" : " could not be archived into " + backupFile;
  text += " (error " + std::to_string(error) + "); it is left as it is";
  if (error == platform::ERROR_EVENTLOG_FILE_CORRUPT) text += ": the log file is damaged";
  text += ".";
  ReportServiceEvent(service::EVENTLOG_ERROR_TYPE, service::EVMSG_WARNING, text.c_str());
}

std::string CCollectorService::LogFileValue(const std::string& serverName,
                                            const std::string& logName) {
  reg::HKEY remote = nullptr;
  if (reg::RegConnectRegistryA(serverName.c_str(), reg::HKEY_LOCAL_MACHINE, &remote) != 0) {
    return {};
  }
  std::string file;
  reg::HKEY key = nullptr;
  if (reg::RegOpenKeyExA(remote, (kEventLogKey + logName).c_str(), 0, reg::KEY_READ, &key) == 0) {
    file = ReadBoundedString(key, "File", "");
    reg::RegCloseKey(key);
  }
  reg::RegCloseKey(remote);
  return file;
}

}  // namespace tamsel::collector
