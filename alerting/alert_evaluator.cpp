// AlertEvaluator: the period's walk over active alerts and their due recipients, and the
// ledger entry of every mail's outcome.
#include "alerting/alert_evaluator.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "alerting/alert_clock.h"
#include "platform/eventlog/event_log.h"
#include "platform/xml/dom.h"
#include "reports/browse/key_query.h"

namespace tamsel::alerting {

namespace evl = platform::eventlog;

namespace {

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

// A crash between the mail and its ledger row, on request, so the recovery can be shown.
void ExitAfterSendWhenAsked() {
  const char* fault = std::getenv("TAMSEL_ALERTS_FAULT");
  if (fault != nullptr && std::strcmp(fault, "exit-after-send") == 0) _exit(70);
}

Notification Row(const PreparedMail& mail, const char* outcome, std::string answer,
                 std::time_t now) {
  Notification row;
  row.alertId = mail.alertId;
  row.recipientId = mail.recipient.id;
  row.email = mail.recipient.email;
  row.firstLeid = mail.digest.firstLeid;
  row.lastLeid = mail.digest.lastLeid;
  row.count = mail.digest.count;
  row.notifiedAt = FormatLocalTime(now);
  row.outcome = outcome;
  row.answer = std::move(answer);
  return row;
}

Notification ExpiredRow(const PreparedMail& mail, std::time_t now) {
  Notification row = Row(mail, "expired", "older than the deferral horizon", now);
  row.firstLeid = mail.expiredFirst;
  row.lastLeid = mail.expiredLast;
  row.count = mail.expiredCount;
  return row;
}

}  // namespace

std::string LogBrowserLink(const std::string& webBaseUrl, const std::string& metaData,
                           const std::string& firstTime, const std::string& lastTime) {
  if (webBaseUrl.empty()) return "";
  std::string base = webBaseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  // The log browser's own query, as its alert form saved it, without its time range and page.
  std::string query;
  try {
    platform::xml::Document doc;
    doc.LoadXml("<MetaData>" + metaData + "</MetaData>");
    platform::xml::Element saved = doc.SelectSingleNode("//INPUT[@name='query']");
    const std::string text = saved ? saved.GetAttribute("value").CStr() : "";
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('&', start);
      if (end == std::string::npos) end = text.size();
      const std::string pair = text.substr(start, end - start);
      const std::string name = pair.substr(0, pair.find('='));
      if (!pair.empty() && name != "range" && name != "from" && name != "to" && name != "page") {
        query += pair + "&";
      }
      start = end + 1;
    }
  } catch (const std::exception&) {
    // Metadata that does not parse: the link still narrows by time.
  }
  // Exactly the reported entries' times; the browser reads "yyyy-mm-ddThh:mm:ss".
  auto browserTime = [](std::string time) {
    if (time.size() > 10 && time[10] == ' ') time[10] = 'T';
    return UrlEncode(time);
  };
  return base + "/logs?" + query + "range=custom&from=" + browserTime(firstTime) +
         "&to=" + browserTime(lastTime);
}

AlertEvaluator::AlertEvaluator(AlertStore& store, MailSender& sender, EventSink events)
    : store_(store), sender_(sender), events_(std::move(events)) {}

bool AlertEvaluator::ConditionAccepted(const StoredAlert& alert) {
  if (alert.condition && reports::browse::IsAlertCondition(*alert.condition)) return true;
  const std::string text = alert.condition ? *alert.condition : "(none)";
  if (refused_.insert({alert.id, text}).second) {
    events_({evl::EVENTLOG_WARNING_TYPE, kEventAlertRefused, {std::to_string(alert.id), text}});
  }
  return false;
}

std::int64_t AlertEvaluator::StartOf(const StoredAlert& alert, const StoredRecipient& recipient,
                                     std::int64_t top, std::vector<WatermarkMove>& moves) {
  if (std::optional<std::int64_t> mark = store_.Watermark(alert.id, recipient.id)) {
    // The newest entries were deleted, and the database numbers the next ones from the highest
    // LEID left: a watermark above it would pass over them.
    if (*mark > top) {
      store_.LowerWatermark(alert.id, recipient.id, top);
      return top;
    }
    return *mark;
  }
  const std::int64_t start = store_.ActivationMark(alert.id);
  moves.push_back({alert.id, recipient.id, start});
  return start;
}

std::optional<PreparedMail> AlertEvaluator::Prepare(const AlertSettings& settings,
                                                    const StoredAlert& alert,
                                                    const StoredRecipient& recipient,
                                                    std::int64_t from, std::int64_t top,
                                                    std::time_t now) {
  // Recipients of one alert that share a watermark share its entries.
  auto cached = std::find_if(matches_.begin(), matches_.end(),
                             [from](const auto& match) { return match.first == from; });
  if (cached == matches_.end()) {
    const std::string horizon =
        FormatLocalTime(now - static_cast<std::time_t>(settings.deferHorizonDays) * 86400);
    matches_.emplace_back(
        from, store_.Pending(*alert.condition, from, top, horizon, settings.maxEntriesPerMail));
    cached = matches_.end() - 1;
  }
  const PendingEntries& pending = cached->second;
  if (pending.fresh.count == 0 && pending.expired.count == 0) return std::nullopt;

  PreparedMail mail;
  mail.alertId = alert.id;
  mail.recipient = recipient;
  mail.watermark = top;
  mail.expiredCount = pending.expired.count;
  mail.expiredFirst = pending.expired.first;
  mail.expiredLast = pending.expired.last;
  Digest& digest = mail.digest;
  digest.alertId = alert.id;
  digest.description = alert.description;
  digest.from = settings.mailFrom;
  digest.to = recipient.email;
  digest.date = now;
  digest.count = pending.fresh.count;
  digest.firstLeid = pending.fresh.first;
  digest.lastLeid = pending.fresh.last;
  digest.entries = store_.Details(pending.listed);
  if (digest.count > 0) {
    digest.link =
        LogBrowserLink(settings.webBaseUrl, alert.metaData, pending.firstTime, pending.lastTime);
  }
  return mail;
}

