// Benchmark of a log browser page view (the key listing plus the page details, through the
// component's public interface) against the bare SQL of the same count and page run directly
// on the database, at given numbers of stored records.
//
//   browse_bench [--records 1000000,10000000] [--data DIR] [--repeat 5]
//
// --data keeps the generated databases in DIR for later runs (generation of ten million
// records takes minutes); without it they live in a temporary folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/page_view.h"
#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/network/network.h"
#include "reports/browse/browse_methods.h"
#include "reports/core/common_methods.h"
#include "reports/core/component_folder.h"
#include "reports/core/component_objects.h"
#include "reports/core/heart_bit_check.h"
#include "reports/core/method_registry.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace bench = tamsel::bench;
namespace com = tamsel::platform::com;
namespace data = tamsel::platform::data;
namespace network = tamsel::platform::network;
namespace reports = tamsel::reports;

constexpr const char* kMachine = "BENCHHOST";
constexpr std::int64_t kFirstSecond = 1767225600;  // 2026-01-01 00:00:00
constexpr std::int64_t kSpanSeconds = 300LL * 86400;
constexpr int kPageSize = 50;
constexpr int kPageOfPagesSize = 10;

struct Options {
  std::vector<std::int64_t> records = {1000000};
  std::optional<fs::path> dataDir;
  int repeat = 5;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--records" && hasValue) {
      options.records.clear();
      std::string list = argv[++i];
      for (std::size_t start = 0; start <= list.size();) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        options.records.push_back(std::stoll(list.substr(start, comma - start)));
        start = comma + 1;
      }
    } else if (arg == "--data" && hasValue) {
      options.dataDir = fs::path(argv[++i]);
    } else if (arg == "--repeat" && hasValue) {
      options.repeat = std::max(1, std::stoi(argv[++i]));
    } else {
      std::printf(
          "usage: browse_bench [--records N[,N...]] [--data DIR] [--repeat N]\n"
          "Times a page view (page size %d, %d links) at each number of records, against the\n"
          "bare SQL of the same count and page.\n",
          kPageSize, kPageOfPagesSize);
      std::exit(arg == "--help" || arg == "-h" ? 0 : 2);
    }
  }
  return options;
}

// Fills a new database with `records` log entries spread over 300 days.
void Generate(const fs::path& file, std::int64_t records) {
  const auto start = std::chrono::steady_clock::now();
  tamsel::db::CreateDatabase(file);
  std::unique_ptr<data::Session> session = data::Session::Open(file);
  bench::FillHistory(*session, {records, kFirstSecond, kSpanSeconds});
  std::printf("generated %lld records in %.0f s\n", static_cast<long long>(records),
              bench::SecondsSince(start));
}

struct Filter {
  const char* name;
  std::string where;  // conditions as the key query writes them
};

