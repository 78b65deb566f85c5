// The server engine (PostgreSQL) measured in one run:
//  1. the collector's whole pass over a log of --records records (archive, read, resolve,
//     store) into the server, against a raw COPY of as many rows into the same schema;
//  2. a log browser page view (first, middle and last page, unfiltered and filtered) through
//     the component at each number of --entries, against the bare SQL of the same count and
//     page as the provider sends it (an unfiltered count or deep page sorted by time reads
//     the kept per-day counts), and against the plain statements without them.
//
//  3. with --copy, `tamsel db copy` of the server database of each number of entries into an
//     embedded file: the copying process's peak memory (the maximum resident set size
//     /usr/bin/time -v reports) and its time.
//
//   server_bench [--records N] [--runs N] [--entries N[,N...]] [--server CONNINFO]
//                [--message-file PATH] [--no-pass] [--no-browse]
//                [--copy N[,N...]] [--tamsel PATH]
//
// --tamsel names the `tamsel` program the copy runs (by default the build's own), so that
// another build's can be measured on the same database.
// Without --server it runs a cluster of its own kept in <build>/bench/pg, so the databases
// of --entries (generated on the server in one statement, once) are reused by later runs.
// CONNINFO is a libpq string of a superuser without dbname ("host=/run/postgresql user=me").
// Figures are medians of --runs runs (5 by default).
#include <fcntl.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_server.h"
#include "bench/bench_support.h"
#include "bench/page_view.h"
#include "collector/collector_service.h"
#include "database/database_file.h"
#include "database/schema.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/data/sql_dialect.h"
#include "platform/network/network.h"
#include "reports/browse/browse_methods.h"
#include "reports/core/component_folder.h"
#include "reports/core/component_objects.h"
#include "reports/core/heart_bit_check.h"
#include "reports/core/method_registry.h"
#include "testing/postgres_cluster.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace bench = tamsel::bench;
namespace data = tamsel::platform::data;
namespace net = tamsel::platform::network;
namespace reports = tamsel::reports;

constexpr const char* kMachine = "COLLECTOR";
constexpr const char* kPassCatalog = "TamselBench";
constexpr std::int64_t kFirstSecond = 1767225600;  // 2026-01-01 00:00:00
constexpr std::int64_t kSpanSeconds = 300LL * 86400;
constexpr int kPageSize = 50;
constexpr int kPageOfPagesSize = 10;

struct Options {
  int records = 100000;
  int runs = 5;
  std::vector<std::int64_t> entries = {1000000, 10000000};
  std::optional<std::string> server;
  fs::path messageFile = fs::canonical("/proc/self/exe").parent_path().parent_path() / "tests" /
                         "collector_messages.dll";
  bool pass = true;
  bool browse = true;
  std::vector<std::int64_t> copies;
  fs::path tamsel =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "tamsel";
};

std::vector<std::int64_t> NumberList(const std::string& list) {
  std::vector<std::int64_t> numbers;
  for (size_t start = 0; start < list.size();) {
    const size_t comma = std::min(list.find(',', start), list.size());
    numbers.push_back(std::stoll(list.substr(start, comma - start)));
    start = comma + 1;
  }
  return numbers;
}

// Raised rather than exiting, so the cluster is stopped on the way out.
[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--no-pass") {
      options.pass = false;
      continue;
    }
    if (arg == "--no-browse") {
      options.browse = false;
      continue;
    }
    if (value == nullptr) {
      std::fprintf(stderr, "server_bench: see the head of bench/server_bench.cpp for its usage\n");
      std::exit(2);
    }
    ++i;
    if (arg == "--records") {
      options.records = std::atoi(value);
    } else if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(value));
    } else if (arg == "--entries") {
      options.entries = NumberList(value);
    } else if (arg == "--copy") {
      options.copies = NumberList(value);
    } else if (arg == "--tamsel") {
      options.tamsel = value;
    } else if (arg == "--server") {
      options.server = value;
    } else if (arg == "--message-file") {
      options.messageFile = value;
    } else {
      std::fprintf(stderr, "server_bench: unknown option %s\n", arg.c_str());
      std::exit(2);
    }
  }
  return options;
}

