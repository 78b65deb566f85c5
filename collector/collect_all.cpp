// CCollectorService's collection pass: the active servers read from the database, each
// server's logs listed through its remote registry and handed to the log reader.
#include <cstdlib>

#include "collector/backup_files.h"
#include "collector/collector_service.h"
#include "platform/data/command.h"
#include "platform/network/crash_point.h"

namespace tamsel::collector {

namespace data = platform::data;
namespace reg = platform::registry;

namespace {

constexpr const char* kServerQuery =
    "SELECT ELServerID = ELServerID, ELServerName = ELServerName FROM ELServer WHERE Status = 1";
constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
// The server id travels to the database as a 16-bit number.
constexpr int kLowestServerId = -32768;
constexpr int kHighestServerId = 32767;

}  // namespace

int CCollectorService::CollectAll() {
  emptyBackupPathReported_ = false;
  backupFolderReported_.clear();
  databaseLost_ = false;
  passSplit_ = PassSplit();
  int result = ReadServerList();
  platform::network::CrashPoint("collector.pass.listed");
  if (result == 0 && serverList_.empty()) result = 1;
  if (result == 0) {
    for (const std::string& entry : serverList_) {
      const size_t separator = entry.find(';');
      const long long serverId = std::strtoll(entry.substr(0, separator).c_str(), nullptr, 10);
      const std::string serverName =
          separator == std::string::npos ? std::string() : entry.substr(separator + 1);
      if (serverId < kLowestServerId || serverId > kHighestServerId) {
        ReportUnstorableServer(serverId, serverName);
      } else {
        CollectServer(static_cast<int>(serverId), serverName);
      }
    }
  }
  CloseDatabase();
  // A server that dropped the pass's connection (going down, or ending it) is told as a
  // failed server list is; the records it did not take stay in kept backups.
  if (databaseLost_ && result >= 0) result = -1;
  TraceMessage(
      "Collection pass done (%d) over %zu server(s): archiving %.3f s, reading %.3f s (reader "
      "CPU %.3f s, storer CPU %.3f s, commits %.3f s), deleting backups %.3f s",
      result, serverList_.size(), passSplit_.archiveSeconds, passSplit_.readSeconds,
      passSplit_.readerCpuSeconds, passSplit_.storerCpuSeconds, passSplit_.commitSeconds,
      passSplit_.deleteSeconds);
  serverList_.clear();
  // Nothing of a pass is held until the next one.
  moduleCache_.Clear();
  registryStamps_.Clear();
  messageFiles_.Clear();
  accountNames_.Clear();
  return result;
}

void CCollectorService::ReportUnstorableServer(long long serverId, const std::string& serverName) {
  // Its records could never be stored: archiving and clearing its logs would only pile up
  // backups that every pass reads again.
  const std::string text = "The server " + serverName + " has the id " + std::to_string(serverId) +
                           ", which the database writer cannot carry (the id must be from " +
                           std::to_string(kLowestServerId) + " to " +
                           std::to_string(kHighestServerId) +
                           "). The server is skipped and its event logs are left untouched.";
  ReportServiceEvent(service::EVENTLOG_ERROR_TYPE, service::EVMSG_WARNING, text.c_str());
}

int CCollectorService::ReadServerList() {
  serverList_.clear();
  const int opened = OpenDatabase();
  if (opened != 0) return opened;
  try {
    data::Command command;
    command.SetActiveConnection(*connection_);
    command.SetCommandText(kServerQuery);
    data::Recordset rows = command.Execute(0);
    if (rows.State() == data::adStateOpen) {
      while (!rows.IsEOF()) {
        // A NULL name cannot become text: the whole list fails.
        std::string id = rows["ELServerID"].CStr();
        std::string name = rows["ELServerName"].CStr();
        serverList_.push_back(id + ";" + name);
        rows.MoveNext();
      }
      rows.Close();
    }
    return 0;
  } catch (const std::exception&) {
    serverList_.clear();
    return -1;
  }
}

int CCollectorService::CollectServer(int serverId, const std::string& serverName) {
  std::vector<std::string> logs;
  const long connected = EnumerateLogs(serverName, logs);
  if (connected != 0) {
    // Skipped for this pass; operators are not told, developers are.
    TraceMessage("Server %s skipped: remote registry error %ld", serverName.c_str(), connected);
    if (OpenDatabase() != 0 ||
        !LedgerRecorder::WriteOffline(*connection_, serverId, CollectorTime())) {
      TraceMessage("Ledger row of offline server %s not written", serverName.c_str());
    }
    return static_cast<int>(connected);
  }
  int result = 0;
  for (const std::string& log : logs) result = CollectLog(serverName, serverId, log);
  return result;
}

long CCollectorService::EnumerateLogs(const std::string& serverName,
                                      std::vector<std::string>& logs) {
  reg::HKEY remote = nullptr;
  const long connected =
      reg::RegConnectRegistryA(serverName.c_str(), reg::HKEY_LOCAL_MACHINE, &remote);
  if (connected != 0) return connected;
  reg::HKEY eventLog = nullptr;
  if (reg::RegOpenKeyExA(remote, kEventLogKey, 0, reg::KEY_ENUMERATE_SUB_KEYS, &eventLog) == 0) {
    char name[256];
    for (reg::DWORD index = 0;; ++index) {
      reg::DWORD size = sizeof name;
      if (reg::RegEnumKeyExA(eventLog, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          0) {
        break;
      }
      logs.emplace_back(name);
    }
    reg::RegCloseKey(eventLog);
  }
  reg::RegCloseKey(remote);
  return connected;
}

}  // namespace tamsel::collector
