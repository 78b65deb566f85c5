// End-to-end throughput of a collection pass: a server's Application log of N records (ten
// sources with message and category files, twenty accounts, insertion strings) archived,
// read, resolved and stored, against a raw prepared INSERT of as many rows into the same
// schema in the same run; the peak memory of passes over logs of different sizes; and the same
// pass over a machine of version 6.3, whose log is an .evtx file; and the same pass with and
// without the completeness ledger, with the ledger's cost in per cent.
//
//   collector_bench [--count N] [--small N] [--runs N] [--prefill N] [--data DIR]
//                   [--message-file PATH]
// Each figure is the median of --runs runs (5 by default). Without --prefill every run
// stores into an empty database; with it, into one that already holds N entries spread over
// the year before now (all runs share it, so it grows by their records). --data keeps the
// generated history in DIR for later invocations. The message file defaults to the test
// message DLL of the same build (<build>/tests/collector_messages.dll).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
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
namespace bench = tamsel::bench;
namespace fs = std::filesystem;

constexpr int kSources = 10;
constexpr int kUsers = 20;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "collector_bench: %s failed\n", what);
    std::exit(1);
  }
}

// A monitored server with its Windows folder, an Application log large enough for the run,
// the message file, ten sources and twenty accounts.
void MakeServer(const std::string& name, const std::filesystem::path& messageFile, bool modern) {
  const net::Network& network = net::Network::Current();
  network.CreateMachineFolder(name);
  auto machine = network.OpenMachine(name);
  for (const char* folder :
       {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32\\config",
        "C:\\WINDOWS\\system32\\winevt", "C:\\WINDOWS\\system32\\winevt\\Logs"}) {
    machine->CreateFolder(folder);
  }
  std::filesystem::path host;
  Check(network.ResolvePath("\\\\" + name + "\\C$\\WINDOWS\\system32", host) == 0, "resolve");
  std::filesystem::copy_file(messageFile, host / "coll.dll");
  reg::RegistryKey root, key;
  Check(reg::RegistryKey::Connect(name, reg::HKEY_LOCAL_MACHINE, root) == 0, "connect");
  reg::RegistryKey::Create(root.Get(), reg::kWindowsVersionKey, key);
  key.SetString("SystemRoot", "C:\\WINDOWS");
  key.SetString("CurrentVersion", modern ? "6.3" : "5.2");
  reg::RegistryKey::Create(root.Get(), std::string(evl::kEventLogKey) + "\\Application", key);
  key.SetString("File",
                modern ? "%SystemRoot%\\system32\\winevt\\Logs\\Application.evtx"
                       : "%SystemRoot%\\system32\\config\\AppEvent.Evt",
                reg::REG_EXPAND_SZ);
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

// The key of a lookup name, added when missing.
std::int64_t NameKey(data::Session& session, const std::string& table, const std::string& column,
                     const std::string& name) {
  session.Prepare("INSERT OR IGNORE INTO " + table + " (" + column + ") VALUES (?)")
      .BindText(1, name)
      .Run();
  auto key = session.Prepare("SELECT rowid FROM " + table + " WHERE " + column + " = ?");
  key.BindText(1, name);
  key.Step();
  return key.Int64(0);
}

// One prepared INSERT per row into the database `file`, in one transaction, as a server of
// its own: the rows the pass stores, with their lookup keys known.
double RawInsertRate(const fs::path& file, int serverId, int count) {
  auto session = data::Session::Open(file);
  session->Prepare("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (?, ?, 0)")
      .BindInt64(1, serverId)
      .BindText(2, "RAW" + std::to_string(serverId))
      .Run();
  const std::int64_t log = NameKey(*session, "LogType", "LogTypeName", "Application");
  const std::int64_t source = NameKey(*session, "ELSource", "ELSourceName", "Source0");
  const std::int64_t category = NameKey(*session, "EventCategory", "EventCategoryName", "Disk");
  const std::int64_t user = NameKey(*session, "ELUser", "ELUserName", "SRV01\\user1");
  const std::int64_t firstSecond = std::time(nullptr);
  const auto start = std::chrono::steady_clock::now();
  session->Execute("BEGIN IMMEDIATE");
  auto insert = session->Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?)");
  for (int i = 0; i < count; ++i) {
    const std::string time = bench::IsoTime(firstSecond + i / 100);
    insert.BindInt64(1, serverId)
        .BindInt64(2, log)
        .BindInt64(3, i + 1)
        .BindText(4, time)
        .BindText(5, time)
        .BindInt64(6, 1000 + i % 4)
        .BindInt64(7, 4)
        .BindInt64(8, category)
        .BindInt64(9, user)
        .BindInt64(10, source)
        .BindText(11, "First line: item " + std::to_string(i) +
                          "<br>Second line: the operation completed after " +
                          std::to_string(i % 977) + " ms<br>");
    insert.Run();
    insert.Reset();
  }
  session->Execute("COMMIT");
  return count / bench::SecondsSince(start);
}

