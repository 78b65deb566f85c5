// End-to-end throughput of a collection pass: a server's Application log of N records (ten
// sources with message and category files, twenty accounts, insertion strings) archived,
// read, resolved and stored, against a raw prepared INSERT of as many rows into the same
// schema in the same run; the peak memory of passes over logs of different sizes; and the same
// pass over a machine of version 6.3, whose log is an .evtx file; and the same pass with and
// without the completeness ledger, with the ledger's cost in per cent.
//
//   collector_bench [--count N] [--small N] [--runs N] [--pairs N] [--prefill N] [--data DIR]
//                   [--message-file PATH] [--ledger-only] [--callgrind-pass with|without]
// Each figure is the median of --runs runs (5 by default). Without --prefill every run
// stores into an empty database; with it, into one that already holds N entries spread over
// the year before now (all runs share it, so it grows by their records). --data keeps the
// generated history in DIR for later invocations. The message file defaults to the test
// message DLL of the same build (<build>/tests/collector_messages.dll).
// The ledger's cost comes from --pairs pairs of passes (6 by default), each pass into a fresh
// database; --ledger-only measures only that. --callgrind-pass runs one pass with or without
// the ledger for bench/ledger_cost.sh, which counts its instructions under callgrind.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_server.h"
#include "bench/bench_support.h"
#include "collector/collector_service.h"
#include "database/database_file.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

namespace net = tamsel::platform::network;
namespace data = tamsel::platform::data;
namespace bench = tamsel::bench;
namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "collector_bench: %s failed\n", what);
    std::exit(1);
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
// its own: the rows the pass stores, with their lookup keys known. The thread's CPU time of
// it lands in `cpuSeconds`.
double RawInsertRate(const fs::path& file, int serverId, int count, double& cpuSeconds) {
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
  const double startCpu = tamsel::collector::ThreadCpuSeconds();
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
  cpuSeconds = tamsel::collector::ThreadCpuSeconds() - startCpu;
  return count / bench::SecondsSince(start);
}

struct PassResult {
  double seconds = 0;
  tamsel::collector::PassSplit split;
  double cpuSeconds = 0;  // of every thread of the process: what load on the machine hides
  long stored = 0;
  long growthKiB = 0;  // peak resident memory above the resident memory at the start
  double rowMs = 0;    // the ledger row alone, when asked for
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
  bench::MakeBenchServer(server.name, messageFile, server.modern);
  bench::WriteBenchEvents(server.name, server.count);
  if (server.keptBackup) {
    tamsel::collector::CCollectorService collector("Tamsel");
    Configure(collector);
    std::string backup;
    Check(collector.ArchiveAndClearLog(server.name, server.id, "Application", backup) == 0,
          "archive");
  }
}

