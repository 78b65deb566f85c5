// The alert sender's evaluation period: 100 active alerts, each with one recipient due all
// day, over 1,000,000 stored entries, with 10,000 new entries per period. The mail sender
// only counts, so the time is the evaluation's: conditions, watermarks, digests, ledger.
// Reports the time per period and the process's peak memory (maxrss_kb).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <string>

#include "alerting/alert_evaluator.h"
#include "bench/bench_support.h"
#include "database/database_file.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace {

namespace al = tamsel::alerting;
namespace net = tamsel::platform::network;

// A smoke run (scripts/bench --smoke) only shows that the case still runs.
const bool kSmoke = tamsel::bench::SmokeRun();
const int kStored = kSmoke ? 10'000 : 1'000'000;
const int kNewPerPeriod = kSmoke ? 1'000 : 10'000;
constexpr int kAlerts = 100;

class CountingSender : public al::MailSender {
 public:
  al::SendResult Send(const al::AlertSettings&, const std::string&, const std::string&,
                      const std::string& message) override {
    ++mails;
    bytes += message.size();
    return {al::SendOutcome::Sent, "250 OK"};
  }
  long mails = 0;
  long bytes = 0;
};

// Entries numbered from `first`: ten servers, a thousand event ids, four event types.
void InsertEntries(tamsel::platform::data::Session& db, long first, long count) {
  db.Execute("BEGIN");
  db.Execute(
      "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
      " UNION ALL SELECT i + 1 FROM n "
      "WHERE i < " +
      std::to_string(first + count - 1) +
      ") INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) "
      "SELECT i % 10 + 1, 1, i, datetime('now', 'localtime'), datetime('now', 'localtime'), "
      "i % 1000, CASE i % 4 WHEN 0 THEN 1 WHEN 1 THEN 2 ELSE 4 END, 1, 1, 1, "
      "'Event ' || i || ' happened.<br>Details follow.' FROM n");
  db.Execute("COMMIT");
}

class Fixture {
 public:
  Fixture()
      : network_(net::Network(temp_.Path() / "net", "BENCH")),
        machine_("TAMSEL_MACHINE", "BENCH"),
        root_("TAMSEL_NETWORK", (temp_.Path() / "net").string()) {
    std::filesystem::create_directories(temp_.Path() / "net");
    net::Network::Current().CreateMachineFolder("BENCH");
    std::filesystem::path file = tamsel::db::LocalCatalogFile("TamselDB");
    tamsel::db::CreateDatabase(file);
    db_ = tamsel::platform::data::Session::Open(file);
    db_->Execute(
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk');"
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) "
        "VALUES (1, 'alice', 'x', 2);");
    for (int server = 1; server <= 10; ++server) {
      db_->Execute("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (" +
                   std::to_string(server) + ", 'SRV" + std::to_string(server) + "')");
    }
    InsertEntries(*db_, 1, kStored);
    next_ = kStored + 1;
    // Conditions of the generated form, each selecting about one new entry in a thousand.
    for (int alert = 1; alert <= kAlerts; ++alert) {
      const std::string condition = "(ELServerID=" + std::to_string(alert % 10 + 1) +
                                    " AND LogTypeID IN(1)) AND  EventTypeID IN(1,2) AND  EventID "
                                    "IN(" +
                                    std::to_string(alert * 7 % 1000) + "," +
                                    std::to_string(alert * 13 % 1000) + ")";
      db_->Execute(
          "INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc, AlertSql, Status, "
          "UpdatedAt) VALUES (" +
          std::to_string(alert) + ", 1, 'Alert " + std::to_string(alert) + "', '" + condition +
          "', 1, '2000-01-01 00:00:00')");
      db_->Execute("INSERT INTO AlertRecipient (AlertHdrID, Email, ScheduleDaysMeta) VALUES (" +
                   std::to_string(alert) + ", 'ops" + std::to_string(alert) +
                   "@example.com', 254)");
      db_->Execute(
          "INSERT INTO AlertWatermark (AlertHdrID, AlertRecipientID, LastLEID) "
          "VALUES (" +
          std::to_string(alert) + ", " + std::to_string(alert) + ", " + std::to_string(kStored) +
          ")");
    }
    settings_.smtpServer = "127.0.0.1";
    settings_.mailFrom = "tamsel@example.com";
    settings_.webBaseUrl = "http://web.example";
    settings_.ntAuthentication = 1;
    store_ = std::make_unique<al::AlertStore>(settings_.ConnectionString());
    evaluator_ =
        std::make_unique<al::AlertEvaluator>(*store_, sender_, [](const al::AlertEvent&) {});
  }

  void AddNewEntries() {
    InsertEntries(*db_, next_, kNewPerPeriod);
    next_ += kNewPerPeriod;
  }
  al::PeriodResult Period() { return evaluator_->RunPeriod(settings_, std::time(nullptr)); }

 private:
  tamsel::testing::ScopedTempDir temp_;
  net::ScopedCurrentNetwork network_;
  tamsel::testing::ScopedEnv machine_;
  tamsel::testing::ScopedEnv root_;
  std::unique_ptr<tamsel::platform::data::Session> db_;
  long next_ = 0;
  al::AlertSettings settings_;
  CountingSender sender_;
  std::unique_ptr<al::AlertStore> store_;
  std::unique_ptr<al::AlertEvaluator> evaluator_;
};

void BM_EvaluationPeriod(benchmark::State& state) {
  static Fixture fixture;
  long mails = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fixture.AddNewEntries();
    state.ResumeTiming();
    mails += fixture.Period().sent;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["mails_per_period"] = static_cast<double>(mails) / state.iterations();
  state.counters["maxrss_kb"] = static_cast<double>(usage.ru_maxrss);
}
BENCHMARK(BM_EvaluationPeriod)->Unit(benchmark::kMillisecond)->Iterations(kSmoke ? 1 : 10);

}  // namespace

BENCHMARK_MAIN();