// A libpq connection for the benchmark's own statements.
class Admin {
 public:
  Admin(const std::string& conninfo, const std::string& database)
      : conn_(PQconnectdb((conninfo + " dbname=" + database).c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) Fail(PQerrorMessage(conn_));
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
  }
  ~Admin() { PQfinish(conn_); }
  Admin(const Admin&) = delete;
  Admin& operator=(const Admin&) = delete;

  std::vector<std::string> Column(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
      const std::string message = PQerrorMessage(conn_);
      PQclear(result);
      Fail(sql.substr(0, 80) + ": " + message);
    }
    std::vector<std::string> values;
    for (int row = 0; row < PQntuples(result); ++row) values.push_back(PQgetvalue(result, row, 0));
    PQclear(result);
    return values;
  }
  void Run(const std::string& sql) { Column(sql); }
  void Copy(const std::string& statement, const std::string& rows) {
    PGresult* started = PQexec(conn_, statement.c_str());
    if (PQresultStatus(started) != PGRES_COPY_IN) Fail(PQerrorMessage(conn_));
    PQclear(started);
    PQputCopyData(conn_, rows.data(), static_cast<int>(rows.size()));
    PQputCopyEnd(conn_, nullptr);
    PGresult* ended = PQgetResult(conn_);
    if (PQresultStatus(ended) != PGRES_COMMAND_OK) Fail(PQerrorMessage(conn_));
    PQclear(ended);
    while (PGresult* more = PQgetResult(conn_)) PQclear(more);
  }

 private:
  PGconn* conn_;
};

void EnsureDatabase(const std::string& conninfo, const std::string& name) {
  Admin admin(conninfo, "postgres");
  if (admin.Column("SELECT 1 FROM pg_database WHERE datname = '" + name + "'").empty()) {
    admin.Run(tamsel::db::CreateServerDatabaseStatement(name));
  }
  Admin(conninfo, name).Run("CREATE EXTENSION IF NOT EXISTS citext SCHEMA public");
}

void SetAlias(const std::string& name, const std::string& target) {
  if (!data::WriteAlias(name, target)) throw std::runtime_error("cannot write the alias " + name);
  data::SessionPool::Instance().Clear();
}

// The connection string whose tables are those of `schema`.
std::string InSchema(const std::string& conninfo, const std::string& schema) {
  return conninfo + " options='-c search_path=" + schema + ",public'";
}

// A target whose tables are those of `schema`, made empty with the current schema.
std::string FreshSchema(const std::string& conninfo, const std::string& schema) {
  Admin(conninfo, kPassCatalog)
      .Run("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema);
  const std::string target = InSchema(conninfo, schema);
  tamsel::db::UpgradeSchema(*data::Session::OpenServer({target, kPassCatalog, "", ""}));
  return target;
}

// --- 1. The collector's pass against a raw COPY --------------------------------------------

// Seconds of the whole pass over the server, the only active one of `target`.
double CollectPass(const std::string& target, const std::string& name, int id, int count) {
  SetAlias("PGBENCH", target);
  data::Session::OpenServer({target, kPassCatalog, "", ""})
      ->Execute("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (" + std::to_string(id) +
                ", '" + name + "')");
  tamsel::collector::CCollectorService collector("Tamsel");
  collector.ntAuthentication_ = 1;
  collector.backupPath_ = "D:\\EvtBak";
  collector.databaseServerName_ = "PGBENCH";
  collector.catalog_ = kPassCatalog;
  const auto start = std::chrono::steady_clock::now();
  if (collector.CollectAll() != 0) Fail("the pass failed");
  const double seconds = bench::SecondsSince(start);
  auto stored = data::Session::OpenServer({target, kPassCatalog, "", ""});
  auto rows = stored->Prepare("SELECT COUNT(*) FROM LogEntry");
  rows.Step();
  if (rows.Int64(0) != count) Fail("the pass did not store every record");
  return seconds;
}

// Rows per second of one COPY of `count` rows like the pass's into LogEntry of `target`,
// with the lookup rows made first.
double RawCopyRate(const std::string& conninfo, const std::string& schema, int count) {
  const std::string target = FreshSchema(conninfo, schema);
  {
    auto session = data::Session::OpenServer({target, kPassCatalog, "", ""});
    session->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'RAW');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Source0');"
        "INSERT INTO ELUser (ELUserID, ELUserName) VALUES (2, 'RAW\\user1');"
        "INSERT INTO LogBackup (LogBackupID, ELServerID, LogTypeID, BackupFileName) "
        "VALUES (1, 1, 1, 'D:\\EvtBak\\Application_1.evt')");
    session->EnsureEntryMonth(bench::IsoTime(std::time(nullptr)));
  }
  const std::int64_t firstSecond = std::time(nullptr);
  std::string rows;
  for (int i = 0; i < count; ++i) {
    const std::string time = bench::IsoTime(firstSecond + i / 100);
    rows += "1\t1\t" + std::to_string(i + 1) + "\t" + time + "\t" + time + "\t" +
            std::to_string(1000 + i % 4) + "\t4\t1\t1\t2\t1\tFirst line: item " +
            std::to_string(i) + "<br>Second line: the operation completed after " +
            std::to_string(i % 977) + " ms<br>\t1\n";
  }
  Admin admin(target, kPassCatalog);
  const auto start = std::chrono::steady_clock::now();
  admin.Run("BEGIN");
  admin.Copy(
      "COPY LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, EventID, "
      "EventTypeID, EventCategoryID, CategoryNumber, ELUserID, ELSourceID, FullMessage, "
      "LogBackupID) FROM STDIN",
      rows);
  admin.Run("COMMIT");
  return count / bench::SecondsSince(start);
}

