// One evaluation period: for each active alert whose stored condition passes the filter
// language's check, and for each of its recipients that is due, the entries stored above the
// recipient's watermark that meet the condition go out as one digest; the ledger row and the
// watermark are written together once the mail server has answered.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "alerting/alert_settings.h"
#include "alerting/alert_store.h"
#include "alerting/mail_sender.h"

namespace tamsel::alerting {

// The sender's own events (alert_events.mc).
inline constexpr std::uint32_t kEventAlertRefused = 110;
inline constexpr std::uint32_t kEventMailDeferred = 111;
inline constexpr std::uint32_t kEventMailFailed = 112;
inline constexpr std::uint32_t kEventEntriesExpired = 113;
inline constexpr std::uint32_t kEventPeriodFailed = 114;

struct AlertEvent {
  std::uint16_t type;  // EVENTLOG_*_TYPE
  std::uint32_t id;
  std::vector<std::string> strings;
};
using EventSink = std::function<void(const AlertEvent&)>;

struct PeriodResult {
  int sent = 0;
  int deferred = 0;
  int failed = 0;
  std::int64_t expired = 0;  // entries past the horizon
  bool unreachable = false;  // the mail server could not be reached: back off
};

// A digest ready to go, with the ledger facts that go with it.
struct PreparedMail {
  int alertId = 0;
  StoredRecipient recipient;
  Digest digest;
  std::int64_t expiredCount = 0;
  std::int64_t expiredFirst = 0;
  std::int64_t expiredLast = 0;
  std::int64_t watermark = 0;  // where the recipient's watermark goes once this is settled
};

class AlertEvaluator {
 public:
  AlertEvaluator(AlertStore& store, MailSender& sender, EventSink events);

  // One period at `now`. With `maySend` false (backing off) nothing is sent and no watermark
  // of a waiting entry moves.
  PeriodResult RunPeriod(const AlertSettings& settings, std::time_t now, bool maySend = true);

  // The digests the alert's recipients would get now, whether due or not; nothing is sent or
  // written.
  std::vector<PreparedMail> Preview(const AlertSettings& settings, int alertId, std::time_t now);

 private:
  // The condition of an alert that may run, or nothing (reported once per condition text).
  bool ConditionAccepted(const StoredAlert& alert);
  // Where the recipient's pending entries start: its watermark, never above `top`.
  std::int64_t StartOf(const StoredAlert& alert, const StoredRecipient& recipient, std::int64_t top,
                       std::vector<WatermarkMove>& moves);
  // The mail for the entries in (from, top] the alert selects; none when nothing matches.
  std::optional<PreparedMail> Prepare(const AlertSettings& settings, const StoredAlert& alert,
                                      const StoredRecipient& recipient, std::int64_t from,
                                      std::int64_t top, std::time_t now);
  void Settle(const PreparedMail& mail, const SendResult& result, std::time_t now,
              PeriodResult& period);
  // Counts and reports the entries that waited past the horizon.
  void SettleExpired(const PreparedMail& mail, std::time_t now, PeriodResult& period);

  AlertStore& store_;
  MailSender& sender_;
  EventSink events_;
  std::set<std::pair<int, std::string>> refused_;  // reported already
  // Matching entries of the alert being evaluated, by the watermark they were read from.
  std::vector<std::pair<std::int64_t, PendingEntries>> matches_;
};

// The log browser's address (WebBaseUrl + "/logs?...") for the alert's saved selection, the
// query the web application's alert form keeps in the metadata (INPUT "query"), narrowed to
// the reported entries' times; only the times when the metadata holds no query.
std::string LogBrowserLink(const std::string& webBaseUrl, const std::string& metaData,
                           const std::string& firstTime, const std::string& lastTime);

}  // namespace tamsel::alerting
