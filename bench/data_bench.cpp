// Throughput of storing event records: LogEntryInsert through the full ADO path (a command
// with twelve parameters, the procedure, the name mapping) against a raw prepared INSERT of
// the same rows, both in one transaction, and the full path in autocommit mode.
//
//   data_bench [--count N] [--autocommit N] [--only raw|full] [--prefill N] [--data DIR]
// With --prefill every phase stores into one database that already holds N entries spread
// over a year, each phase as a server of its own; --data keeps that history in DIR for later
// invocations. Without it every phase starts from an empty database.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "database/database_file.h"
#include "platform/data/command.h"
#include "platform/data/session.h"
#include "platform/data/transaction_scope.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace {

using tamsel::platform::com::Variant;
namespace data = tamsel::platform::data;
namespace bench = tamsel::bench;

struct Record {
  std::string log, generated, written, isoGenerated, isoWritten, category, user, source, message;
  std::int32_t recordNumber;
  std::int16_t eventId, type, categoryNumber;
};

// Deterministic, varied records: 3 logs, 50 sources, 20 users, 10 categories.
Record MakeRecord(int i) {
  static const char* kLogs[] = {"Application", "System", "Security"};
  Record r;
  r.log = kLogs[i % 3];
  const int second = i % 60, minute = (i / 60) % 60, hour = (i / 3600) % 24,
            day = 1 + (i / 86400) % 28;
  char text[64];
  std::snprintf(text, sizeof text, "06/%02d/2002 %02d:%02d:%02d", day, hour, minute, second);
  r.generated = r.written = text;
  std::snprintf(text, sizeof text, "2002-06-%02d %02d:%02d:%02d", day, hour, minute, second);
  r.isoGenerated = r.isoWritten = text;
  r.recordNumber = i + 1;
  r.eventId = static_cast<std::int16_t>(1000 + i % 500);
  static const std::int16_t kTypes[] = {1, 2, 4, 8, 16};
  r.type = kTypes[i % 5];
  r.categoryNumber = static_cast<std::int16_t>(i % 10);
  r.category = i % 10 == 0 ? "" : "Category " + std::to_string(i % 10);
  r.user = i % 20 == 0 ? "" : "DOMAIN\\user" + std::to_string(i % 20);
  r.source = "Source" + std::to_string(i % 50);
  r.message = "The operation " + std::to_string(i) +
              " completed. <br>Details: the service entered the running state and reported "
              "its status to the service control manager without further remarks.";
  return r;
}

constexpr const char* kConnection =
    "Provider=sqloledb;Data Source=(local);Initial Catalog=%s;TRUSTED_CONNECTION=YES;";

std::string ConnectionString(const std::string& catalog) {
  char text[256];
  std::snprintf(text, sizeof text, kConnection, catalog.c_str());
  return text;
}

// The collector's call, parameter for parameter.
void InsertThroughProcedure(const data::Connection& conn, std::int16_t serverId, const Record& r) {
  data::Command command;
  command.SetActiveConnection(conn);
  command.SetCommandType(data::adCmdStoredProc);
  command.SetCommandText("LogEntryInsert");
  data::Parameters& p = command.GetParameters();
  auto add = [&](const char* name, long type, long size, Variant value) {
    p.Append(command.CreateParameter(name, type, data::adParamInput, size, std::move(value)));
  };
  add("@ELServerID", data::adInteger, 4, Variant(serverId));
  add("@LogTypeName", data::adVarChar, 127, Variant(r.log));
  add("@RecordNumber", data::adInteger, 4, Variant(r.recordNumber));
  add("@TimeGenerated", data::adDBTimeStamp, 255, Variant(r.generated));
  add("@TimeWritten", data::adDBTimeStamp, 255, Variant(r.written));
  add("@EventID", data::adInteger, 4, Variant(r.eventId));
  add("@EventTypeID", data::adInteger, 4, Variant(r.type));
  add("@EventCategoryID", data::adInteger, 4, Variant(r.categoryNumber));
  add("@EventCategoryName", data::adVarChar, 127, Variant(r.category));
  add("@UserName", data::adVarChar, 255, Variant(r.user));
  add("@SourceName", data::adVarChar, 127, Variant(r.source));
  add("@DescriptionFullMessage", data::adVarChar, 1024, Variant(r.message));
  add("@BackupFileName", data::adVarChar, 260,
      Variant("D:\\EvtBak\\Application_20020628214027.evt"));
  command.Execute(0);
}

// Where the phases store: a new database each, or one prefilled database shared by all.
struct Target {
  std::int64_t prefill = 0;
  std::filesystem::path dataDir;
};

// The database a phase stores into, with its server `serverId`; its catalog name.
std::string PhaseDatabase(const Target& target, const std::string& catalog, std::int16_t serverId) {
  const std::string name = target.prefill > 0 ? "Prefilled" : catalog;
  const auto file = tamsel::db::LocalCatalogFile(name);
  if (target.prefill > 0) {
    if (!std::filesystem::exists(file)) {
      const std::int64_t yearBefore = 1025481600 - 365LL * 86400;  // the year before 2002-07-01
      bench::CopyHistoryDatabase(target.dataDir, {target.prefill, yearBefore}, file);
    }
  } else {
    tamsel::db::CreateDatabase(file);
  }
  auto session = data::Session::Open(file);
  session->Prepare("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (?, ?)")
      .BindInt64(1, serverId)
      .BindText(2, "SRV" + std::to_string(serverId))
      .Run();
  return name;
}