void RunPasses(const Options& options, const std::string& conninfo) {
  EnsureDatabase(conninfo, kPassCatalog);
  std::printf("== the collector's whole pass over %d records against a raw COPY of as many rows\n",
              options.records);
  // Both run on the same server and under the same settings; these are the ones that move
  // either.
  std::printf("server settings: %s\n",
              Admin(conninfo, kPassCatalog)
                  .Column("SELECT string_agg(name || '=' || setting, ' ' ORDER BY name) FROM "
                          "pg_settings WHERE name IN ('fsync', 'synchronous_commit', "
                          "'full_page_writes', 'shared_buffers', 'jit')")[0]
                  .c_str());
  for (int run = 1; run <= options.runs; ++run) {
    const std::string name = "SRV" + std::to_string(run);
    bench::MakeBenchServer(name, options.messageFile, false);
    bench::WriteBenchEvents(name, options.records);
  }
  // The collector keeps answers only from message files that have been quiet for a while.
  sleep(3);
  std::printf("| run | raw COPY rows/s | pass records/s | pass / raw | load |\n");
  std::printf("|----:|----------------:|---------------:|-----------:|-----:|\n");
  std::vector<double> raws, rates, ratios;
  for (int run = 1; run <= options.runs; ++run) {
    const std::string suffix = std::to_string(run);
    const double raw = RawCopyRate(conninfo, "raw" + suffix, options.records);
    const double rate = options.records / CollectPass(FreshSchema(conninfo, "pass" + suffix),
                                                      "SRV" + suffix, run, options.records);
    raws.push_back(raw);
    rates.push_back(rate);
    ratios.push_back(rate / raw);
    std::printf("| %3d | %15.0f | %14.0f | %10.2f | %4.2f |\n", run, raw, rate, rate / raw,
                bench::LoadAverage());
    std::fflush(stdout);
  }
  std::printf("medians: raw COPY %.0f rows/s, whole pass %.0f records/s, pass / raw %.2f\n\n",
              bench::Median(raws), bench::Median(rates), bench::Median(ratios));
}

// --- 2. Page views against the bare SQL ---------------------------------------------------

