// Evaluation periods against a real database, alerts defined through the component's own
// methods, and a local SMTP sink: each entry mailed once, recipients' windows (over midnight
// too), a mail server that is down, deactivated alerts, refused conditions, the horizon.
#include "alerting/alert_evaluator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "alerting/send_backoff.h"
#include "alerting/smtp_sink_test_support.h"
#include "database/engine_test_support.h"
#include "reports/alerts/alerts_test_support.h"

namespace tamsel::alerting {
namespace {

namespace com = platform::com;
using platform::com::Variant;
using reports::alerts::testing::AlertsTestEnvironment;
using reports::alerts::testing::CallReports;
using ::testing::ElementsAre;
using testing::SmtpSink;

constexpr int kAllDays = 0xFE;  // bits 1 (Sunday) to 7 (Saturday)

class AlertEvaluatorTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  AlertEvaluatorTest() : sink_(env_.Root() / "sink.out", testing::FreePort()) {
    if (!env_.Available()) return;
    env_.Exec(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01'), (2, 'SRV02');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk');");
    settings_.smtpServer = "127.0.0.1";
    settings_.smtpPort = sink_.Port();
    settings_.mailFrom = "tamsel@example.com";
    settings_.webBaseUrl = "http://web.example/";
    settings_.ntAuthentication = 1;
    settings_.databaseServerName = env_.DataSource();
    store_ = std::make_unique<AlertStore>(settings_.ConnectionString());
    evaluator_ = std::make_unique<AlertEvaluator>(
        *store_, sender_, [this](const AlertEvent& event) { events_.push_back(event.id); });
  }

  // An alert on server 1 with the given status, defined as the alert page does.
  int DefineAlert(const std::string& description, int status = 1) {
    com::Arguments update{Variant(AlertsTestEnvironment::kUser), Variant(description),
                          Variant("<INPUT name=\"hServerLogTypeFilter\" value=\"ELServerID=1\"/>"),
                          Variant(std::int16_t{-1})};
    EXPECT_EQ(CallReports("AlertHdrUpdate", update), 0);
    const int id = update[3].value.CLng();
    SetStatus(id, status);
    return id;
  }
  void SetStatus(int id, int status) {
    com::Arguments args{Variant(id), Variant(static_cast<std::int16_t>(status))};
    EXPECT_EQ(CallReports("AlertHdrSetStatus", args), 0);
  }
  void AddRecipient(int alertId, const std::string& email, const std::string& start,
                    const std::string& end, int dayMask = kAllDays) {
    std::string xml = "<R AlertRecipientID=\"\" AlertHdrID=\"" + std::to_string(alertId) +
                      "\" Email=\"" + email + "\" ScheduleStartTime=\"" + start +
                      "\" ScheduleEndTime=\"" + end + "\">";
    for (int day = 1; day <= 7; ++day) {
      if (dayMask >> day & 1) {
        xml += "<SCHEDULEDAY DayName=\"d\" DayValue=\"" + std::to_string(day) + "\"/>";
      }
    }
    com::Arguments args{Variant(xml + "</R>")};
    EXPECT_EQ(CallReports("AlertRecipientUpdate", args), 0);
  }
  std::int64_t AddEntry(int server = 1) {
    env_.Exec(
        "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
        "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) VALUES (" +
        std::to_string(server) + ", 1, " + std::to_string(++records_) +
        ", '2026-12-07 08:00:00', '2026-12-07 08:00:00', 11, 1, 1, 1, 1, 'Bad block<br>more')");
    return std::stoll(env_.Scalar("SELECT MAX(LEID) FROM LogEntry"));
  }

  // Today (`days` later) at hh:mm, local time; near the real clock, as the horizon needs.
  static std::time_t At(int days, int hour, int minute) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday += days;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    return std::mktime(&local);
  }
  static int WeekdayBit(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return 1 << (local.tm_wday + 1);
  }

  // A period with the service's backoff rules.
  PeriodResult Period(std::time_t now) {
    const bool maySend = backoff_.MayTry(now);
    PeriodResult result = evaluator_->RunPeriod(settings_, now, maySend);
    if (result.unreachable) {
      backoff_.Failed(now, settings_.evaluationPeriod);
    } else if (maySend) {
      backoff_.Succeeded();
    }
    return result;
  }

