// The log browser's two page calls (LogEntryPageIdsGetFromDB, LogEntryPageDetailsGetFromDB)
// made in-process through the component by ProgID, the yardstick for the same page served
// over HTTP by TamselWeb. Runs only on a network prepared by bench/web_http_bench.sh, named by
// TAMSEL_WEB_BENCH_LIBRARY (the component copy whose AppConfig.xml names its database) with
// TAMSEL_NETWORK and TAMSEL_MACHINE set; without them it refuses to run, and a failed call
// makes it exit 1, so that a broken yardstick never passes for a measured one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/com/create_object.h"
#include "platform/com/dispatch.h"

namespace {

namespace com = tamsel::platform::com;

struct PageCase {
  const char* filter;  // report filter document
  int page;
};

const PageCase kCases[] = {
    {"<F SortBy=\"TimeGenerated\" SortOrder=\"DESC\"/>", 1},
    {"<F SortBy=\"TimeGenerated\" SortOrder=\"DESC\"/>", 10000},
    {"<F SortBy=\"TimeGenerated\" SortOrder=\"DESC\" ServerLogTypeFilter=\"ELServerID=1\" "
     "EventType=\"1\" EventID=\"105\" EventIDExclude=\"include\"/>",
     1},
};

bool callFailed = false;

void PageCalls(benchmark::State& state) {
  com::CallServerEntry(std::getenv("TAMSEL_WEB_BENCH_LIBRARY"), "DllRegisterServer");
  auto reports = com::CreateObject("TamselReportsCom.Reports");
  const PageCase& c = kCases[state.range(0)];
  com::Arguments query{com::Variant(c.filter), com::Variant(std::string())};
  com::CallByName(*reports, "SqlQueryGenerate", query);
  const std::string sql = query[1].value.CStr();
  const std::string request =
      "<PageRequest PageSize=\"50\" PageOfPagesSize=\"10\" SelectedPage=\"" +
      std::to_string(c.page) + "\"/>";
  for (auto _ : state) {
    com::Arguments ids{com::Variant(sql), com::Variant(request)};
    if (com::CallByName(*reports, "LogEntryPageIdsGetFromDB", ids).CLng() != 0) {
      state.SkipWithError("LogEntryPageIdsGetFromDB failed");
      callFailed = true;
      return;
    }
    com::Arguments details{ids[1]};
    com::CallByName(*reports, "LogEntryPageDetailsGetFromDB", details);
    benchmark::DoNotOptimize(details[0].value);
  }
}
BENCHMARK(PageCalls)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("first_middle_filtered")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("TAMSEL_WEB_BENCH_LIBRARY")) {
    std::fprintf(stderr, "TAMSEL_WEB_BENCH_LIBRARY is not set: run bench/web_http_bench.sh\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return callFailed ? 1 : 0;
}