long RowsFor(const fs::path& file, const char* table, int serverId) {
  auto session = data::Session::Open(file);
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

// How a pass is run: `ledger` false runs it without the completeness ledger, the baseline of
// what the ledger costs; `catalog` is the database it stores into.
struct PassSetup {
  bool ledger = true;
  std::string catalog = "TamselDB";
  bool timeLedgerRow = false;  // times the ledger row again after the pass (PassResult::rowMs)
  bool instrumented = true;    // counted when run under callgrind (see CallgrindPass)
};

// Milliseconds of writing the ledger row of the pass `collector` has just made into `file`:
// the median of a few more rows like it. Each starts after a checkpoint that empties the WAL,
// the worst case, as when the pass's last commit has just checkpointed: the row then starts
// the WAL over, which costs SQLite a sync of its header.
double LedgerRowMilliseconds(tamsel::collector::CCollectorService& collector,
                             const fs::path& file) {
  Check(collector.OpenDatabase() == 0, "opening the database for the ledger row");
  auto checkpoints = data::Session::Open(file);
  std::vector<double> times;
  for (int row = 0; row < 9; ++row) {
    checkpoints->Execute("PRAGMA wal_checkpoint(RESTART)");
    const auto start = std::chrono::steady_clock::now();
    Check(collector.ledger_.Write(*collector.connection_, "read", std::time(nullptr)),
          "writing a ledger row");
    times.push_back(bench::SecondsSince(start) * 1000);
  }
  return bench::Median(times);
}

// Collects the server, the only active one, in one pass.
PassResult CollectPass(const Server& server, const PassSetup& setup = {}) {
  const fs::path file = tamsel::db::LocalCatalogFile(setup.catalog);
  {
    auto session = data::Session::Open(file);
    session->Execute("UPDATE ELServer SET Status = 0");
    session->Prepare("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (?, ?)")
        .BindInt64(1, server.id)
        .BindText(2, server.name)
        .Run();
  }
  tamsel::collector::CCollectorService collector("Tamsel");
  Configure(collector);
  collector.catalog_ = setup.catalog;
  collector.ledger_.SetEnabled(setup.ledger);
  bench::ResetPeak();
  const long startKiB = bench::ResidentKiB();
  const double startCpu = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (setup.instrumented) CALLGRIND_START_INSTRUMENTATION;
  Check(collector.CollectAll() == 0, "CollectAll");
  if (setup.instrumented) CALLGRIND_STOP_INSTRUMENTATION;
  PassResult result;
  result.seconds = bench::SecondsSince(start);
  result.split = collector.passSplit_;
  result.cpuSeconds = ProcessCpuSeconds() - startCpu;
  result.growthKiB = bench::PeakKiB() - startKiB;
  result.stored = RowsFor(file, "LogEntry", server.id);
  Check(result.stored == server.count, "storing every record");
  Check(RowsFor(file, "CollectionLedger", server.id) == (setup.ledger ? 1 : 0),
        "the ledger switch");
  if (setup.timeLedgerRow) result.rowMs = LedgerRowMilliseconds(collector, file);
  return result;
}

// Where the whole pass's wall time went, as medians over the runs of each step.
// `rawCpu` is the raw INSERT's CPU time for as many rows, which the storing thread's is set
// against: a figure a busy machine disturbs less than wall times.
void PrintSplit(const std::vector<PassResult>& passes, double rawCpu) {
  auto median = [&](double tamsel::collector::PassSplit::*step) {
    std::vector<double> values;
    for (const PassResult& pass : passes) values.push_back(pass.split.*step);
    return bench::Median(values);
  };
  std::vector<double> totals, rests;
  for (const PassResult& pass : passes) {
    totals.push_back(pass.seconds);
    rests.push_back(pass.seconds - pass.split.archiveSeconds - pass.split.readSeconds -
                    pass.split.deleteSeconds);
  }
  const double total = bench::Median(totals);
  auto line = [&](const char* what, double seconds) {
    std::printf("  %-40s %8.1f ms %5.1f %%\n", what, seconds * 1000, 100 * seconds / total);
  };
  using Split = tamsel::collector::PassSplit;
  std::printf("split of the whole pass (medians; share of its wall time)\n");
  line("whole pass", total);
  line("archive (backup + clear of the log)", median(&Split::archiveSeconds));
  line("reading and storing the backup", median(&Split::readSeconds));
  line("  reading thread CPU (read + resolve)", median(&Split::readerCpuSeconds));
  line("  storing thread CPU (inserts, commits)", median(&Split::storerCpuSeconds));
  line("  commits (wall)", median(&Split::commitSeconds));
  line("deleting the backup", median(&Split::deleteSeconds));
  line("rest (servers, logs, ledger, connection)", bench::Median(rests));
  std::printf("storing thread CPU / raw INSERT CPU           %9.2f\n",
              median(&Split::storerCpuSeconds) / rawCpu);
}

void RemoveDatabase(const fs::path& file) {
  data::SessionPool::Instance().Clear();
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
}

struct Options {
  int count = 100000;
  int small = 10000;
  int runs = 5;
  int pairs = 6;
  std::int64_t prefill = 0;
  std::optional<fs::path> dataDir;
  bool ledgerOnly = false;
  std::optional<bool> callgrindPass;  // with the ledger or without it
  fs::path messageFile = fs::canonical("/proc/self/exe").parent_path().parent_path() / "tests" /
                         "collector_messages.dll";
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: collector_bench [--count N] [--small N] [--runs N] [--pairs N] "
               "[--prefill N] [--data DIR] [--message-file PATH] [--ledger-only] "
               "[--callgrind-pass with|without]\n");
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--ledger-only") {
      options.ledgerOnly = true;
      continue;
    }
    if (value != nullptr && arg == "--count") {
      options.count = std::atoi(value);
    } else if (value != nullptr && arg == "--small") {
      options.small = std::atoi(value);
    } else if (value != nullptr && arg == "--runs") {
      options.runs = std::max(1, std::atoi(value));
    } else if (value != nullptr && arg == "--pairs") {
      options.pairs = std::max(1, std::atoi(value));
    } else if (value != nullptr && arg == "--prefill") {
      options.prefill = std::atoll(value);
    } else if (value != nullptr && arg == "--data") {
      options.dataDir = fs::absolute(value);
    } else if (value != nullptr && arg == "--message-file") {
      options.messageFile = value;
    } else if (value != nullptr && arg == "--callgrind-pass" &&
               (std::string(value) == "with" || std::string(value) == "without")) {
      options.callgrindPass = std::string(value) == "with";
    } else {
      Usage();
    }
    ++i;
  }
  return options;
}

// The ledger's cost is measured in pairs of the same pass with and without it. Each pass
// stores into a database of its own, created just before it, so neither inherits the other's
// rows, WAL or checkpoints; which of the two goes first alternates, and the two servers'
// names are as long as each other, so the records stored are the same size.
constexpr const char* kLedgerCatalog = "TamselLedger";

