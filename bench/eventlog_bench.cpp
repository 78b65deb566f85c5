// Event log throughput on a 100,000-record log: records written per second through
// ReportEventA, read per second through ReadEventLogA (the collector's 1024-byte buffer and a
// 64 KiB one), and a clear with backup of the whole log.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/read_records.h"
#include "platform/eventlog/event_log.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "testing/temp_dir.h"

namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;
namespace evt = tamsel::platform::eventlog;

// A smoke run (scripts/bench --smoke) only shows that every case still runs.
const bool kSmoke = tamsel::bench::SmokeRun();
const int kRecords = kSmoke ? 1000 : 100000;
const int kIterations = kSmoke ? 1 : 3;

// A network with machine BENCH whose Application log is large enough never to wrap.
class Fixture {
 public:
  Fixture() : scope_(net::Network(temp_.Path(), "BENCH")) {
    net::Network::Current().CreateMachineFolder("BENCH");
    reg::RegistryKey key;
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", key);
    key.SetString("File", "C:\\logs\\app.evt", reg::REG_EXPAND_SZ);
    key.SetDword("MaxSize", 0x8000000);
    key.SetDword("Retention", 0);
  }

  // Writes `count` records of about 200 bytes with two insertion strings and a SID.
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

 private:
  tamsel::testing::ScopedTempDir temp_;
  net::ScopedCurrentNetwork scope_;
};

void BM_Write100k(benchmark::State& state) {
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
BENCHMARK(BM_Write100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kIterations);

void BM_Read100k(benchmark::State& state) {
  Fixture fixture;
  Fixture::Write(kRecords);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    evt::EventLogHandle log(evt::OpenEventLogA(nullptr, "Application"));
    const std::size_t records = tamsel::bench::CountRecords(log.Get(), buffer);
    if (records != static_cast<std::size_t>(kRecords)) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Read100k)
    ->Arg(1024)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(kIterations);

void BM_ClearWithBackup100k(benchmark::State& state) {
  Fixture fixture;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Fixture::Write(kRecords);
    std::string name = "C:\\logs\\backup" + std::to_string(n++) + ".evt";
    evt::EventLogHandle log(evt::OpenEventLogA(nullptr, "Application"));
    state.ResumeTiming();
    if (!evt::ClearEventLogA(log.Get(), name.c_str())) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ClearWithBackup100k)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(kIterations);

}  // namespace

BENCHMARK_MAIN();