  // "to entries" of each mail the sink received: "a@x.org 3-4 2".
  std::vector<std::string> Mailed() {
    std::vector<std::string> mails;
    for (const testing::ReceivedMail& mail : sink_.Mails()) {
      mails.push_back(mail.Header("To") + " " + mail.Header("X-Tamsel-Entries"));
    }
    return mails;
  }
  std::vector<std::string> Ledger() {
    return env_.Rows(
        "SELECT Email || ' ' || Outcome || ' ' || FirstLEID || '-' || LastLEID || ' ' || "
        "EntryCount FROM AlertNotification ORDER BY AlertNotificationID");
  }

  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
  }

  AlertsTestEnvironment env_{GetParam()};
  SmtpSink sink_;
  AlertSettings settings_;
  SmtpMailSender sender_;
  std::unique_ptr<AlertStore> store_;
  std::unique_ptr<AlertEvaluator> evaluator_;
  SendBackoff backoff_;
  std::vector<std::uint32_t> events_;
  int records_ = 0;
};

TEST_P(AlertEvaluatorTest, MatchingEntryIsMailedOnceWithItsDigest) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Disk errors");
  AddRecipient(alert, "ops@example.com", "", "");
  const std::int64_t entry = AddEntry();
  AddEntry(2);  // another server: not selected

  EXPECT_EQ(Period(At(0, 10, 0)).sent, 1);
  const std::string range = std::to_string(entry) + "-" + std::to_string(entry);
  EXPECT_THAT(Mailed(), ElementsAre("ops@example.com " + range + " 1"));
  const testing::ReceivedMail mail = sink_.Mails().front();
  EXPECT_EQ(mail.Header("Subject"), "Tamsel alert: Disk errors (1 entry)");
  EXPECT_EQ(mail.Header("From"), "tamsel@example.com");
  EXPECT_THAT(Ledger(), ElementsAre("ops@example.com sent " + range + " 1"));

  // The next period has nothing new.
  EXPECT_EQ(Period(At(0, 10, 1)).sent, 0);
  EXPECT_EQ(Mailed().size(), 1u);
  EXPECT_THAT(events_, ::testing::IsEmpty());

  // The link shows the alert's selection over the entries' times.
  std::vector<PreparedMail> preview;
  AddEntry();
  preview = evaluator_->Preview(settings_, alert, At(0, 10, 2));
  ASSERT_EQ(preview.size(), 1u);
  EXPECT_EQ(preview[0].digest.link,
            "http://web.example/logs?range=custom&from=2026-12-07T08%3A00%3A00&to=2026-12-07T08%"
            "3A00%3A00");
}

TEST_P(AlertEvaluatorTest, EntriesWaitForTheRecipientsWindow) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Windows");
  AddRecipient(alert, "day@example.com", "08:00", "12:00");
  AddRecipient(alert, "afternoon@example.com", "1:00 PM", "5:00 PM");
  const std::int64_t first = AddEntry();
  const std::string one = std::to_string(first) + "-" + std::to_string(first) + " 1";

  EXPECT_EQ(Period(At(1, 7, 59)).sent, 0);  // neither window is open
  EXPECT_EQ(Period(At(1, 8, 0)).sent, 1);   // the first opens
  const std::int64_t second = AddEntry();
  EXPECT_EQ(Period(At(1, 12, 30)).sent, 0);
  EXPECT_EQ(Period(At(1, 13, 0)).sent, 1);  // the second gets both, once
  EXPECT_EQ(Period(At(1, 14, 0)).sent, 0);
  EXPECT_EQ(Period(At(2, 8, 5)).sent, 1);  // the first gets the second entry next morning
  EXPECT_THAT(Mailed(), ElementsAre("day@example.com " + one,
                                    "afternoon@example.com " + std::to_string(first) + "-" +
                                        std::to_string(second) + " 2",
                                    "day@example.com " + std::to_string(second) + "-" +
                                        std::to_string(second) + " 1"));
}