struct LedgerPair {
  Server with, without;
};

// The pairs to measure after one pair whose passes warm the process and the files up.
std::vector<LedgerPair> LedgerPairs(int pairs, int count) {
  std::vector<LedgerPair> result;
  for (int pair = 0; pair <= pairs; ++pair) {
    const std::string number = std::to_string(100 + pair);
    result.push_back({{"PAIRW" + number, 400 + pair, count, false},
                      {"PAIRP" + number, 600 + pair, count, false}});
  }
  return result;
}

PassResult LedgerPass(const Server& server, bool ledger) {
  const fs::path file = tamsel::db::LocalCatalogFile(kLedgerCatalog);
  RemoveDatabase(file);
  tamsel::db::CreateDatabase(file);
  // Open throughout, as the service's pooled connection is between its passes: the last
  // connection to close would checkpoint and remove the WAL, and the pass's first write would
  // then pay for a new one, which a running service does not.
  auto kept = data::Session::Open(file);
  return CollectPass(server, {ledger, kLedgerCatalog, ledger});
}

double PerCent(double with, double without) { return 100.0 * (with - without) / without; }

// The median of the pairs' differences, their range, and about how far the median may stray
// by chance (twice its standard error, 1.25 standard deviations over the root of the count).
void PrintSpread(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  double mean = 0, squares = 0;
  for (double value : values) mean += value / values.size();
  for (double value : values) squares += (value - mean) * (value - mean);
  const double deviation = values.size() > 1 ? std::sqrt(squares / (values.size() - 1)) : 0;
  const size_t half = values.size() / 2;
  const double median =
      values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
  std::printf("%-42s %+8.2f %% +- %.2f  (pairs %+.2f .. %+.2f %%)\n", what, median,
              2 * 1.2533 * deviation / std::sqrt(static_cast<double>(values.size())),
              values.front(), values.back());
}

void MeasureLedger(std::vector<LedgerPair> pairs, int count) {
  LedgerPass(pairs.front().without, false);
  LedgerPass(pairs.front().with, true);
  pairs.erase(pairs.begin());
  std::printf("\nthe completeness ledger: %zu pairs of one pass with and one without it\n",
              pairs.size());
  std::printf("| pair | first   | without s | with s | time %% | CPU %% | row ms | load |\n");
  std::printf("|-----:|:--------|----------:|-------:|-------:|------:|-------:|-----:|\n");
  std::vector<double> with, without, timeDiffs, cpuDiffs, rowMs;
  for (size_t pair = 0; pair < pairs.size(); ++pair) {
    const bool withFirst = pair % 2 == 1;
    PassResult a, b;
    if (withFirst) a = LedgerPass(pairs[pair].with, true);
    b = LedgerPass(pairs[pair].without, false);
    if (!withFirst) a = LedgerPass(pairs[pair].with, true);
    with.push_back(a.seconds);
    without.push_back(b.seconds);
    timeDiffs.push_back(PerCent(a.seconds, b.seconds));
    cpuDiffs.push_back(PerCent(a.cpuSeconds, b.cpuSeconds));
    rowMs.push_back(a.rowMs);
    std::printf("| %4zu | %-7s | %9.3f | %6.3f | %+6.2f | %+5.2f | %6.2f | %4.2f |\n", pair + 1,
                withFirst ? "with" : "without", b.seconds, a.seconds, timeDiffs.back(),
                cpuDiffs.back(), a.rowMs, bench::LoadAverage());
    std::fflush(stdout);
  }
  std::printf("pass without the completeness ledger      %9.0f records/s\n",
              count / bench::Median(without));
  std::printf("pass with the completeness ledger         %9.0f records/s\n",
              count / bench::Median(with));
  PrintSpread("ledger's cost per pass, time (limit 2 %)", timeDiffs);
  PrintSpread("ledger's cost per pass, CPU time", cpuDiffs);
  const double row = bench::Median(rowMs);
  std::printf("ledger row, worst case (after a checkpoint) %8.2f ms (%.3f %% of the pass)\n", row,
              100.0 * row / 1000 / bench::Median(with));
  std::printf("instructions the ledger adds: bench/ledger_cost.sh (callgrind)\n");
}

// One pass, with or without the ledger, instrumented by callgrind only while it runs
// (valgrind --tool=callgrind --instr-atstart=no): its instruction count, set against the
// other's, is the ledger's share free of the machine's noise. A pass of another server goes
// first, as the service's earlier passes would: the process's pooled connection then holds
// the statements it prepared, the ledger's among them.
int CallgrindPass(const Options& options, bool ledger) {
  const Server warmup{"WARM01", 2, options.count, false};
  const Server server{"PASS01", 1, options.count, false};
  tamsel::db::CreateDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
  PrepareServer(warmup, options.messageFile);
  PrepareServer(server, options.messageFile);
  sleep(3);  // see MeasurePasses
  CollectPass(warmup, {ledger, "TamselDB", false, false});
  const PassResult pass = CollectPass(server, {ledger});
  std::printf("pass %s the ledger: %ld records in %.2f s\n", ledger ? "with" : "without",
              pass.stored, pass.seconds);
  return 0;
}