// Wall-clock and processor seconds of one phase; the machine may be shared, so both count.
struct Timer {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  double Wall() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double Cpu() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

struct Rate {
  double wall;  // per second of wall-clock time
  double cpu;   // per second of processor time
};

Rate RateOf(int count, const Timer& timer) { return {count / timer.Wall(), count / timer.Cpu()}; }

// Records are made on the fly in both phases (the same rows, the same cost), so the inputs of
// a million calls do not dominate the peak memory.
Rate FullPath(const Target& target, int count, bool oneTransaction) {
  const std::int16_t serverId = oneTransaction ? 2 : 3;
  const std::string catalog =
      PhaseDatabase(target, oneTransaction ? "FullPath" : "Autocommit", serverId);
  const Timer timer;
  {
    std::optional<data::TransactionScope> scope;
    if (oneTransaction) scope.emplace();
    data::Connection conn;
    conn.Open(ConnectionString(catalog));
    for (int i = 0; i < count; ++i) InsertThroughProcedure(conn, serverId, MakeRecord(i));
    conn.Close();
    if (scope && !scope->Commit()) throw std::runtime_error("commit failed");
  }
  return RateOf(count, timer);
}

// The same rows with their lookup keys already known: one prepared INSERT per row.
Rate RawInsert(const Target& target, int count) {
  auto session = data::Session::Open(tamsel::db::LocalCatalogFile(PhaseDatabase(target, "Raw", 1)));
  session->Execute(
      "INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application'), (2, "
      "'System'), "
      "(3, 'Security')");
  // The keys the full path gives the same names: the empty user and category are row 1.
  for (int n = 1; n < 20; ++n) {
    session->Prepare("INSERT INTO ELUser (ELUserID, ELUserName) VALUES (?, ?)")
        .BindInt64(1, n + 1)
        .BindText(2, "DOMAIN\\user" + std::to_string(n))
        .Run();
  }
  for (int n = 1; n < 10; ++n) {
    session->Prepare("INSERT INTO EventCategory (EventCategoryID, EventCategoryName) VALUES (?, ?)")
        .BindInt64(1, n + 1)
        .BindText(2, "Category " + std::to_string(n))
        .Run();
  }
  for (int source = 0; source < 50; ++source) {
    session->Prepare("INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (?, ?)")
        .BindInt64(1, source + 1)
        .BindText(2, "Source" + std::to_string(source))
        .Run();
  }
  const Timer timer;
  session->Execute("BEGIN IMMEDIATE");
  auto insert = session->Prepare(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, "
      "FullMessage) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (int i = 0; i < count; ++i) {
    const Record r = MakeRecord(i);
    insert.BindInt64(1, 1 + static_cast<int>(i % 3))
        .BindInt64(2, r.recordNumber)
        .BindText(3, r.isoGenerated)
        .BindText(4, r.isoWritten)
        .BindInt64(5, r.eventId)
        .BindInt64(6, r.type)
        .BindInt64(7, i % 10 == 0 ? 1 : i % 10 + 1)
        .BindInt64(8, r.categoryNumber)
        .BindInt64(9, i % 20 == 0 ? 1 : i % 20 + 1)
        .BindInt64(10, i % 50 + 1)
        .BindText(11, r.message);
    insert.Run();
    insert.Reset();
  }
  session->Execute("COMMIT");
  return RateOf(count, timer);
}

long PeakMemoryKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 1000000;
  int autocommitCount = 20000;
  std::string only;  // "raw" or "full": one phase alone, for profiling
  tamsel::testing::ScopedTempDir temp;
  Target target{0, temp.Path() / "history"};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--count") count = std::atoi(argv[i + 1]);
    if (arg == "--autocommit") autocommitCount = std::atoi(argv[i + 1]);
    if (arg == "--only") only = argv[i + 1];
    if (arg == "--prefill") target.prefill = std::atoll(argv[i + 1]);
    if (arg == "--data") target.dataDir = std::filesystem::absolute(argv[i + 1]);
  }
  tamsel::platform::network::ScopedCurrentNetwork network(
      tamsel::platform::network::Network(temp.Path(), "BENCH"));
  tamsel::platform::network::Network::Current().CreateMachineFolder("BENCH");

  if (only == "raw" || only == "full") {
    const Rate rate = only == "raw" ? RawInsert(target, count) : FullPath(target, count, true);
    std::printf("%s: %.0f wall, %.0f cpu rows/s\n", only.c_str(), rate.wall, rate.cpu);
    return 0;
  }
  const Rate raw = RawInsert(target, count);
  const Rate full = FullPath(target, count, true);
  const Rate autocommit = FullPath(target, autocommitCount, false);
  std::printf("calls                              %d (autocommit %d), prefilled with %lld\n", count,
              autocommitCount, static_cast<long long>(target.prefill));
  std::printf("                                   wall rows/s   cpu rows/s\n");
  std::printf("raw prepared INSERT, one txn       %11.0f  %11.0f\n", raw.wall, raw.cpu);
  std::printf("LogEntryInsert full path, one txn  %11.0f  %11.0f\n", full.wall, full.cpu);
  std::printf("ratio full / raw                   %11.2f  %11.2f\n", full.wall / raw.wall,
              full.cpu / raw.cpu);
  std::printf("LogEntryInsert full path, autocommit %9.0f  %11.0f\n", autocommit.wall,
              autocommit.cpu);
  std::printf("peak memory                        %ld KiB\n", PeakMemoryKiB());
  std::printf("load average                       %.2f\n", bench::LoadAverage());
  return 0;
}