TEST_P(AlertEvaluatorTest, WindowOverMidnightBelongsToTheDayItStarts) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Night");
  AddRecipient(alert, "night@example.com", "22:00", "06:00", WeekdayBit(At(1, 12, 0)));
  const std::int64_t first = AddEntry();
  EXPECT_EQ(Period(At(1, 21, 0)).sent, 0);
  EXPECT_EQ(Period(At(1, 23, 0)).sent, 1);
  const std::int64_t second = AddEntry();
  EXPECT_EQ(Period(At(2, 5, 0)).sent, 1);  // after midnight, still the window of day 1
  AddEntry();
  EXPECT_EQ(Period(At(2, 7, 0)).sent, 0);
  EXPECT_EQ(Period(At(2, 23, 0)).sent, 0);  // day 2 is not in the mask
  EXPECT_THAT(Mailed(), ElementsAre("night@example.com " + std::to_string(first) + "-" +
                                        std::to_string(first) + " 1",
                                    "night@example.com " + std::to_string(second) + "-" +
                                        std::to_string(second) + " 1"));
}

TEST_P(AlertEvaluatorTest, ServerDownForTwoPeriodsThenEveryEntryMailedOnce) {
  const int alert = DefineAlert("Outage");
  AddRecipient(alert, "ops@example.com", "", "");
  const std::int64_t first = AddEntry();
  const std::time_t start = At(1, 9, 0);

  PeriodResult down = Period(start);
  EXPECT_TRUE(down.unreachable);
  EXPECT_EQ(down.deferred, 1);
  EXPECT_TRUE(Period(start + 60).unreachable);
  const std::int64_t second = AddEntry();
  ASSERT_TRUE(sink_.Start());
  EXPECT_EQ(Period(start + 120).sent, 0);  // still backing off
  EXPECT_EQ(Period(start + 180).sent, 1);
  EXPECT_EQ(Period(start + 240).sent, 0);

  const std::string both = std::to_string(first) + "-" + std::to_string(second);
  EXPECT_THAT(Mailed(), ElementsAre("ops@example.com " + both + " 2"));
  const std::string once = std::to_string(first) + "-" + std::to_string(first) + " 1";
  EXPECT_THAT(Ledger(),
              ElementsAre("ops@example.com deferred " + once, "ops@example.com deferred " + once,
                          "ops@example.com sent " + both + " 2"));
  EXPECT_THAT(events_, ElementsAre(kEventMailDeferred, kEventMailDeferred));
}

TEST_P(AlertEvaluatorTest, InactiveAlertsAndRefusedConditionsSendNothing) {
  ASSERT_TRUE(sink_.Start());
  const int inactive = DefineAlert("Inactive", 0);
  AddRecipient(inactive, "ops@example.com", "", "");
  const int paused = DefineAlert("Paused");
  AddRecipient(paused, "ops@example.com", "", "");
  EXPECT_EQ(Period(At(0, 9, 0)).sent, 0);
  SetStatus(paused, 2);
  const int tampered = DefineAlert("Tampered");
  AddRecipient(tampered, "ops@example.com", "", "");
  AddEntry();

  const char* refused[] = {
      "ELServerID=1) OR (1=1",
      "ELServerID=1; DELETE FROM LogEntry",
      "ELServerID IN (SELECT ELServerID FROM ELServer)",
      " TimeGenerated BETWEEN '2003-01-01' AND '2003-01-02'",
      "ELServerID=1 AND  EventID IN(1) AND  ELSourceID IN(1)",  // out of the generated order
      "FullMessage LIKE '%x%'",
  };
  for (const char* condition : refused) {
    std::string quoted;
    for (const char* c = condition; *c != '\0'; ++c)
      quoted += *c == '\'' ? "''" : std::string(1, *c);
    env_.Exec("UPDATE AlertHdr SET AlertSql = '" + quoted +
              "' WHERE AlertHdrID = " + std::to_string(tampered));
    events_.clear();
    Period(At(0, 9, 1));
    Period(At(0, 9, 2));
    EXPECT_THAT(events_, ElementsAre(kEventAlertRefused)) << condition;  // reported once
  }
  EXPECT_THAT(Mailed(), ::testing::IsEmpty());
  EXPECT_EQ(env_.Scalar("SELECT COUNT(*) FROM LogEntry"), "1");
}