struct PassResult {
  double seconds = 0;
  double cpuSeconds = 0;  // of every thread of the process: what load on the machine hides
  long stored = 0;
  long growthKiB = 0;  // peak resident memory above the resident memory at the start
};

struct Server {
  std::string name;
  int id;
  int count;
  // Archived before the measurement, so the pass measures the collector's own work on the
  // backup (reading, resolving, storing) without the server's archiving, which in this
  // network runs in the same process.
  bool keptBackup;
  bool modern = false;  // version 6.3: the log is an .evtx file
};

void Configure(tamsel::collector::CCollectorService& collector) {
  collector.ntAuthentication_ = 1;
  collector.backupPath_ = "D:\\EvtBak";
}

void PrepareServer(const Server& server, const fs::path& messageFile) {
  MakeServer(server.name, messageFile, server.modern);
  WriteEvents(server.name, server.count);
  if (server.keptBackup) {
    tamsel::collector::CCollectorService collector("Tamsel");
    Configure(collector);
    std::string backup;
    Check(collector.ArchiveAndClearLog(server.name, server.id, "Application", backup) == 0,
          "archive");
  }
}

long RowsFor(const char* table, int serverId) {
  auto session = data::Session::Open(tamsel::db::LocalCatalogFile("TamselDB"));
  auto rows =
      session->Prepare(std::string("SELECT COUNT(*) FROM ") + table + " WHERE ELServerID = ?");
  rows.BindInt64(1, serverId);
  rows.Step();
  return rows.Int64(0);
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Collects the server, the only active one, in one pass; `ledger` false runs it without the
// completeness ledger, the baseline of what the ledger costs.
PassResult CollectPass(const Server& server, bool ledger = true) {
  {
    auto session = data::Session::Open(tamsel::db::LocalCatalogFile("TamselDB"));
    session->Execute("UPDATE ELServer SET Status = 0");
    session->Prepare("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (?, ?)")
        .BindInt64(1, server.id)
        .BindText(2, server.name)
        .Run();
  }
  tamsel::collector::CCollectorService collector("Tamsel");
  Configure(collector);
  collector.ledger_.SetEnabled(ledger);
  bench::ResetPeak();
  const long startKiB = bench::ResidentKiB();
  const double startCpu = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  Check(collector.CollectAll() == 0, "CollectAll");
  PassResult result;
  result.seconds = bench::SecondsSince(start);
  result.cpuSeconds = ProcessCpuSeconds() - startCpu;
  result.growthKiB = bench::PeakKiB() - startKiB;
  result.stored = RowsFor("LogEntry", server.id);
  Check(result.stored == server.count, "storing every record");
  Check(RowsFor("CollectionLedger", server.id) == (ledger ? 1 : 0), "the ledger switch");
  return result;
}

void RemoveDatabase(const fs::path& file) {
  data::SessionPool::Instance().Clear();
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
}

struct Options {
  int count = 100000;
  int small = 10000;
  int runs = 5;
  std::int64_t prefill = 0;
  std::optional<fs::path> dataDir;
  fs::path messageFile = fs::canonical("/proc/self/exe").parent_path().parent_path() / "tests" /
                         "collector_messages.dll";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value != nullptr && arg == "--count") {
      options.count = std::atoi(value);
    } else if (value != nullptr && arg == "--small") {
      options.small = std::atoi(value);
    } else if (value != nullptr && arg == "--runs") {
      options.runs = std::max(1, std::atoi(value));
    } else if (value != nullptr && arg == "--prefill") {
      options.prefill = std::atoll(value);
    } else if (value != nullptr && arg == "--data") {
      options.dataDir = fs::absolute(value);
    } else if (value != nullptr && arg == "--message-file") {
      options.messageFile = value;
    } else {
      std::fprintf(stderr,
                   "usage: collector_bench [--count N] [--small N] [--runs N] [--prefill N] "
                   "[--data DIR] [--message-file PATH]\n");
      std::exit(2);
    }
    ++i;
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (!fs::exists(options.messageFile)) {
    std::fprintf(stderr, "collector_bench: message file %s not found (--message-file)\n",
                 options.messageFile.c_str());
    return 1;
  }
  std::printf("load average at start %.2f\n", bench::LoadAverage());
  tamsel::testing::ScopedTempDir temp;
  net::ScopedCurrentNetwork network(net::Network(temp.Path(), "COLLECTOR"));
  net::Network::Current().CreateMachineFolder("COLLECTOR");
  setenv("SystemRoot", "C:\\WINDOWS", 1);

  std::vector<Server> passes;
  for (int run = 1; run <= options.runs; ++run) {
    passes.push_back({"SRV" + std::to_string(run), run, options.count, false});
  }
  std::vector<Server> modernPasses;
  for (int run = 1; run <= options.runs; ++run) {
    modernPasses.push_back({"MODERN" + std::to_string(run), 300 + run, options.count, false, true});
  }
  // The same pass with and without the ledger, one after the other in each run.
  std::vector<Server> ledgerPasses, plainPasses;
  for (int run = 1; run <= options.runs; ++run) {
    ledgerPasses.push_back({"LEDGER" + std::to_string(run), 400 + run, options.count, false});
    plainPasses.push_back({"PLAIN" + std::to_string(run), 500 + run, options.count, false});
  }
  const Server smallRead{"SMALL", 101, options.small, true};
  const Server largeRead{"LARGE", 102, options.count, true};
  const Server modernRead{"LARGE63", 103, options.count, true, true};
  // Archiving asks the database which backup names are taken, so one is there meanwhile.
  tamsel::db::CreateDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
  for (const Server& server : passes) PrepareServer(server, options.messageFile);
  for (const Server& server : modernPasses) PrepareServer(server, options.messageFile);
  for (const Server& server : ledgerPasses) PrepareServer(server, options.messageFile);
  for (const Server& server : plainPasses) PrepareServer(server, options.messageFile);
  PrepareServer(smallRead, options.messageFile);
  PrepareServer(largeRead, options.messageFile);
  PrepareServer(modernRead, options.messageFile);
  RemoveDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
  // A server's registry and message files were set up long before its events are collected;
  // the collector only keeps answers from files that have been quiet for two seconds.
  sleep(3);

  const fs::path database = tamsel::db::LocalCatalogFile("TamselDB");
  const fs::path rawDatabase = tamsel::db::LocalCatalogFile("Raw");
  if (options.prefill > 0) {
    const std::int64_t yearAgo = std::time(nullptr) - 365LL * 86400;
    bench::CopyHistoryDatabase(options.dataDir.value_or(temp.Path() / "history"),
                               {options.prefill, yearAgo}, database);
  }
  std::printf("records %d, database holding %lld entries before the runs, %d runs\n", options.count,
              static_cast<long long>(options.prefill), options.runs);
  std::printf("| run | raw INSERT rows/s | pass records/s | pass / raw | load |\n");
  std::printf("|----:|------------------:|---------------:|-----------:|-----:|\n");
  std::vector<double> raws, rates, ratios, modernRates, modernRatios, withLedger, withoutLedger,
      withLedgerCpu, withoutLedgerCpu;
  for (int run = 0; run < options.runs; ++run) {
    if (options.prefill == 0) {
      RemoveDatabase(database);
      RemoveDatabase(rawDatabase);
      tamsel::db::CreateDatabase(database);
      tamsel::db::CreateDatabase(rawDatabase);
    }
    const double raw =
        RawInsertRate(options.prefill > 0 ? database : rawDatabase, 201 + run, options.count);
    const PassResult pass = CollectPass(passes[run]);
    const double rate = options.count / pass.seconds;
    raws.push_back(raw);
    rates.push_back(rate);
    ratios.push_back(rate / raw);
    const PassResult modern = CollectPass(modernPasses[run]);
    modernRates.push_back(options.count / modern.seconds);
    modernRatios.push_back(pass.seconds / modern.seconds);
    // Which goes first alternates, so the database's growth within a run favours neither.
    auto plain = [&] {
      const PassResult result = CollectPass(plainPasses[run], false);
      withoutLedger.push_back(result.seconds);
      withoutLedgerCpu.push_back(result.cpuSeconds);
    };
    if (run % 2 == 0) plain();
    const PassResult ledger = CollectPass(ledgerPasses[run], true);
    withLedger.push_back(ledger.seconds);
    withLedgerCpu.push_back(ledger.cpuSeconds);
    if (run % 2 == 1) plain();
    std::printf("| %3d | %17.0f | %14.0f | %10.2f | %4.2f |\n", run + 1, raw, rate, rate / raw,
                bench::LoadAverage());
    std::fflush(stdout);
  }
  const PassResult small = CollectPass(smallRead);
  const PassResult large = CollectPass(largeRead);
  const PassResult modernLarge = CollectPass(modernRead);
  std::printf("\nmedians of %d runs\n", options.runs);
  std::printf("raw prepared INSERT, one txn              %9.0f rows/s\n", bench::Median(raws));
  std::printf("whole pass (archive, read, resolve, store) %8.0f records/s\n", bench::Median(rates));
  std::printf("ratio pass / raw                          %9.2f\n", bench::Median(ratios));
  std::printf("collector's work on a kept backup         %9.0f records/s\n",
              options.count / large.seconds);
  std::printf("memory growth, collector's work, %6d   %9ld KiB\n", options.small, small.growthKiB);
  std::printf("memory growth, collector's work, %6d   %9ld KiB\n", options.count, large.growthKiB);
  std::printf("whole pass, .evtx log (version 6.3)       %9.0f records/s\n",
              bench::Median(modernRates));
  std::printf("ratio .evtx pass / .evt pass              %9.2f\n", bench::Median(modernRatios));
  std::printf("collector's work on a kept .evtx backup   %9.0f records/s\n",
              options.count / modernLarge.seconds);
  std::printf("memory growth, collector's work, .evtx    %9ld KiB\n", modernLarge.growthKiB);
  const double ledgerSeconds = bench::Median(withLedger);
  const double plainSeconds = bench::Median(withoutLedger);
  std::printf("pass without the completeness ledger      %9.0f records/s\n",
              options.count / plainSeconds);
  std::printf("pass with the completeness ledger         %9.0f records/s\n",
              options.count / ledgerSeconds);
  std::printf("ledger's cost per pass, time (limit 2 %%)  %+8.1f %%\n",
              100.0 * (ledgerSeconds - plainSeconds) / plainSeconds);
  const double ledgerCpu = bench::Median(withLedgerCpu);
  const double plainCpu = bench::Median(withoutLedgerCpu);
  std::printf("ledger's cost per pass, CPU time          %+8.1f %%\n",
              100.0 * (ledgerCpu - plainCpu) / plainCpu);
  std::printf("load average at end %.2f\n", bench::LoadAverage());
  return 0;
}
