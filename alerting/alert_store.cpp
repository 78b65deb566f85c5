// AlertStore: the sender's queries over TamselDB and its ledger writes.
#include "alerting/alert_store.h"

#include "platform/com/variant.h"
#include "platform/data/command.h"
#include "platform/data/session.h"

namespace tamsel::alerting {

namespace data = platform::data;
using platform::com::Variant;

namespace {

std::optional<int> OptionalInt(const data::Statement& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return static_cast<int>(row.Int64(column));
}

constexpr const char* kAlertColumns =
    "SELECT h.AlertHdrID, h.AlertDesc, h.AlertSql, h.Status, "
    "COALESCE((SELECT group_concat(AlertItemMetaData, '') FROM "
    "(SELECT AlertItemMetaData FROM AlertItem i WHERE i.AlertHdrID = h.AlertHdrID "
    "ORDER BY i.AlertItemID) AS items), '') FROM AlertHdr h";

StoredAlert ReadAlert(const data::Statement& row) {
  StoredAlert alert;
  alert.id = static_cast<int>(row.Int64(0));
  alert.description = row.Text(1);
  if (!row.IsNull(2)) alert.condition = row.Text(2);
  alert.status = static_cast<int>(row.Int64(3));
  alert.metaData = row.Text(4);
  return alert;
}

Notification ReadNotification(const data::Statement& row) {
  Notification n;
  n.alertId = static_cast<int>(row.Int64(0));
  n.recipientId = static_cast<int>(row.Int64(1));
  n.email = row.Text(2);
  n.firstLeid = row.Int64(3);
  n.lastLeid = row.Int64(4);
  n.count = row.Int64(5);
  n.notifiedAt = row.Text(6);
  n.outcome = row.Text(7);
  n.answer = row.Text(8);
  return n;
}

constexpr const char* kNotificationColumns =
    "SELECT AlertHdrID, AlertRecipientID, Email, FirstLEID, LastLEID, EntryCount, NotifiedAt, "
    "Outcome, ServerAnswer FROM AlertNotification";

}  // namespace

AlertStore::AlertStore(const std::string& connectionString) { connection_.Open(connectionString); }

std::int64_t AlertStore::TopLeid() {
  auto top = connection_.GetSession().Prepare("SELECT COALESCE(MAX(LEID), 0) FROM LogEntry");
  top.Step();
  return top.Int64(0);
}

std::vector<StoredAlert> AlertStore::Alerts(bool all) {
  std::string sql = kAlertColumns;
  sql += all ? " ORDER BY h.AlertHdrID" : " WHERE h.Status = 1 ORDER BY h.AlertHdrID";
  auto rows = connection_.GetSession().Prepare(sql);
  std::vector<StoredAlert> alerts;
  while (rows.Step()) alerts.push_back(ReadAlert(rows));
  return alerts;
}

std::optional<StoredAlert> AlertStore::Alert(int alertId) {
  auto row =
      connection_.GetSession().Prepare(std::string(kAlertColumns) + " WHERE h.AlertHdrID = ?");
  row.BindInt64(1, alertId);
  if (!row.Step()) return std::nullopt;
  return ReadAlert(row);
}

std::vector<StoredRecipient> AlertStore::Recipients(int alertId) {
  auto rows = connection_.GetSession().Prepare(
      "SELECT AlertRecipientID, COALESCE(Email, ''), ScheduleDaysMeta, StartMinuteOfDay, "
      "EndMinuteOfDay FROM AlertRecipient WHERE AlertHdrID = ? ORDER BY AlertRecipientID");
  rows.BindInt64(1, alertId);
  std::vector<StoredRecipient> recipients;
  while (rows.Step()) {
    StoredRecipient recipient;
    recipient.id = static_cast<int>(rows.Int64(0));
    recipient.email = rows.Text(1);
    recipient.schedule.dayMask = static_cast<int>(rows.Int64(2));
    recipient.schedule.startMinute = OptionalInt(rows, 3);
    recipient.schedule.endMinute = OptionalInt(rows, 4);
    recipients.push_back(std::move(recipient));
  }
  return recipients;
}

std::optional<std::int64_t> AlertStore::Watermark(int alertId, int recipientId) {
  auto row = connection_.GetSession().Prepare(
      "SELECT LastLEID FROM AlertWatermark WHERE AlertHdrID = ? AND AlertRecipientID = ?");
  row.BindInt64(1, alertId).BindInt64(2, recipientId);
  if (!row.Step()) return std::nullopt;
  return row.Int64(0);
}

std::int64_t AlertStore::ActivationMark(int alertId) {
  auto row = connection_.GetSession().Prepare(
      "SELECT COALESCE(MAX(LEID), 0) FROM LogEntry WHERE CreatedAt < "
      "(SELECT COALESCE(UpdatedAt, CreatedAt) FROM AlertHdr WHERE AlertHdrID = ?)");
  row.BindInt64(1, alertId);
  row.Step();
  return row.Int64(0);
}

PendingEntries AlertStore::Pending(const std::string& condition, std::int64_t after,
                                   std::int64_t upTo, const std::string& horizon, int maxListed) {
  // The LEID range leads: an index on a condition column would visit every stored entry of that
  // value, old ones included, where the range visits only the new ones.
  std::string sql =
      "SELECT LEID, CreatedAt, TimeGenerated FROM LogEntry NOT INDEXED WHERE LEID > ? AND "
      "LEID <= ?";
  // The condition has passed the filter language's check, so its parentheses balance and it
  // holds nothing but comparisons of LogEntry's own columns.
  if (!condition.empty()) sql += " AND (" + condition + ")";
  sql += " ORDER BY LEID";
  auto rows = connection_.GetSession().Prepare(sql);
  rows.BindInt64(1, after).BindInt64(2, upTo);
  PendingEntries pending;
  while (rows.Step()) {
    const std::int64_t leid = rows.Int64(0);
    if (rows.Text(1) < horizon) {
      pending.expired.Add(leid);
      continue;
    }
    pending.fresh.Add(leid);
    const std::string time = rows.Text(2);
    if (pending.firstTime.empty() || time < pending.firstTime) pending.firstTime = time;
    if (time > pending.lastTime) pending.lastTime = time;
    if (static_cast<int>(pending.listed.size()) < maxListed) pending.listed.push_back(leid);
  }
  return pending;
}

std::vector<DigestEntry> AlertStore::Details(const std::vector<std::int64_t>& leids) {
  auto row = connection_.GetSession().Prepare(
      "SELECT le.LEID, le.TimeGenerated, s.ELServerName, lt.LogTypeName, et.EventTypeName, "
      "src.ELSourceName, le.EventID, le.FullMessage FROM LogEntry le "
      "JOIN ELServer s ON s.ELServerID = le.ELServerID "
      "JOIN LogType lt ON lt.LogTypeID = le.LogTypeID "
      "JOIN EventType et ON et.EventTypeID = le.EventTypeID "
      "JOIN ELSource src ON src.ELSourceID = le.ELSourceID WHERE le.LEID = ?");
  std::vector<DigestEntry> entries;
  for (std::int64_t leid : leids) {
    row.Reset();
    row.BindInt64(1, leid);
    if (!row.Step()) continue;
    DigestEntry entry;
    entry.leid = row.Int64(0);
    entry.timeGenerated = row.Text(1);
    entry.server = row.Text(2);
    entry.log = row.Text(3);
    entry.type = row.Text(4);
    entry.source = row.Text(5);
    entry.eventId = static_cast<int>(row.Int64(6));
    entry.message = row.Text(7);
    entries.push_back(std::move(entry));
  }
  return entries;
}

void AlertStore::Record(const std::vector<Notification>& rows, std::optional<WatermarkMove> move) {
  connection_.Execute("BEGIN TRANSACTION", data::adExecuteNoRecords);
  try {
    for (std::size_t index = 0; index < rows.size(); ++index) {
      const Notification& n = rows[index];
      data::Command command;
      command.SetActiveConnection(connection_);
      command.SetCommandType(data::adCmdStoredProc);
      command.SetCommandText("AlertNotificationAdd");
      auto add = [&](const char* name, long type, Variant value) {
        command.GetParameters().Append(
            command.CreateParameter(name, type, data::adParamInput, 0, std::move(value)));
      };
      add("@AlertHdrID", data::adInteger, Variant(static_cast<std::int32_t>(n.alertId)));
      add("@AlertRecipientID", data::adInteger, Variant(static_cast<std::int32_t>(n.recipientId)));
      add("@Email", data::adVarChar, Variant(n.email));
      add("@FirstLEID", data::adBigInt, Variant::FromInt64(n.firstLeid));
      add("@LastLEID", data::adBigInt, Variant::FromInt64(n.lastLeid));
      add("@EntryCount", data::adBigInt, Variant::FromInt64(n.count));
      add("@NotifiedAt", data::adVarChar, Variant(n.notifiedAt));
      add("@Outcome", data::adVarChar, Variant(n.outcome));
      add("@ServerAnswer", data::adVarChar, Variant(n.answer));
      // The watermark goes with the last row.
      const bool last = index + 1 == rows.size();
      add("@Watermark", data::adBigInt,
          last && move ? Variant::FromInt64(move->leid) : Variant::Null());
      command.Execute(data::adExecuteNoRecords);
    }
    connection_.Execute("COMMIT TRANSACTION", data::adExecuteNoRecords);
  } catch (...) {
    try {
      connection_.Execute("ROLLBACK TRANSACTION", data::adExecuteNoRecords);
    } catch (...) {
    }
    throw;
  }
}

void AlertStore::MoveWatermarks(const std::vector<WatermarkMove>& moves) {
  if (moves.empty()) return;
  data::Session& session = connection_.GetSession();
  session.Execute("BEGIN IMMEDIATE");
  try {
    auto upsert = session.Prepare(
        "INSERT INTO AlertWatermark (AlertHdrID, AlertRecipientID, LastLEID) VALUES (?, ?, ?) "
        "ON CONFLICT (AlertHdrID, AlertRecipientID) DO UPDATE SET "
        "LastLEID = MAX(AlertWatermark.LastLEID, excluded.LastLEID)");
    for (const WatermarkMove& move : moves) {
      upsert.Reset();
      upsert.BindInt64(1, move.alertId).BindInt64(2, move.recipientId).BindInt64(3, move.leid);
      upsert.Run();
    }
    session.Execute("COMMIT");
  } catch (...) {
    try {
      session.Execute("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
}

void AlertStore::LowerWatermark(int alertId, int recipientId, std::int64_t leid) {
  connection_.GetSession()
      .Prepare(
          "UPDATE AlertWatermark SET LastLEID = ? WHERE AlertHdrID = ? AND AlertRecipientID = ? "
          "AND LastLEID > ?")
      .BindInt64(1, leid)
      .BindInt64(2, alertId)
      .BindInt64(3, recipientId)
      .BindInt64(4, leid)
      .Run();
}

void AlertStore::ForgetInactive() {
  connection_.GetSession()
      .Prepare(
          "DELETE FROM AlertWatermark WHERE AlertHdrID NOT IN "
          "(SELECT AlertHdrID FROM AlertHdr WHERE Status = 1)")
      .Run();
}

std::vector<Notification> AlertStore::History(std::optional<int> alertId, int limit) {
  std::string sql = kNotificationColumns;
  if (alertId) sql += " WHERE AlertHdrID = ?";
  sql += " ORDER BY AlertNotificationID DESC LIMIT ?";
  auto rows = connection_.GetSession().Prepare(sql);
  int index = 1;
  if (alertId) rows.BindInt64(index++, *alertId);
  rows.BindInt64(index, limit);
  std::vector<Notification> history;
  while (rows.Step()) history.push_back(ReadNotification(rows));
  return history;
}

std::vector<Notification> AlertStore::LastNotifications(int alertId) {
  auto rows = connection_.GetSession().Prepare(
      std::string(kNotificationColumns) +
      " WHERE AlertNotificationID IN (SELECT MAX(AlertNotificationID) FROM AlertNotification "
      "WHERE AlertHdrID = ? GROUP BY AlertRecipientID) ORDER BY AlertRecipientID");
  rows.BindInt64(1, alertId);
  std::vector<Notification> last;
  while (rows.Step()) last.push_back(ReadNotification(rows));
  return last;
}

}  // namespace tamsel::alerting
