// What the sender reads from and writes to TamselDB: the active alerts with their stored
// conditions and recipients, the entries a condition selects above a watermark, and the
// ledger of notifications with the watermarks that move with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "alerting/mail_digest.h"
#include "alerting/recipient_schedule.h"
#include "platform/data/connection.h"

namespace tamsel::alerting {

struct StoredAlert {
  int id = 0;
  std::string description;
  std::optional<std::string> condition;  // the stored alert SQL; none when never generated
  int status = 0;
  std::string metaData;  // the alert page's saved selection
};

struct StoredRecipient {
  int id = 0;
  std::string email;
  RecipientSchedule schedule;
};

// Entries above a watermark that meet a condition, summed up as they are read, so a long wait
// costs no memory: those stored before the horizon apart from the others.
struct EntryRange {
  std::int64_t count = 0;
  std::int64_t first = 0;  // LEIDs
  std::int64_t last = 0;
  void Add(std::int64_t leid) {
    if (count++ == 0) first = leid;
    last = leid;
  }
};
struct PendingEntries {
  EntryRange fresh;
  EntryRange expired;
  std::string firstTime;  // TimeGenerated span of the fresh ones
  std::string lastTime;
  std::vector<std::int64_t> listed;  // the first fresh ones, as many as asked for
};

// One ledger row.
struct Notification {
  int alertId = 0;
  int recipientId = 0;
  std::string email;
  std::int64_t firstLeid = 0;
  std::int64_t lastLeid = 0;
  std::int64_t count = 0;
  std::string notifiedAt;
  std::string outcome;  // sent, deferred, failed, expired
  std::string answer;
};

// A watermark to set (never lowered).
struct WatermarkMove {
  int alertId = 0;
  int recipientId = 0;
  std::int64_t leid = 0;
};

class AlertStore {
 public:
  // Opens TamselDB with the connection string; raises the provider's error.
  explicit AlertStore(const std::string& connectionString);

  std::int64_t TopLeid();
  // Alerts with status 1 (`all` = false) or every alert.
  std::vector<StoredAlert> Alerts(bool all = false);
  std::optional<StoredAlert> Alert(int alertId);
  std::vector<StoredRecipient> Recipients(int alertId);
  std::optional<std::int64_t> Watermark(int alertId, int recipientId);
  // The last entry stored before the alert was last changed (its activation among them):
  // where a recipient without a watermark starts.
  std::int64_t ActivationMark(int alertId);
  // Entries in (after, upTo] that meet `condition` (checked beforehand); those stored before
  // `horizon` (a local time text; empty: none) count as expired; up to `maxListed` fresh ones
  // are listed, in LEID order.
  PendingEntries Pending(const std::string& condition, std::int64_t after, std::int64_t upTo,
                         const std::string& horizon, int maxListed);
  std::vector<DigestEntry> Details(const std::vector<std::int64_t>& leids);

  // The rows and the watermark move in one transaction: all of them or none.
  void Record(const std::vector<Notification>& rows, std::optional<WatermarkMove> move);
  void MoveWatermarks(const std::vector<WatermarkMove>& moves);
  // Brings a watermark down to `leid` (the highest entry left after deletions).
  void LowerWatermark(int alertId, int recipientId, std::int64_t leid);
  // Watermarks of alerts that are no longer active: a reactivated alert starts afresh.
  void ForgetInactive();

  std::vector<Notification> History(std::optional<int> alertId, int limit);
  // The last ledger row of each recipient of the alert.
  std::vector<Notification> LastNotifications(int alertId);

  platform::data::Connection& GetConnection() { return connection_; }

 private:
  platform::data::Connection connection_;
};

}  // namespace tamsel::alerting