void AlertEvaluator::Settle(const PreparedMail& mail, const SendResult& result, std::time_t now,
                            PeriodResult& period) {
  const std::string alertId = std::to_string(mail.alertId);
  std::vector<Notification> rows;
  std::optional<WatermarkMove> move =
      WatermarkMove{mail.alertId, mail.recipient.id, mail.watermark};
  switch (result.outcome) {
    case SendOutcome::Sent:
      rows.push_back(Row(mail, "sent", result.answer, now));
      ++period.sent;
      break;
    case SendOutcome::Refused:
      // Retrying cannot help: the ledger keeps the refusal and the entries are settled.
      rows.push_back(Row(mail, "failed", result.answer, now));
      ++period.failed;
      events_({evl::EVENTLOG_ERROR_TYPE,
               kEventMailFailed,
               {alertId, mail.recipient.email, result.answer}});
      break;
    case SendOutcome::Deferred:
    case SendOutcome::Unreachable:
      rows.push_back(Row(mail, "deferred", result.answer, now));
      move.reset();
      ++period.deferred;
      if (result.outcome == SendOutcome::Unreachable) period.unreachable = true;
      events_({evl::EVENTLOG_WARNING_TYPE,
               kEventMailDeferred,
               {alertId, mail.recipient.email, result.answer}});
      break;
  }
  if (move && mail.expiredCount > 0) {
    rows.push_back(ExpiredRow(mail, now));
    SettleExpired(mail, now, period);
  }
  store_.Record(rows, move);
}

void AlertEvaluator::SettleExpired(const PreparedMail& mail, std::time_t now,
                                   PeriodResult& period) {
  period.expired += mail.expiredCount;
  events_(
      {evl::EVENTLOG_WARNING_TYPE,
       kEventEntriesExpired,
       {std::to_string(mail.alertId), std::to_string(mail.expiredCount), mail.recipient.email}});
}

PeriodResult AlertEvaluator::RunPeriod(const AlertSettings& settings, std::time_t now,
                                       bool maySend) {
  PeriodResult period;
  store_.ForgetInactive();
  const std::int64_t top = store_.TopLeid();
  std::tm local{};
  localtime_r(&now, &local);
  std::vector<WatermarkMove> moves;
  for (const StoredAlert& alert : store_.Alerts()) {
    if (!ConditionAccepted(alert)) continue;
    matches_.clear();
    for (const StoredRecipient& recipient : store_.Recipients(alert.id)) {
      const std::int64_t from = StartOf(alert, recipient, top, moves);
      // Outside its window, or while the server is backed off, a recipient's entries wait.
      if (from >= top || !IsDue(recipient.schedule, local) || !maySend) continue;
      std::optional<PreparedMail> mail = Prepare(settings, alert, recipient, from, top, now);
      if (!mail) {
        moves.push_back({alert.id, recipient.id, top});  // nothing matched: nothing to keep
        continue;
      }
      if (mail->digest.count == 0) {
        SettleExpired(*mail, now, period);
        store_.Record({ExpiredRow(*mail, now)}, WatermarkMove{alert.id, recipient.id, top});
        continue;
      }
      SendResult result;
      if (!IsValidAddress(recipient.email)) {
        result = {SendOutcome::Refused, "not a valid address: " + HeaderValue(recipient.email)};
      } else if (settings.smtpServer.empty() || !IsValidAddress(settings.mailFrom)) {
        result = {SendOutcome::Unreachable, "SmtpServer or MailFrom is not set to a valid value"};
      } else if (settings.smtpSecurity != "none" && settings.smtpSecurity != "starttls" &&
                 settings.smtpSecurity != "tls") {
        // Never fall back to plain text for a setting nobody meant.
        result = {SendOutcome::Unreachable, "SmtpSecurity must be none, starttls or tls"};
      } else {
        result =
            sender_.Send(settings, settings.mailFrom, recipient.email, DigestMessage(mail->digest));
        if (result.outcome == SendOutcome::Sent) ExitAfterSendWhenAsked();
      }
      Settle(*mail, result, now, period);
      if (period.unreachable) maySend = false;
    }
  }
  store_.MoveWatermarks(moves);
  return period;
}

std::vector<PreparedMail> AlertEvaluator::Preview(const AlertSettings& settings, int alertId,
                                                  std::time_t now) {
  std::vector<PreparedMail> mails;
  std::optional<StoredAlert> alert = store_.Alert(alertId);
  if (!alert || !ConditionAccepted(*alert)) return mails;
  const std::int64_t top = store_.TopLeid();
  matches_.clear();
  for (const StoredRecipient& recipient : store_.Recipients(alertId)) {
    std::optional<std::int64_t> mark = store_.Watermark(alertId, recipient.id);
    const std::int64_t from = mark ? *mark : store_.ActivationMark(alertId);
    if (from >= top) continue;
    if (std::optional<PreparedMail> mail = Prepare(settings, *alert, recipient, from, top, now)) {
      mails.push_back(std::move(*mail));
    }
  }
  return mails;
}

}  // namespace tamsel::alerting
