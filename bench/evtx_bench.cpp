// .evtx throughput on a 100,000-record log of a machine of version 6.3: records written per
// second through ReportEventA, and records read per second through the classic interface
// (OpenBackupEventLogA and ReadEventLogA with the collector's 1024-byte buffer and a 64 KiB
// one) from a backup written by a clear, with the peak memory that reading grows the process
// by (growth_kib); the decoding alone is reported as well: indexing the file (each chunk decoded
// once, identifiers kept) and indexing it then handing out every record in classic form (each
// chunk decoded a second time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/read_records.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evtx_records.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "testing/temp_dir.h"

namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;
namespace evt = tamsel::platform::eventlog;

// A smoke run (scripts/bench --smoke) only shows that every case still runs.
const bool kSmoke = tamsel::bench::SmokeRun();
const int kRecords = kSmoke ? 1000 : 100000;
const int kIterations = kSmoke ? 1 : 5;
constexpr const char* kBackup = "C:\\logs\\backup.evtx";

// Machine BENCH, version 6.3, with an Application log large enough never to wrap, written
// with kRecords records of two insertion strings and a SID and then cleared into kBackup.
class Fixture {
 public:
  Fixture() : scope_(net::Network(temp_.Path(), "BENCH")) {
    net::Network::Current().CreateMachineFolder("BENCH");
    reg::RegistryKey key;
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE, reg::kWindowsVersionKey, key);
    key.SetString("CurrentVersion", "6.3");
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", key);
    key.SetString("File", "C:\\logs\\Application.evtx", reg::REG_EXPAND_SZ);
    key.SetDword("MaxSize", 0x10000000);
    key.SetDword("Retention", 0);
  }

  static void Write(int count) {
    evt::EventLogHandle source(evt::RegisterEventSourceA(nullptr, "BenchSource"));
    const std::uint8_t sid[12] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
      std::string number = std::to_string(i);
      const char* strings[] = {"Service started on the bench machine", number.c_str()};
      if (!evt::ReportEventA(source.Get(), evt::EVENTLOG_INFORMATION_TYPE, 1, 1000 + i % 50, sid, 2,
                             0, strings, nullptr)) {
        std::abort();
      }
    }
  }

  static void WriteBackup() {
    Write(kRecords);
    evt::EventLogHandle log(evt::OpenEventLogA(nullptr, "Application"));
    if (!evt::ClearEventLogA(log.Get(), kBackup)) std::abort();
  }

  std::filesystem::path BackupHostPath() const {
    return temp_.Path() / "BENCH/drives/C/logs/backup.evtx";
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  net::ScopedCurrentNetwork scope_;
};

void BM_WriteEvtx100k(benchmark::State& state) {
  Fixture fixture;
  for (auto _ : state) {
    Fixture::Write(kRecords);
    state.PauseTiming();
    evt::EventLogHandle log(evt::OpenEventLogA(nullptr, "Application"));
    evt::ClearEventLogA(log.Get(), nullptr);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WriteEvtx100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ReadEvtxBackup100k(benchmark::State& state) {
  Fixture fixture;
  Fixture::WriteBackup();
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
  long growthKiB = 0;
  for (auto _ : state) {
    tamsel::bench::ResetPeak();
    const long startKiB = tamsel::bench::ResidentKiB();
    {
      evt::EventLogHandle log(evt::OpenBackupEventLogA(nullptr, kBackup));
      const std::size_t records = tamsel::bench::CountRecords(log.Get(), buffer);
      if (records != static_cast<std::size_t>(kRecords)) std::abort();
    }
    growthKiB = std::max(growthKiB, tamsel::bench::PeakKiB() - startKiB);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["growth_kib"] = static_cast<double>(growthKiB);
}
BENCHMARK(BM_ReadEvtxBackup100k)
    ->Arg(1024)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(kIterations);

// Indexing alone, or indexing and then every record in classic form.
void DecodeEvtx100k(benchmark::State& state, bool records) {
  Fixture fixture;
  Fixture::WriteBackup();
  std::ifstream file(fixture.BackupHostPath(), std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
  for (auto _ : state) {
    evt::evtx::EvtxRecords decoded;
    decoded.Decode(bytes);
    if (decoded.Count() != static_cast<std::size_t>(kRecords)) std::abort();
    for (std::size_t i = 0; records && i < decoded.Count(); ++i) {
      if (decoded.Record(i).empty()) std::abort();
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
void BM_IndexEvtx100k(benchmark::State& state) { DecodeEvtx100k(state, false); }
void BM_DecodeEvtx100k(benchmark::State& state) { DecodeEvtx100k(state, true); }
BENCHMARK(BM_IndexEvtx100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);
BENCHMARK(BM_DecodeEvtx100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);

}  // namespace

BENCHMARK_MAIN();