// Fills LogEntry of `database` with `entries` rows over 300 days in one statement, with the
// secondary indexes built afterwards, as bench::FillHistory does on the embedded engine.
void Generate(const std::string& conninfo, const std::string& database, std::int64_t entries) {
  const auto start = std::chrono::steady_clock::now();
  Admin(conninfo, "postgres").Run("DROP DATABASE IF EXISTS \"" + database + "\"");
  EnsureDatabase(conninfo, database);
  auto session = data::Session::OpenServer({conninfo, database, "", ""});
  tamsel::db::UpgradeSchema(*session);
  for (std::int64_t second = kFirstSecond; second <= kFirstSecond + kSpanSeconds;
       second += 28 * 86400) {
    session->Execute(data::MonthPartitionStatement(bench::IsoTime(second)));
  }
  Admin admin(conninfo, database);
  admin.Run(
      "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application'), (2, 'System'), "
      "(3, 'Security');"
      "INSERT INTO ELServer (ELServerID, ELServerName, Status) "
      "  SELECT 1000 + s, 'HISTORY' || (1000 + s), 0 FROM generate_series(1, 20) s;"
      "INSERT INTO ELServerLogType SELECT 1000 + s, l FROM generate_series(1, 20) s, "
      "  generate_series(1, 3) l;"
      "INSERT INTO ELSource (ELSourceID, ELSourceName) "
      "  SELECT 10000 + i, 'History source ' || i FROM generate_series(1, 200) i;"
      "INSERT INTO ELUser (ELUserID, ELUserName) "
      "  SELECT 10000 + i, 'HISTORY\\user' || i FROM generate_series(1, 10) i");
  const std::vector<std::string> indexes = admin.Column(
      "SELECT indexdef FROM pg_indexes WHERE schemaname = 'public' AND tablename = 'logentry' "
      "AND indexname <> 'logentry_pkey'");
  admin.Run(
      "DO $$ DECLARE i RECORD; BEGIN FOR i IN SELECT indexname FROM pg_indexes WHERE "
      "schemaname = 'public' AND tablename = 'logentry' AND indexname <> 'logentry_pkey' LOOP "
      "EXECUTE 'DROP INDEX ' || quote_ident(i.indexname); END LOOP; END $$");
  // Times rise with the key, with a jitter of up to two minutes. The keys are known to be
  // new, so the trigger that keeps the key sequence above stored keys is not needed.
  admin.Run("ALTER TABLE LogEntry DISABLE TRIGGER USER");
  admin.Run(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage, CreatedAt) "
      "SELECT 1001 + h % 20, 1 + h / 20 % 3, i, t, t, h / 60 % 10000, "
      "(ARRAY[1, 2, 4, 4, 4, 8, 16])[(1 + h / 7 % 7)::INT], 1, 10001 + h / 13 % 10, "
      "10001 + h / 17 % 200, 'The service entered the running state. Record ' || i, t "
      "FROM (SELECT i, h, to_char(to_timestamp(" +
      std::to_string(kFirstSecond) + " + i * " + std::to_string(kSpanSeconds) + " / " +
      std::to_string(entries) +
      " + h % 120) AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') AS t "
      "FROM (SELECT i, abs(hashint8(i)::BIGINT) AS h FROM generate_series(1::BIGINT, " +
      std::to_string(entries) + ") i) r) g");
  admin.Run("ALTER TABLE LogEntry ENABLE TRIGGER USER");
  admin.Run("SELECT tamsel_recount_entries()");
  // The catalog spells an index of the partitioned table "ON ONLY", which makes it on the
  // parent alone, left invalid; made on the parent it is made on every month.
  for (std::string index : indexes) {
    const size_t only = index.find(" ON ONLY ");
    if (only != std::string::npos) index.replace(only, 9, " ON ");
    admin.Run(index);
  }
  // As after any bulk load: the visibility map lets counts and pages read the indexes alone.
  admin.Run("VACUUM (ANALYZE)");
  std::printf("generated %lld entries in %.0f s\n", static_cast<long long>(entries),
              bench::SecondsSince(start));
}

// True when `database` was made as the installation makes one and generated with `entries`
// rows under the build's schema, with every index of LogEntry in place. One kept from an
// older schema is upgraded as an installation's would be.
bool KeptDatabaseFits(const std::string& conninfo, const std::string& database,
                      std::int64_t entries) {
  if (Admin(conninfo, "postgres")
          .Column("SELECT 1 FROM pg_database WHERE datname = '" + database +
                  "' AND datcollate = 'C'")
          .empty()) {
    return false;
  }
  Admin admin(conninfo, database);
  const int version = std::stoi(admin.Column("SELECT SchemaVersion FROM VersionInfo")[0]);
  if (version >= 8 && version < tamsel::db::kSchemaVersion) {
    const auto start = std::chrono::steady_clock::now();
    tamsel::db::UpgradeSchema(*data::Session::OpenServer({conninfo, database, "", ""}));
    admin.Run("VACUUM (ANALYZE)");
    std::printf("upgraded %s from schema %d in %.0f s\n", database.c_str(), version,
                bench::SecondsSince(start));
  } else if (version != tamsel::db::kSchemaVersion) {
    return false;
  }
  return admin.Column(
             "SELECT COUNT(*) FROM pg_index i JOIN pg_class c ON c.oid = i.indrelid "
             "WHERE c.relname LIKE 'logentry%' AND NOT i.indisvalid")[0] == "0" &&
         admin.Column("SELECT COUNT(*) FROM LogEntry")[0] == std::to_string(entries);
}