TEST_P(AlertEvaluatorTest, EntriesPastTheHorizonAreCountedNotMailed) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Weekly");
  AddRecipient(alert, "ops@example.com", "08:00", "09:00");
  EXPECT_EQ(Period(At(0, 7, 0)).sent, 0);
  const std::int64_t entry = AddEntry();
  PeriodResult late = Period(At(8, 8, 30));
  EXPECT_EQ(late.sent, 0);
  EXPECT_EQ(late.expired, 1);
  EXPECT_THAT(Mailed(), ::testing::IsEmpty());
  const std::string range = std::to_string(entry) + "-" + std::to_string(entry);
  EXPECT_THAT(Ledger(), ElementsAre("ops@example.com expired " + range + " 1"));
  EXPECT_THAT(events_, ElementsAre(kEventEntriesExpired));
  EXPECT_EQ(Period(At(8, 8, 31)).expired, 0);  // counted once
}

TEST_P(AlertEvaluatorTest, RefusedRecipientIsRecordedAndSettled) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Bad address");
  AddRecipient(alert, "not an address", "", "");
  const std::int64_t entry = AddEntry();
  EXPECT_EQ(Period(At(0, 9, 0)).failed, 1);
  EXPECT_EQ(Period(At(0, 9, 1)).failed, 0);
  const std::string range = std::to_string(entry) + "-" + std::to_string(entry);
  EXPECT_THAT(Ledger(), ElementsAre("not an address failed " + range + " 1"));
  EXPECT_THAT(events_, ElementsAre(kEventMailFailed));
}

TEST_P(AlertEvaluatorTest, UnknownSecurityNeverFallsBackToPlainText) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Secure");
  AddRecipient(alert, "ops@example.com", "", "");
  const std::int64_t entry = AddEntry();
  settings_.smtpSecurity = "ssl";
  EXPECT_TRUE(Period(At(0, 9, 0)).unreachable);
  EXPECT_THAT(Mailed(), ::testing::IsEmpty());
  const std::string range = std::to_string(entry) + "-" + std::to_string(entry);
  EXPECT_THAT(Ledger(), ElementsAre("ops@example.com deferred " + range + " 1"));
}

TEST_P(AlertEvaluatorTest, EntriesStoredAfterTheNewestWereDeletedAreStillMailed) {
  ASSERT_TRUE(sink_.Start());
  const int alert = DefineAlert("Renumbered");
  AddRecipient(alert, "ops@example.com", "", "");
  const std::int64_t first = AddEntry();
  EXPECT_EQ(Period(At(0, 9, 0)).sent, 1);
  env_.Exec("DELETE FROM LogEntry WHERE LEID = " + std::to_string(first));
  EXPECT_EQ(Period(At(0, 9, 1)).sent, 0);
  const std::int64_t again = AddEntry();
  // The embedded engine hands out the deleted number again; the server's sequence does not.
  if (GetParam() == platform::data::Engine::Embedded) {
    EXPECT_EQ(again, first);
  }
  EXPECT_EQ(Period(At(0, 9, 2)).sent, 1);
  EXPECT_EQ(Mailed().size(), 2u);
}

TEST(LogBrowserLinkTest, SavedQueryNarrowedToTheEntriesTimes) {
  const std::string times = "range=custom&from=2026-12-07T08%3A00%3A00&to=2026-12-07T09%3A30%3A05";
  const std::pair<const char*, std::string> cases[] = {
      {"<INPUT name=\"query\" value=\"server=1&amp;range=24h&amp;type=1&amp;type=2&amp;page=3\"/>",
       "http://web.example/logs?server=1&type=1&type=2&" + times},
      {"<INPUT name=\"query\" value=\"range=custom&amp;from=2026-01-01&amp;to=2026-01-02\"/>",
       "http://web.example/logs?" + times},
      {"<INPUT name=\"hServerLogTypeFilter\" value=\"ELServerID=1\"/>",
       "http://web.example/logs?" + times},
      {"<unclosed", "http://web.example/logs?" + times},
  };
  for (const auto& [metaData, link] : cases) {
    EXPECT_EQ(LogBrowserLink("http://web.example//", metaData, "2026-12-07 08:00:00",
                             "2026-12-07 09:30:05"),
              link)
        << metaData;
  }
  EXPECT_EQ(LogBrowserLink("", "", "2026-12-07 08:00:00", "2026-12-07 09:30:05"), "");
}

TAMSEL_ON_BOTH_ENGINES(AlertEvaluatorTest);

}  // namespace
}  // namespace tamsel::alerting
