// Registry value reads and writes per second on one machine's store, as the collector and the
// command line use it: through open handles of the Win32-shaped API. Rates are wall-clock
// (writes wait on the store's file, not on the processor).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "testing/temp_dir.h"

namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;

// A network with one machine holding a key of `values` values, for the length of a benchmark.
class Fixture {
 public:
  explicit Fixture(int values) : scope_(net::Network(temp_.Path(), "BENCH")) {
    net::Network::Current().CreateMachineFolder("BENCH");
    reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench", key_);
    for (int i = 0; i < values; ++i) key_.SetString("Value" + std::to_string(i), "some text value");
    key_.SetDword("Counter", 0);
  }
  const reg::RegistryKey& Key() const { return key_; }

 private:
  tamsel::testing::ScopedTempDir temp_;
  net::ScopedCurrentNetwork scope_;
  reg::RegistryKey key_;
};

void BM_ReadDword(benchmark::State& state) {
  Fixture fixture(static_cast<int>(state.range(0)));
  reg::DWORD value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Key().GetDword("Counter", value));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadDword)->Arg(10)->Arg(1000)->UseRealTime();

void BM_ReadString(benchmark::State& state) {
  Fixture fixture(100);
  std::string value;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Key().GetString("Value42", value));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadString)->UseRealTime();

// Open, read, close: what a caller without a cached handle pays per value.
void BM_OpenReadClose(benchmark::State& state) {
  Fixture fixture(100);
  reg::DWORD value = 0;
  for (auto _ : state) {
    reg::RegistryKey key;
    reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench", reg::KEY_READ, key);
    benchmark::DoNotOptimize(key.GetDword("Counter", value));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenReadClose)->UseRealTime();

void BM_WriteDword(benchmark::State& state) {
  Fixture fixture(static_cast<int>(state.range(0)));
  reg::DWORD counter = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Key().SetDword("Counter", ++counter));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteDword)->Arg(10)->Arg(1000)->UseRealTime();

void BM_WriteString(benchmark::State& state) {
  Fixture fixture(100);
  std::string text(static_cast<size_t>(state.range(0)), 'x');
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Key().SetString("Text", text));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteString)->Arg(16)->Arg(4096)->UseRealTime();

void BM_EnumerateValues(benchmark::State& state) {
  Fixture fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Key().ValueNames());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EnumerateValues)->Arg(100)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