void RunSize(const fs::path& root, std::int64_t records, int repeat) {
  const std::string catalog = "Browse" + std::to_string(records);
  const fs::path folder = data::DataFolder("(local)");
  fs::create_directories(folder);
  const fs::path file = data::CatalogFile(folder, catalog);
  if (fs::exists(file) && !bench::KeptDatabaseFits(file, records)) fs::remove(file);
  if (!fs::exists(file)) Generate(file, records);
  std::ofstream(root / "component" / "AppConfig.xml", std::ios::trunc)
      << "<AppConfig><DATABASE DBServer=\"(local)\" DBName=\"" << catalog
      << "\" UseNTAuthentication=\"1\" DBUserName=\"u\" DBPassword=\"p\"/><LOGFILE "
         "LogFilePath=\""
      << (root / "trace").string() << "\"/></AppConfig>";

  const std::string from = bench::IsoTime(kFirstSecond + kSpanSeconds * 4 / 10);
  const std::string to = bench::IsoTime(kFirstSecond + kSpanSeconds * 7 / 10);
  const std::vector<Filter> filters = {
      {"none", ""},
      {"time range + 10 sources",
       " WHERE  TimeGenerated BETWEEN '" + from + "' AND '" + to +
           "' AND  ELSourceID IN(10003,10017,10025,10048,10060,10077,10091,10120,10150,10199)"},
  };
  std::unique_ptr<data::Session> bare = data::Session::Open(file);
  // What every call of the component costs before its own work: trace lines, configuration,
  // connection and transaction. A page view makes two calls.
  const double frame = bench::MedianMilliseconds(repeat, [] {
    com::Arguments none;
    reports::ComponentCall("Reports.HeartBitCheck", none);
  });
  std::printf("| %10lld | fixed cost of one call (HeartBitCheck) | | | %9.1f | | | | |\n",
              static_cast<long long>(records), frame);
  for (const Filter& filter : filters) {
    const std::string sql =
        "SELECT LEID,TimeGenerated FROM LogEntry" + filter.where + " ORDER BY TimeGenerated DESC";
    const std::string countSql = "SELECT COUNT(*) FROM LogEntry" + filter.where;
    data::Statement count = bare->Prepare(countSql);
    count.Step();
    const std::int64_t matching = count.Int64(0);
    const std::int64_t lastPage = (matching + kPageSize - 1) / kPageSize;
    const std::pair<const char*, std::int64_t> pages[] = {
        {"first", 1}, {"middle", (lastPage + 1) / 2}, {"last", lastPage}};
    for (const auto& [pageName, page] : pages) {
      const double view = bench::MedianMilliseconds(
          repeat, [&] { bench::PageView(sql, page, kPageSize, kPageOfPagesSize); });
      const double sqlOnly = bench::MedianMilliseconds(
          repeat, [&] { bench::BarePageSql(*bare, countSql, sql, page, kPageSize); });
      // The page view's own work: what is left after the two calls' fixed cost.
      const double own = std::max(0.0, view - 2 * frame);
      std::printf(
          "| %10lld | %-23s | %9lld | %-6s %7lld | %9.1f | %8.1f | %5.2f | %8.1f | %5.2f |\n",
          static_cast<long long>(records), filter.name, static_cast<long long>(matching), pageName,
          static_cast<long long>(page), view, sqlOnly, view / sqlOnly, own, own / sqlOnly);
      std::fflush(stdout);
    }
  }
  data::SessionPool::Instance().Clear();
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  std::optional<tamsel::testing::ScopedTempDir> temp;
  fs::path root;
  if (options.dataDir) {
    root = fs::absolute(*options.dataDir);
  } else {
    temp.emplace();
    root = temp->Path();
  }
  fs::create_directories(root / "network");
  fs::create_directories(root / "component");
  fs::remove_all(root / "trace");
  fs::create_directories(root / "trace");
  tamsel::testing::ScopedEnv networkEnv("TAMSEL_NETWORK", (root / "network").string());
  tamsel::testing::ScopedEnv machineEnv("TAMSEL_MACHINE", kMachine);
  network::ScopedCurrentNetwork current(network::Network(root / "network", kMachine));
  network::Network::Current().CreateMachineFolder(kMachine);
  reports::ScopedComponentFolder componentFolder(root / "component");
  tamsel::reports::browse::RegisterMethods(reports::MethodRegistry::Global());
  reports::RegisterCoreMethods(reports::MethodRegistry::Global());

  std::printf(
      "page view = LogEntryPageIdsGetFromDB + LogEntryPageDetailsGetFromDB, page size %d,"
      " %d links; bare = COUNT(*) + LIMIT/OFFSET + the keys' details; own work = page view - 2 x "
      "fixed cost;"
      " median of %d runs, ms\n\n",
      kPageSize, kPageOfPagesSize, options.repeat);
  std::printf("| %10s | %-23s | %9s | %-14s | %9s | %8s | %5s | %8s | %5s |\n", "records", "filter",
              "matching", "page", "page view", "bare SQL", "ratio", "own work", "ratio");
  std::printf(
      "|-----------:|:------------------------|----------:|:---------------|----------:|"
      "---------:|------:|---------:|------:|\n");
  try {
    for (std::int64_t records : options.records) RunSize(root, records, options.repeat);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "browse_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
