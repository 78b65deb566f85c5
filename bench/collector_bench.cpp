// End-to-end throughput of a collection pass: a server's Application log of N records (ten
// sources with message and category files, twenty accounts, insertion strings) archived,
// read, resolved and stored, against a raw prepared INSERT of as many rows into the same
// schema in the same run; and the peak memory of passes over logs of different sizes.
//
//   collector_bench [--count N] [--small N] [--message-file PATH]
// The message file defaults to the test message DLL of the same build
// (<build>/tests/collector_messages.dll).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collector/collector_service.h"
#include "database/database_file.h"
#include "platform/accounts/account_names.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "testing/temp_dir.h"

namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;
namespace evl = tamsel::platform::eventlog;
namespace acc = tamsel::platform::accounts;
namespace data = tamsel::platform::data;

constexpr int kSources = 10;
constexpr int kUsers = 20;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory since the last reset (VmHWM), or the present one (VmRSS), in KiB.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}
long PeakKiB() { return StatusKiB("VmHWM:"); }
long ResidentKiB() { return StatusKiB("VmRSS:"); }
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "collector_bench: %s failed\n", what);
    std::exit(1);
  }
}

// A monitored server with its Windows folder, an Application log large enough for the run,
// the message file, ten sources and twenty accounts.
void MakeServer(const std::string& name, const std::filesystem::path& messageFile) {
  const net::Network& network = net::Network::Current();
  network.CreateMachineFolder(name);
  auto machine = network.OpenMachine(name);
  for (const char* folder :
       {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32\\config"}) {
    machine->CreateFolder(folder);
  }
  std::filesystem::path host;
  Check(network.ResolvePath("\\\\" + name + "\\C$\\WINDOWS\\system32", host) == 0, "resolve");
  std::filesystem::copy_file(messageFile, host / "coll.dll");
  reg::RegistryKey root, key;
  Check(reg::RegistryKey::Connect(name, reg::HKEY_LOCAL_MACHINE, root) == 0, "connect");
  reg::RegistryKey::Create(root.Get(), reg::kWindowsVersionKey, key);
  key.SetString("SystemRoot", "C:\\WINDOWS");
  reg::RegistryKey::Create(root.Get(), std::string(evl::kEventLogKey) + "\\Application", key);
  key.SetString("File", "%SystemRoot%\\system32\\config\\AppEvent.Evt", reg::REG_EXPAND_SZ);
  key.SetDword("MaxSize", 0x8000000);
  key.SetDword("Retention", 0);
  for (int source = 0; source < kSources; ++source) {
    reg::RegistryKey::Create(
        root.Get(),
        std::string(evl::kEventLogKey) + "\\Application\\Source" + std::to_string(source), key);
    key.SetString("EventMessageFile", "%SystemRoot%\\system32\\coll.dll", reg::REG_EXPAND_SZ);
    key.SetString("CategoryMessageFile", "%SystemRoot%\\system32\\coll.dll", reg::REG_EXPAND_SZ);
    key.SetDword("CategoryCount", 2);
    key.SetDword("TypesSupported", 7);
  }
  for (int user = 0; user < kUsers; ++user) {
    acc::AddAccount(name, acc::MachineDomainSid(name).WithRid(1000 + user),
                    "user" + std::to_string(user));
  }
}

// Writes `count` events: varied sources, types, messages (one with severity bits, one with
// two lines), categories, users and insertion strings.
void WriteEvents(const std::string& name, int count) {
  std::vector<evl::EventLogHandle> sources;
  for (int source = 0; source < kSources; ++source) {
    sources.emplace_back(
        evl::RegisterEventSourceA(name.c_str(), ("Source" + std::to_string(source)).c_str()));
  }
  std::vector<std::vector<std::uint8_t>> sids;
  for (int user = 0; user < kUsers; ++user) {
    sids.push_back(acc::MachineDomainSid(name).WithRid(1000 + user).Bytes());
  }
  static const std::uint32_t kIds[] = {1000, 1001, 0xC0001B7Cu, 1003};
  static const std::uint16_t kTypes[] = {1, 2, 4, 8, 16};
  for (int i = 0; i < count; ++i) {
    const std::string a = "item " + std::to_string(i);
    const std::string b = "the operation completed after " + std::to_string(i % 977) + " ms";
    const char* strings[] = {a.c_str(), b.c_str(), "third"};
    Check(evl::ReportEventA(sources[i % kSources].Get(), kTypes[i % 5],
                            static_cast<std::uint16_t>(i % 3), kIds[i % 4],
                            i % kUsers == 0 ? nullptr : sids[i % kUsers].data(), 3, 0, strings,
                            nullptr) != 0,
          "ReportEventA");
  }
}

// One prepared INSERT per row into the same schema, in one transaction.
double RawInsertRate(int count) {
  const auto file = tamsel::db::LocalCatalogFile("Raw");
  tamsel::db::CreateDatabase(file);
  auto session = data::Session::Open(file);
  session->Execute(
      "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01');"
      "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application');"
      "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Source0');"
      "INSERT INTO EventCategory (EventCategoryID, EventCategoryName) VALUES (2, 'Disk');"
      "INSERT INTO ELUser (ELUserID, ELUserName) VALUES (2, 'SRV01\\user1');");
  const auto start = std::chrono::steady_clock::now();
  session->Execute("BEGIN IMMEDIATE");
  auto insert = session->Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage) VALUES (1, 1, ?, ?, ?, ?, ?, 2, 1, 2, 1, ?)");
  for (int i = 0; i < count; ++i) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-07 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60,
                  i % 60);
    insert.BindInt64(1, i + 1)
        .BindText(2, time)
        .BindText(3, time)
        .BindInt64(4, 1000 + i % 4)
        .BindInt64(5, 4)
        .BindText(6, "First line: item " + std::to_string(i) +
                         "<br>Second line: the operation completed after " +
                         std::to_string(i % 977) + " ms<br>");
    insert.Run();
    insert.Reset();
  }
  session->Execute("COMMIT");
  return count / Seconds(start);
}

