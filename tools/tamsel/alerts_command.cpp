// `tamsel alerts`: what the alert sender has done and would do: each alert's watermark,
// pending entries and last mail per recipient; the mails an alert would send now, without
// sending them; the ledger of notifications.
#include <cstdio>
#include <optional>
#include <string>

#include "alerting/alert_clock.h"
#include "alerting/alert_evaluator.h"
#include "alerting/alert_settings.h"
#include "alerting/alert_store.h"
#include "alerting/mail_digest.h"
#include "reports/browse/key_query.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace al = alerting;

namespace {

constexpr const char* kUsage =
    "usage: tamsel alerts status                 per alert: watermark, pending entries and the\n"
    "                                            last mail of each recipient\n"
    "       tamsel alerts test ALERTID [--now 'YYYY-MM-DD HH:MM:SS']\n"
    "                                            the mails the alert would send now, printed,\n"
    "                                            not sent; nothing is recorded\n"
    "       tamsel alerts history [ALERTID] [--limit N]\n"
    "                                            the notifications, newest first (default 20)\n"
    "The settings (database, web address, entries per mail) are TamselAlerts' Parameters.\n";

int Fail(const std::string& error) {
  std::fprintf(stderr, "tamsel alerts: %s\n", error.c_str());
  return 1;
}

std::optional<int> Number(const std::string& text) {
  try {
    std::size_t used = 0;
    int value = std::stoi(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

void PrintNotification(const al::Notification& n) {
  std::printf("%s  alert %d  recipient %d <%s>  %s  entries %lld-%lld (%lld)%s%s\n",
              n.notifiedAt.c_str(), n.alertId, n.recipientId, n.email.c_str(), n.outcome.c_str(),
              static_cast<long long>(n.firstLeid), static_cast<long long>(n.lastLeid),
              static_cast<long long>(n.count), n.answer.empty() ? "" : "  ", n.answer.c_str());
}

int Status(al::AlertStore& store) {
  const std::int64_t top = store.TopLeid();
  std::printf("entries stored up to LEID %lld\n", static_cast<long long>(top));
  for (const al::StoredAlert& alert : store.Alerts(true)) {
    std::printf("alert %d  %s  %s\n", alert.id, alert.status == 1 ? "active" : "inactive",
                alert.description.c_str());
    if (alert.status != 1) continue;
    const bool accepted = alert.condition && reports::browse::IsAlertCondition(*alert.condition);
    if (!accepted) {
      std::printf("  condition refused: %s\n",
                  alert.condition ? alert.condition->c_str() : "(none)");
      continue;
    }
    std::vector<al::Notification> last = store.LastNotifications(alert.id);
    for (const al::StoredRecipient& recipient : store.Recipients(alert.id)) {
      std::optional<std::int64_t> mark = store.Watermark(alert.id, recipient.id);
      const std::int64_t from = mark ? *mark : store.ActivationMark(alert.id);
      const long long pending = store.Pending(*alert.condition, from, top, "", 0).fresh.count;
      std::printf("  recipient %d <%s>  watermark %lld%s  pending %lld\n", recipient.id,
                  recipient.email.c_str(), static_cast<long long>(from),
                  mark ? "" : " (not yet evaluated)", pending);
      for (const al::Notification& n : last) {
        if (n.recipientId != recipient.id) continue;
        std::printf("    last mail: ");
        PrintNotification(n);
      }
    }
  }
  return 0;
}

// The dry run sends nothing.
class NoMailSender : public al::MailSender {
 public:
  al::SendResult Send(const al::AlertSettings&, const std::string&, const std::string&,
                      const std::string&) override {
    return {al::SendOutcome::Unreachable, "not sent"};
  }
};

int Test(al::AlertStore& store, const al::AlertSettings& settings, int alertId, std::time_t now) {
  std::optional<al::StoredAlert> alert = store.Alert(alertId);
  if (!alert) return Fail("no alert " + std::to_string(alertId));
  if (!alert->condition || !reports::browse::IsAlertCondition(*alert->condition)) {
    return Fail("alert " + std::to_string(alertId) +
                ": its condition is not of the generated form and would be refused: " +
                (alert->condition ? *alert->condition : "(none)"));
  }
  NoMailSender noMail;
  al::AlertEvaluator evaluator(store, noMail, [](const al::AlertEvent&) {});
  std::vector<al::PreparedMail> mails = evaluator.Preview(settings, alertId, now);
  if (mails.empty()) {
    std::printf("alert %d: no entries pending, no mail would be sent\n", alertId);
    return 0;
  }
  for (const al::PreparedMail& mail : mails) {
    std::printf(
        "From: %s\nTo: %s\nSubject: %s\nX-Tamsel-Entries: %lld-%lld %lld\n\n%s",
        mail.digest.from.c_str(), mail.digest.to.c_str(), al::DigestSubject(mail.digest).c_str(),
        static_cast<long long>(mail.digest.firstLeid), static_cast<long long>(mail.digest.lastLeid),
        static_cast<long long>(mail.digest.count), al::DigestText(mail.digest).c_str());
    if (mail.expiredCount > 0) {
      std::printf("(%lld older entries are past the deferral horizon)\n",
                  static_cast<long long>(mail.expiredCount));
    }
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int RunAlertsCommand(const Args& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 1 : 0;
  }
  try {
    al::AlertSettings settings = al::ReadAlertSettings();
    al::AlertStore store(settings.ConnectionString());
    const std::string& action = args[0];
    if (action == "status" && args.size() == 1) return Status(store);
    if (action == "test" && (args.size() == 2 || args.size() == 4)) {
      std::optional<int> alertId = Number(args[1]);
      if (!alertId) return Fail("ALERTID must be a number");
      std::time_t now = al::ClockFromEnvironment()->Now();
      if (args.size() == 4) {
        std::optional<std::time_t> given =
            args[2] == "--now" ? al::ParseLocalTime(args[3]) : std::nullopt;
        if (!given) return Fail("--now needs a time 'YYYY-MM-DD HH:MM:SS'");
        now = *given;
      }
      return Test(store, settings, *alertId, now);
    }
    if (action == "history") {
      std::optional<int> alertId;
      int limit = 20;
      for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--limit" && i + 1 < args.size()) {
          std::optional<int> n = Number(args[++i]);
          if (!n || *n <= 0) return Fail("--limit needs a positive number");
          limit = *n;
        } else if (std::optional<int> n = Number(args[i]); n && !alertId) {
          alertId = n;
        } else {
          return Fail("unexpected argument '" + args[i] + "'\n" + kUsage);
        }
      }
      for (const al::Notification& n : store.History(alertId, limit)) PrintNotification(n);
      return 0;
    }
    return Fail("unknown or incomplete action\n" + std::string(kUsage));
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

}  // namespace tamsel::tools
