// TamselAlerts as a service under `tamsel sc` on a test network, mailing to a local SMTP sink:
// the service killed after the mail server took a mail and before the ledger row, then
// restarted, repeats at most that one mail and loses nothing; its events come from its own
// message table; `tamsel alerts` shows the ledger.
#include <gmock/gmock.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "alerting/smtp_sink_test_support.h"
#include "database/database_file.h"
#include "platform/data/session.h"
#include "tests/collector_test_support.h"

namespace tamsel::e2e {
namespace {

using nlohmann::json;
namespace reg = platform::registry;

class AlertsServiceTest : public CollectorTest {
 protected:
  AlertsServiceTest() : sink_(temp_.Path() / "sink.out", alerting::testing::FreePort()) {
    auto created = Tamsel("db create", true);
    EXPECT_EQ(created.exitCode, 0) << created.output;
    db_ = platform::data::Session::Open(db::LocalCatalogFile("TamselDB"));
    db_->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk');"
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) "
        "VALUES (1, 'alice', 'x', 2);"
        "INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc, AlertSql, Status, UpdatedAt) "
        "VALUES (4, 1, 'Disk errors', 'ELServerID=1', 1, datetime('now', 'localtime'));"
        "INSERT INTO AlertRecipient (AlertHdrID, Email, ScheduleDaysMeta) "
        "VALUES (4, 'ops@example.com', 254);");
    reg::RegistryKey parameters;
    EXPECT_EQ(reg::RegistryKey::Create(
                  reg::HKEY_LOCAL_MACHINE,
                  "SYSTEM\\CurrentControlSet\\Services\\TamselAlerts\\Parameters", parameters),
              0);
    parameters.SetDword("EvaluationPeriod", 1);
    parameters.SetString("SmtpServer", "127.0.0.1");
    parameters.SetDword("SmtpPort", static_cast<reg::DWORD>(sink_.Port()));
    parameters.SetString("MailFrom", "tamsel@example.com");
    parameters.SetDword("DBUseNTAuthentication", 1);
  }
  ~AlertsServiceTest() override {
    json status = json::parse(Tamsel("sc query TamselAlerts --json").output, nullptr, false);
    if (status.is_object() && status.value("pid", 0) > 0) kill(status["pid"].get<int>(), SIGKILL);
  }

  std::string Alerts() const {
    return (tamsel::testing::BuildDir() / "alerting/TamselAlerts").string();
  }

  std::int64_t AddEntry() {
    db_->Execute(
        "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
        "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) VALUES (1, 1, " +
        std::to_string(++records_) +
        ", '2026-12-07 08:00:00', '2026-12-07 08:00:00', 11, 1, 1, 1, 1, 'Bad block')");
    return db_->LastInsertRowId();
  }
  std::string State() {
    json status = json::parse(Tamsel("sc query TamselAlerts --json").output, nullptr, false);
    return status.is_object() ? status.value("state_name", "") : "";
  }
  std::uint32_t Periods() {
    reg::RegistryKey key;
    std::uint32_t value = 0;
    if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\TamselAlerts\\Status",
                               reg::KEY_READ, key) == 0) {
      key.GetDword("Periods", value);
    }
    return value;
  }
  template <typename Done>
  bool WaitFor(Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }
  std::vector<std::string> Mailed() {
    std::vector<std::string> mails;
    for (const auto& mail : sink_.Mails()) mails.push_back(mail.Header("X-Tamsel-Entries"));
    return mails;
  }
  std::vector<std::string> Ledger() {
    std::vector<std::string> rows;
    auto query = db_->Prepare(
        "SELECT Outcome || ' ' || FirstLEID || '-' || LastLEID FROM AlertNotification "
        "ORDER BY AlertNotificationID");
    while (query.Step()) rows.push_back(query.Text(0));
    return rows;
  }

  alerting::testing::SmtpSink sink_;
  std::unique_ptr<platform::data::Session> db_;
  int records_ = 0;
};

TEST_F(AlertsServiceTest, KilledBetweenMailAndLedgerLosesNothing) {
  ASSERT_TRUE(sink_.Start());
  auto installed = Run(Alerts(), "-i");
  ASSERT_EQ(installed.output, "TamselAlerts installed\n");
  const std::int64_t first = AddEntry();
  const std::string one = std::to_string(first) + "-" + std::to_string(first);

  // The mail server takes the mail; the process dies before the ledger row is written. It may
  // die before `sc start` has seen it running, so the start's own answer is not looked at.
  tamsel::testing::RunCommand("TAMSEL_ALERTS_FAULT=exit-after-send " + Environment() + "'" +
                                  (tamsel::testing::BuildDir() / "tools/tamsel").string() +
                                  "' sc start TamselAlerts",
                              true);
  ASSERT_TRUE(WaitFor([&] { return Mailed().size() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return State() == "STOPPED"; }));
  EXPECT_TRUE(Ledger().empty());

  // Restarted: the one mail in flight is sent again and recorded; nothing else repeats.
  ASSERT_EQ(Tamsel("sc start TamselAlerts", true).exitCode, 0);
  ASSERT_TRUE(WaitFor([&] { return Periods() >= 2; }));
  const std::int64_t second = AddEntry();
  const std::uint32_t seen = Periods();
  ASSERT_TRUE(WaitFor([&] { return Periods() >= seen + 2; }));
  const std::string two = std::to_string(second) + "-" + std::to_string(second);
  EXPECT_THAT(Mailed(), ::testing::ElementsAre(one + " 1", one + " 1", two + " 1"));
  EXPECT_THAT(Ledger(), ::testing::ElementsAre("sent " + one, "sent " + two));

  ASSERT_EQ(Tamsel("sc stop TamselAlerts --timeout 10", true).exitCode, 0);
  std::vector<std::string> messages;
  for (const json& event : Events()) {
    if (event["message"].is_string()) messages.push_back(event["message"].get<std::string>());
  }
  EXPECT_THAT(messages, ::testing::Contains("The TamselAlerts service was installed."));
  EXPECT_THAT(messages, ::testing::Contains("The service was started."));
  EXPECT_THAT(messages, ::testing::Contains("The service was stopped."));

  auto history = Tamsel("alerts history");
  EXPECT_EQ(history.exitCode, 0);
  EXPECT_NE(history.output.find("alert 4  recipient"), std::string::npos) << history.output;
  EXPECT_NE(history.output.find("sent  entries " + one + " (1)"), std::string::npos)
      << history.output;

  auto status = Tamsel("alerts status");
  EXPECT_NE(status.output.find("alert 4  active  Disk errors\n  recipient 1 <ops@example.com>  "
                               "watermark " +
                               std::to_string(second) + "  pending 0\n    last mail: "),
            std::string::npos)
      << status.output;
  EXPECT_EQ(Tamsel("alerts test 4").output, "alert 4: no entries pending, no mail would be sent\n");
}

}  // namespace
}  // namespace tamsel::e2e