void RunPageViews(const Options& options, const std::string& conninfo, const fs::path& root) {
  std::printf(
      "== page view (LogEntryPageIdsGetFromDB + LogEntryPageDetailsGetFromDB, page size %d) "
      "against its bare SQL (COUNT(*), the keys with LIMIT/OFFSET, the details of the keys) as "
      "the provider sends it, and the plain count and keys as written, on the server, median "
      "of %d runs, ms\n",
      kPageSize, options.runs);
  std::printf("| %10s | %-23s | %9s | %-14s | %9s | %8s | %5s | %9s |\n", "entries", "filter",
              "matching", "page", "page view", "bare SQL", "ratio", "plain SQL");
  std::printf(
      "|-----------:|:------------------------|----------:|:---------------|----------:|"
      "---------:|------:|----------:|\n");
  SetAlias("PGBROWSE", conninfo);
  for (const std::int64_t entries : options.entries) {
    const std::string database = "TamselBrowse" + std::to_string(entries);
    if (!KeptDatabaseFits(conninfo, database, entries)) Generate(conninfo, database, entries);
    std::ofstream(root / "component" / "AppConfig.xml", std::ios::trunc)
        << "<AppConfig><DATABASE DBServer=\"PGBROWSE\" DBName=\"" << database
        << "\" UseNTAuthentication=\"1\" DBUserName=\"u\" DBPassword=\"p\"/><LOGFILE "
           "LogFilePath=\""
        << (root / "trace").string() << "\"/></AppConfig>";
    auto bare = data::Session::OpenServer({conninfo, database, "", ""});
    Admin plain(conninfo, database);
    const std::string from = bench::IsoTime(kFirstSecond + kSpanSeconds * 4 / 10);
    const std::string to = bench::IsoTime(kFirstSecond + kSpanSeconds * 7 / 10);
    const std::pair<const char*, std::string> filters[] = {
        {"none", ""},
        {"time range + 10 sources",
         " WHERE  TimeGenerated BETWEEN '" + from + "' AND '" + to +
             "' AND  ELSourceID IN(10003,10017,10025,10048,10060,10077,10091,10120,10150,10199)"},
    };
    for (const auto& [name, where] : filters) {
      const std::string sql =
          "SELECT LEID,TimeGenerated FROM LogEntry" + where + " ORDER BY TimeGenerated DESC";
      const std::string countSql = "SELECT COUNT(*) FROM LogEntry" + where;
      auto counted = bare->Prepare(countSql);
      counted.Step();
      const std::int64_t matching = counted.Int64(0);
      counted.Reset();
      const std::int64_t lastPage =
          std::max<std::int64_t>(1, (matching + kPageSize - 1) / kPageSize);
      const std::pair<const char*, std::int64_t> pages[] = {
          {"first", 1}, {"middle", (lastPage + 1) / 2}, {"last", lastPage}};
      for (const auto& [pageName, page] : pages) {
        const double view = bench::MedianMilliseconds(
            options.runs, [&] { bench::PageView(sql, page, kPageSize, kPageOfPagesSize); });
        const double sqlOnly = bench::MedianMilliseconds(
            options.runs, [&] { bench::BarePageSql(*bare, countSql, sql, page, kPageSize); });
        // The statements as written, the tie break as the provider adds it, never the counts.
        const double plainSql = bench::MedianMilliseconds(options.runs, [&] {
          plain.Run(countSql);
          plain.Run(sql + ", LEID DESC LIMIT " + std::to_string(kPageSize) + " OFFSET " +
                    std::to_string((page - 1) * kPageSize));
        });
        std::printf("| %10lld | %-23s | %9lld | %-6s %7lld | %9.1f | %8.1f | %5.2f | %9.1f |\n",
                    static_cast<long long>(entries), name, static_cast<long long>(matching),
                    pageName, static_cast<long long>(page), view, sqlOnly, view / sqlOnly,
                    plainSql);
        std::fflush(stdout);
      }
    }
    data::SessionPool::Instance().Clear();
  }
}

