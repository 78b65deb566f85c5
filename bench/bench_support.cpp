// Shared pieces of the benchmark programs.
#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "database/database_file.h"
#include "database/schema.h"

namespace tamsel::bench {
namespace {

namespace data = platform::data;

constexpr int kServers = 20;
constexpr int kFirstServerId = 1001;
constexpr int kLogTypes = 3;
constexpr int kSources = 200;
constexpr int kFirstSourceId = 10001;
constexpr int kUsers = 10;
constexpr int kFirstUserId = 10001;
constexpr int kEventIds = 10000;

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

// The lookup rows the history points at, beside any the database holds already.
void AddHistoryNames(data::Session& session) {
  session.Execute(
      "INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application'), "
      "(2, 'System'), (3, 'Security')");
  for (int s = 0; s < kServers; ++s) {
    const int id = kFirstServerId + s;
    session.Prepare("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (?, ?, 0)")
        .BindInt64(1, id)
        .BindText(2, "HISTORY" + std::to_string(id))
        .Run();
    for (int l = 1; l <= kLogTypes; ++l) {
      session.Prepare("INSERT INTO ELServerLogType (ELServerID, LogTypeID) VALUES (?, ?)")
          .BindInt64(1, id)
          .BindInt64(2, l)
          .Run();
    }
  }
  for (int i = 0; i < kSources; ++i) {
    session.Prepare("INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (?, ?)")
        .BindInt64(1, kFirstSourceId + i)
        .BindText(2, "History source " + std::to_string(i))
        .Run();
  }
  for (int i = 0; i < kUsers; ++i) {
    session.Prepare("INSERT INTO ELUser (ELUserID, ELUserName) VALUES (?, ?)")
        .BindInt64(1, kFirstUserId + i)
        .BindText(2, "HISTORY\\user" + std::to_string(i))
        .Run();
  }
}

void AddHistoryEntries(data::Session& session, const History& history) {
  static constexpr int kTypes[] = {1, 2, 4, 4, 4, 8, 16};
  data::Statement insert = session.Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
      "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage, "
      "CreatedAt) VALUES (?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?)");
  std::uint64_t random = 88172645463325252ULL;
  for (std::int64_t i = 0; i < history.records; ++i) {
    random ^= random << 13;
    random ^= random >> 7;
    random ^= random << 17;
    // Times rise with the key, with a jitter of up to two minutes.
    const std::int64_t second = history.firstSecond + i * history.spanSeconds / history.records +
                                static_cast<std::int64_t>(random % 120);
    const std::string time = IsoTime(second);
    insert.BindInt64(1, kFirstServerId + static_cast<std::int64_t>(random >> 8) % kServers)
        .BindInt64(2, 1 + static_cast<std::int64_t>(random >> 16) % kLogTypes)
        .BindInt64(3, i + 1)
        .BindText(4, time)
        .BindText(5, time)
        .BindInt64(6, static_cast<std::int64_t>(random >> 24) % kEventIds)
        .BindInt64(7, kTypes[(random >> 40) % 7])
        .BindInt64(8, kFirstUserId + static_cast<std::int64_t>(random >> 44) % kUsers)
        .BindInt64(9, kFirstSourceId + static_cast<std::int64_t>(random >> 48) % kSources)
        .BindText(10, "The service entered the running state. Record " + std::to_string(i))
        .BindText(11, time);
    insert.Run();
    insert.Reset();
  }
}

}  // namespace

std::string IsoTime(std::int64_t seconds) {
  // Days to civil date, proleptic Gregorian.
  std::int64_t days = seconds / 86400;
  const std::int64_t rest = seconds % 86400;
  days += 719468;
  const std::int64_t era = days / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year),
                static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

void FillHistory(data::Session& session, const History& history) {
  if (history.records <= 0) return;
  session.Execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-1000000;");
  // Indexes are built after the rows, from their own definitions, which is much faster than
  // keeping them up to date row by row.
  std::vector<std::pair<std::string, std::string>> indexes;  // name, definition
  {
    data::Statement list = session.Prepare(
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'LogEntry' AND "
        "sql IS NOT NULL");
    while (list.Step()) indexes.emplace_back(list.Text(0), list.Text(1));
  }
  for (const auto& [name, definition] : indexes) session.Execute("DROP INDEX " + name);
  session.Execute("BEGIN");
  AddHistoryNames(session);
  AddHistoryEntries(session, history);
  session.Execute("COMMIT");
  for (const auto& [name, definition] : indexes) session.Execute(definition);
  session.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768;");
}

bool KeptDatabaseFits(const std::filesystem::path& file, std::int64_t records) {
  if (EntryCount(file) != records) return false;
  // One of an older schema lacks tables the programs measured use.
  std::unique_ptr<data::Session> session = data::Session::Open(file);
  return db::SchemaVersionOf(*session) == db::kSchemaVersion;
}

void CopyHistoryDatabase(const std::filesystem::path& dataDir, const History& history,
                         const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  fs::create_directories(dataDir);
  const fs::path kept = dataDir / ("History" + std::to_string(history.records) + ".db");
  if (fs::exists(kept) && !KeptDatabaseFits(kept, history.records)) fs::remove(kept);
  if (!fs::exists(kept)) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path partial = dataDir / "History.partial.db";
    fs::remove(partial);
    db::CreateDatabase(partial);
    {
      std::unique_ptr<data::Session> session = data::Session::Open(partial);
      FillHistory(*session, history);
      session->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    fs::rename(partial, kept);
    std::printf("generated a history of %lld entries in %.0f s\n",
                static_cast<long long>(history.records), SecondsSince(start));
  }
  fs::create_directories(target.parent_path());
  fs::copy_file(kept, target, fs::copy_options::overwrite_existing);
}

std::int64_t EntryCount(const std::filesystem::path& file) {
  std::unique_ptr<data::Session> session = data::Session::Open(file);
  data::Statement count = session->Prepare("SELECT COUNT(*) FROM LogEntry");
  return count.Step() ? count.Int64(0) : 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long PeakKiB() { return StatusKiB("VmHWM:"); }
long ResidentKiB() { return StatusKiB("VmRSS:"); }
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

bool SmokeRun() { return std::getenv("TAMSEL_BENCH_SMOKE") != nullptr; }

double LoadAverage() {
  double load = -1;
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(file, "%lf", &load) != 1) load = -1;
    std::fclose(file);
  }
  return load;
}

double MedianMilliseconds(int repeat, const std::function<void()>& run) {
  run();
  std::vector<double> runs;
  for (int i = 0; i < repeat; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    runs.push_back(SecondsSince(start) * 1000);
  }
  return Median(runs);
}

}  // namespace tamsel::bench
