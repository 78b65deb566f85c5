// Heartbeat calls per second: in-process through the component's public interface, and
// through one `tamsel com batch` process reading many calls (library loaded by ProgID).
// Both run the full frame: AppConfig.xml read, trace lines written, a connection opened in a
// transaction, VersionInfoGet executed, the vote and the commit.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/network/network.h"
#include "reports/core/component_folder.h"
#include "reports/core/component_objects.h"
#include "reports/core/method_registry.h"
#include "testing/temp_dir.h"

namespace {

namespace com = tamsel::platform::com;
namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

// A network with the database, the component folder (with AppConfig.xml and a copy of the
// library) and a trace folder, for the whole run.
class Environment {
 public:
  Environment()
      : networkEnv_("TAMSEL_NETWORK", (temp_.Path() / "network").string()),
        machineEnv_("TAMSEL_MACHINE", "BENCHHOST") {
    tamsel::platform::network::Network::SetCurrent(
        tamsel::platform::network::Network::FromEnvironment());
    fs::create_directories(temp_.Path() / "network");
    tamsel::platform::network::Network::Current().CreateMachineFolder("BENCHHOST");
    fs::create_directories(ComponentFolder());
    fs::create_directories(temp_.Path() / "trace");
    std::ofstream(ComponentFolder() / "AppConfig.xml")
        << "<AppConfig><DATABASE DBServer=\"(local)\" DBName=\"TamselDB\" "
           "UseNTAuthentication=\"1\" DBUserName=\"\" DBPassword=\"\"/><LOGFILE LogFilePath=\""
        << (temp_.Path() / "trace").string() << "\"/></AppConfig>";
    tamsel::db::CreateDatabase(tamsel::db::LocalCatalogFile(tamsel::db::kDefaultCatalog));
    fs::copy_file(BuildFolder() / "reports" / "libTamselReportsCom.so", Library());
    folder_ = std::make_unique<tamsel::reports::ScopedComponentFolder>(ComponentFolder());
    tamsel::reports::RegisterCoreMethods(tamsel::reports::MethodRegistry::Global());
    registered_ = Tamsel("com register '" + Library().string() + "' >/dev/null") == 0;
  }

  fs::path ComponentFolder() const { return temp_.Path() / "component"; }
  fs::path Library() const { return ComponentFolder() / "libTamselReportsCom.so"; }
  fs::path Root() const { return temp_.Path(); }
  bool Registered() const { return registered_; }

  int Tamsel(const std::string& args) const {
    std::string line = "'" + (BuildFolder() / "tools" / "tamsel").string() + "' " + args;
    return std::system(line.c_str());
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  tamsel::testing::ScopedEnv networkEnv_;
  tamsel::testing::ScopedEnv machineEnv_;
  std::unique_ptr<tamsel::reports::ScopedComponentFolder> folder_;
  bool registered_ = false;
};

Environment& Env() {
  static Environment environment;
  return environment;
}

void BM_HeartBitCheckInProcess(benchmark::State& state) {
  Environment& env = Env();
  (void)env;
  auto reports = tamsel::reports::CreateComponentObject(tamsel::reports::ComponentClass::Reports);
  com::Arguments none;
  for (auto _ : state) {
    com::Variant answer = com::CallByName(*reports, "HeartBitCheck", none);
    if (answer.CStr().rfind("Database connection: OK<br>", 0) != 0) {
      state.SkipWithError("the heartbeat failed");
      break;
    }
    benchmark::DoNotOptimize(answer);
  }
  state.counters["calls/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeartBitCheckInProcess)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One `tamsel com batch` process per iteration with `calls` heartbeat lines.
void BM_HeartBitCheckThroughBatch(benchmark::State& state) {
  Environment& env = Env();
  if (!env.Registered()) {
    state.SkipWithError("tamsel com register failed");
    return;
  }
  const int calls = int(state.range(0));
  fs::path input = env.Root() / "calls.jsonl";
  {
    std::ofstream out(input);
    for (int i = 0; i < calls; ++i) {
      out << "{\"call\":\"TamselReportsCom.Reports.HeartBitCheck\",\"args\":[]}\n";
    }
  }
  fs::path output = env.Root() / "answers.jsonl";
  for (auto _ : state) {
    if (env.Tamsel("com batch < '" + input.string() + "' > '" + output.string() + "'") != 0) {
      state.SkipWithError("tamsel com batch failed");
      break;
    }
  }
  state.counters["calls/s"] =
      benchmark::Counter(double(state.iterations()) * calls, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeartBitCheckThroughBatch)
    ->Arg(1)
    ->Arg(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