struct PassResult {
  double seconds = 0;
  long stored = 0;
  long growthKiB = 0;  // peak resident memory above the resident memory at the start
};

long StoredFor(int serverId) {
  auto session = data::Session::Open(tamsel::db::LocalCatalogFile("TamselDB"));
  auto rows = session->Prepare("SELECT COUNT(*) FROM LogEntry WHERE ELServerID = ?");
  rows.BindInt64(1, serverId);
  rows.Step();
  return rows.Int64(0);
}

// Writes `count` events on a fresh server and collects them in one pass. With `keptBackup`
// the log is archived first, outside the measurement, so the pass measures the collector's
// own work on the backup (reading, resolving, storing) without the server's archiving, which
// in this network runs in the same process.
PassResult CollectRun(const std::string& server, int serverId, int count,
                      const std::filesystem::path& messageFile, bool keptBackup) {
  MakeServer(server, messageFile);
  {
    auto session = data::Session::Open(tamsel::db::LocalCatalogFile("TamselDB"));
    session->Execute("UPDATE ELServer SET Status = 0");
    session->Execute("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (" +
                     std::to_string(serverId) + ", '" + server + "')");
  }
  WriteEvents(server, count);
  tamsel::collector::CCollectorService collector("Tamsel");
  collector.ntAuthentication_ = 1;
  collector.backupPath_ = "D:\\EvtBak";
  if (keptBackup) {
    std::string backup;
    Check(collector.ArchiveAndClearLog(server, "Application", backup) == 0, "archive");
  }
  // A server's registry and message files were set up long before its events are collected;
  // the collector only keeps answers from files that have been quiet for two seconds.
  sleep(3);
  ResetPeak();
  const long startKiB = ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  Check(collector.CollectAll() == 0, "CollectAll");
  PassResult result;
  result.seconds = Seconds(start);
  result.growthKiB = PeakKiB() - startKiB;
  result.stored = StoredFor(serverId);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 100000;
  int small = 10000;
  std::filesystem::path messageFile =
      std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "tests" /
      "collector_messages.dll";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--count") count = std::atoi(argv[i + 1]);
    if (arg == "--small") small = std::atoi(argv[i + 1]);
    if (arg == "--message-file") messageFile = argv[i + 1];
  }
  if (!std::filesystem::exists(messageFile)) {
    std::fprintf(stderr, "collector_bench: message file %s not found (--message-file)\n",
                 messageFile.c_str());
    return 1;
  }
  tamsel::testing::ScopedTempDir temp;
  net::ScopedCurrentNetwork network(net::Network(temp.Path(), "COLLECTOR"));
  net::Network::Current().CreateMachineFolder("COLLECTOR");
  setenv("SystemRoot", "C:\\WINDOWS", 1);
  tamsel::db::CreateDatabase(tamsel::db::LocalCatalogFile("TamselDB"));

  const double raw = RawInsertRate(count);
  const PassResult pass = CollectRun("SRV01", 1, count, messageFile, false);
  const PassResult smallRead = CollectRun("SMALL", 2, small, messageFile, true);
  const PassResult largeRead = CollectRun("LARGE", 3, count, messageFile, true);
  Check(pass.stored == count && smallRead.stored == small && largeRead.stored == count,
        "storing every record");
  const double rate = count / pass.seconds;
  std::printf("records                                   %d\n", count);
  std::printf("raw prepared INSERT, one txn              %9.0f rows/s\n", raw);
  std::printf("whole pass (archive, read, resolve, store) %8.0f records/s (%.2f s)\n", rate,
              pass.seconds);
  std::printf("ratio pass / raw                          %9.2f\n", rate / raw);
  std::printf("collector's work on a kept backup         %9.0f records/s\n",
              count / largeRead.seconds);
  std::printf("memory growth of a pass, %6d records   %9ld KiB (whole pass)\n", count,
              pass.growthKiB);
  std::printf("memory growth, collector's work, %6d   %9ld KiB\n", small, smallRead.growthKiB);
  std::printf("memory growth, collector's work, %6d   %9ld KiB\n", count, largeRead.growthKiB);
  return 0;
}