void MeasurePasses(const Options& options, const fs::path& messageFile, const fs::path& tempDir) {
  std::vector<Server> passes;
  for (int run = 1; run <= options.runs; ++run) {
    passes.push_back({"SRV" + std::to_string(run), run, options.count, false});
  }
  std::vector<Server> modernPasses;
  for (int run = 1; run <= options.runs; ++run) {
    modernPasses.push_back({"MODERN" + std::to_string(run), 300 + run, options.count, false, true});
  }
  const Server smallRead{"SMALL", 101, options.small, true};
  const Server largeRead{"LARGE", 102, options.count, true};
  const Server modernRead{"LARGE63", 103, options.count, true, true};
  for (const Server& server : passes) PrepareServer(server, messageFile);
  for (const Server& server : modernPasses) PrepareServer(server, messageFile);
  PrepareServer(smallRead, messageFile);
  PrepareServer(largeRead, messageFile);
  PrepareServer(modernRead, messageFile);
  RemoveDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
  // A server's registry and message files were set up long before its events are collected;
  // the collector only keeps answers from files that have been quiet for two seconds.
  sleep(3);

  const fs::path database = tamsel::db::LocalCatalogFile("TamselDB");
  const fs::path rawDatabase = tamsel::db::LocalCatalogFile("Raw");
  if (options.prefill > 0) {
    const std::int64_t yearAgo = std::time(nullptr) - 365LL * 86400;
    bench::CopyHistoryDatabase(options.dataDir.value_or(tempDir / "history"),
                               {options.prefill, yearAgo}, database);
  }
  std::printf("records %d, database holding %lld entries before the runs, %d runs\n", options.count,
              static_cast<long long>(options.prefill), options.runs);
  std::printf("| run | raw INSERT rows/s | pass records/s | pass / raw | load |\n");
  std::printf("|----:|------------------:|---------------:|-----------:|-----:|\n");
  std::vector<PassResult> splits;
  std::vector<double> rawCpus;
  std::vector<double> raws, rates, ratios, modernRates, modernRatios;
  for (int run = 0; run < options.runs; ++run) {
    if (options.prefill == 0) {
      RemoveDatabase(database);
      RemoveDatabase(rawDatabase);
      tamsel::db::CreateDatabase(database);
      tamsel::db::CreateDatabase(rawDatabase);
    }
    double rawCpu = 0;
    const double raw = RawInsertRate(options.prefill > 0 ? database : rawDatabase, 201 + run,
                                     options.count, rawCpu);
    rawCpus.push_back(rawCpu);
    const PassResult pass = CollectPass(passes[run]);
    const double rate = options.count / pass.seconds;
    raws.push_back(raw);
    rates.push_back(rate);
    splits.push_back(pass);
    ratios.push_back(rate / raw);
    const PassResult modern = CollectPass(modernPasses[run]);
    modernRates.push_back(options.count / modern.seconds);
    modernRatios.push_back(pass.seconds / modern.seconds);
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
  PrintSplit(splits, bench::Median(rawCpus));
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
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (!fs::exists(options.messageFile)) {
    std::fprintf(stderr, "collector_bench: message file %s not found (--message-file)\n",
                 options.messageFile.c_str());
    return 1;
  }
  tamsel::testing::ScopedTempDir temp;
  net::ScopedCurrentNetwork network(net::Network(temp.Path(), "COLLECTOR"));
  net::Network::Current().CreateMachineFolder("COLLECTOR");
  setenv("SystemRoot", "C:\\WINDOWS", 1);
  if (options.callgrindPass) return CallgrindPass(options, *options.callgrindPass);

  std::printf("load average at start %.2f\n", bench::LoadAverage());
  // Archiving asks the database which backup names are taken, so one is there meanwhile.
  tamsel::db::CreateDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
  const std::vector<LedgerPair> pairs = LedgerPairs(options.pairs, options.count);
  for (const LedgerPair& pair : pairs) {
    PrepareServer(pair.with, options.messageFile);
    PrepareServer(pair.without, options.messageFile);
  }
  if (options.ledgerOnly) {
    RemoveDatabase(tamsel::db::LocalCatalogFile("TamselDB"));
    sleep(3);  // see MeasurePasses
  } else {
    MeasurePasses(options, options.messageFile, temp.Path());
  }
  MeasureLedger(pairs, options.count);
  std::printf("load average at end %.2f\n", bench::LoadAverage());
  return 0;
}