// --- 3. db copy from the server into an embedded file ---------------------------------------

// Runs `program args...` with its output in `log`; its exit status and peak memory in KiB.
std::pair<int, long> RunMeasured(const fs::path& program, const std::vector<std::string>& args,
                                 const fs::path& log) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) Fail("cannot run " + program.string());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128, usage.ru_maxrss};
}

void RunCopies(const Options& options, const std::string& conninfo, const fs::path& root) {
  for (const std::int64_t entries : options.copies) {
    const std::string database = "TamselBrowse" + std::to_string(entries);
    if (!KeptDatabaseFits(conninfo, database, entries)) Generate(conninfo, database, entries);
  }
  std::printf("== tamsel db copy of a server database into an embedded file (%s)\n",
              options.tamsel.c_str());
  std::printf("| %10s | %13s | %8s | %5s |\n", "entries", "peak RSS, KiB", "s", "load");
  std::printf("|-----------:|--------------:|---------:|------:|\n");
  SetAlias("PGCOPY", conninfo);
  for (const std::int64_t entries : options.copies) {
    const std::string database = "TamselBrowse" + std::to_string(entries);
    const fs::path log = root / "copy.log";
    const auto start = std::chrono::steady_clock::now();
    const auto [status, peak] = RunMeasured(options.tamsel,
                                            {"db", "copy", "--from", "PGCOPY/" + database, "--to",
                                             "./Copy" + std::to_string(entries), "--replace"},
                                            log);
    const double seconds = bench::SecondsSince(start);
    if (status != 0) {
      std::ifstream output(log);
      Fail("the copy failed: " + std::string(std::istreambuf_iterator<char>(output), {}));
    }
    std::printf("| %10lld | %13ld | %8.1f | %5.2f |\n", static_cast<long long>(entries), peak,
                seconds, bench::LoadAverage());
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (bench::SmokeRun()) std::printf("smoke run: the figures mean nothing\n");
  std::printf("load average at start %.2f\n", bench::LoadAverage());
  std::unique_ptr<tamsel::testing::PostgresCluster> cluster;
  std::string conninfo;
  if (options.server) {
    conninfo = *options.server;
  } else {
    std::string why;
    cluster = tamsel::testing::PostgresCluster::Kept(
        fs::canonical("/proc/self/exe").parent_path() / "pg", why);
    tamsel::testing::PostgresCluster* running = cluster.get();
    if (running == nullptr) {
      // A build folder the server's account cannot reach: a throwaway cluster instead, whose
      // generated databases go with it.
      std::printf("no cluster under the build folder (%s); a throwaway one instead\n", why.c_str());
      running = tamsel::testing::PostgresCluster::Shared();
    }
    if (running == nullptr) {
      std::fprintf(stderr, "server_bench: no PostgreSQL cluster: %s\n",
                   tamsel::testing::PostgresCluster::SkipReason().c_str());
      return 1;
    }
    conninfo = "host=" + running->SocketFolder().string() + " user=tamsel";
  }
  tamsel::testing::ScopedTempDir temp;
  const fs::path root = temp.Path();
  fs::create_directories(root / "component");
  fs::create_directories(root / "trace");
  tamsel::testing::ScopedEnv networkEnv("TAMSEL_NETWORK", (root / "network").string());
  tamsel::testing::ScopedEnv machineEnv("TAMSEL_MACHINE", kMachine);
  tamsel::testing::ScopedEnv systemRoot("SystemRoot", "C:\\WINDOWS");
  net::ScopedCurrentNetwork current(net::Network(root / "network", kMachine));
  net::Network::Current().CreateMachineFolder(kMachine);
  reports::ScopedComponentFolder componentFolder(root / "component");
  reports::browse::RegisterMethods(reports::MethodRegistry::Global());
  reports::RegisterCoreMethods(reports::MethodRegistry::Global());
  try {
    if (options.pass) RunPasses(options, conninfo);
    if (options.browse) RunPageViews(options, conninfo, root);
    if (!options.copies.empty()) RunCopies(options, conninfo, root);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "server_bench: %s\n", error.what());
    return 1;
  }
  std::printf("load average at end %.2f\n", bench::LoadAverage());
  return 0;
}
