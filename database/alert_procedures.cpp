// The alert procedures: one header per alert with its metadata items, the generated
// condition and status, and the recipients with their schedule windows.
#include "database/alert_procedures.h"

#include <cctype>
#include <string>

#include "platform/data/ado_constants.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using platform::data::Session;

bool IsMissing(const Variant& value) { return value.IsNull() || value.IsEmpty(); }

std::string TextOrEmpty(const Variant& value) { return IsMissing(value) ? "" : value.CStr(); }

bool AlertExists(Session& session, const Variant& alertHdrID) {
  auto found = session.Prepare("SELECT 1 FROM AlertHdr WHERE AlertHdrID = ?");
  found.Bind(1, alertHdrID);
  return found.Step();
}

// Digits from `pos`, at least one and at most `maxDigits`; advances `pos`.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t maxDigits) {
  std::size_t start = pos;
  int value = 0;
  while (pos < text.size() && pos - start < maxDigits &&
         std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return value;
}

// The minute of the day a window time names; a stored minute makes the twelve-hour split
// of the schedule list exact.
std::optional<Variant> MinuteOfDayValue(const Variant& time) {
  if (IsMissing(time)) return Variant::Null();
  std::optional<int> minute = ScheduleMinuteOfDay(time.CStr());
  if (!minute) return std::nullopt;
  return Variant(static_cast<std::int32_t>(*minute));
}

}  // namespace

std::optional<int> ScheduleMinuteOfDay(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::size_t pos = 0;
  std::optional<int> hour = Digits(text, pos, 2);
  if (!hour) return std::nullopt;
  int minute = 0;
  bool hasMinutes = pos < text.size() && text[pos] == ':';
  if (hasMinutes) {
    ++pos;
    std::size_t start = pos;
    std::optional<int> minutes = Digits(text, pos, 2);
    if (!minutes || pos - start != 2 || *minutes > 59) return std::nullopt;
    minute = *minutes;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      start = pos;
      std::optional<int> seconds = Digits(text, pos, 2);
      if (!seconds || pos - start != 2 || *seconds > 59) return std::nullopt;
    }
  }
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::string marker;
  for (; pos < text.size(); ++pos) {
    marker += static_cast<char>(std::toupper(static_cast<unsigned char>(text[pos])));
  }
  if (marker.empty()) {
    if (!hasMinutes || *hour > 23) return std::nullopt;
    return *hour * 60 + minute;
  }
  if ((marker != "AM" && marker != "PM") || *hour < 1 || *hour > 12) return std::nullopt;
  int hour24 = *hour % 12 + (marker == "PM" ? 12 : 0);
  return hour24 * 60 + minute;
}

// @AlertHdrID (in/out), @AppUserID, @AlertDesc. A NULL id creates the alert and hands back
// its id; otherwise the named alert gets the new description and loses its metadata items,
// which the caller sends again from number 0.
int AlertHdrUpdate(ProcedureCall& call) {
  Session& session = call.GetSession();
  const std::string description = TextOrEmpty(call.Arg(2));
  if (IsMissing(call.Arg(0))) {
    auto insert = session.Prepare("INSERT INTO AlertHdr (AppUserID, AlertDesc) VALUES (?, ?)");
    insert.Bind(1, call.Arg(1)).BindText(2, description).Run();
    call.SetOutput(0, Variant::FromInt64(session.LastInsertRowId()));
    return 0;
  }
  auto update = session.Prepare(
      "UPDATE AlertHdr SET AlertDesc = ?, UpdatedAt = datetime('now', 'localtime') "
      "WHERE AlertHdrID = ?");
  update.BindText(1, description).Bind(2, call.Arg(0));
  if (update.Run() == 0) return kAlertNotFound;
  session.Prepare("DELETE FROM AlertItem WHERE AlertHdrID = ?").Bind(1, call.Arg(0)).Run();
  return 0;
}

// @AlertHdrID, @AlertItemID, @AlertItemMetaData: one numbered piece of the metadata.
int AlertItemMetaDataAdd(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!AlertExists(session, call.Arg(0))) return kAlertNotFound;
  auto insert = session.Prepare(
      "INSERT INTO AlertItem (AlertHdrID, AlertItemID, AlertItemMetaData) VALUES (?, ?, ?) "
      "ON CONFLICT (AlertHdrID, AlertItemID) DO UPDATE SET "
      "AlertItemMetaData = excluded.AlertItemMetaData");
  insert.Bind(1, call.Arg(0)).Bind(2, call.Arg(1)).BindText(3, TextOrEmpty(call.Arg(2))).Run();
  return 0;
}

int AlertListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT h.AlertHdrID, u.AppUserName, h.AlertDesc FROM AlertHdr h "
      "JOIN AppUser u ON u.AppUserID = h.AppUserID ORDER BY h.AlertHdrID");
  return 0;
}

// @AlertHdrID, @AlertSql, @statusFlag.
int AlertHdrSetStatus(ProcedureCall& call) {
  auto update = call.GetSession().Prepare(
      "UPDATE AlertHdr SET AlertSql = ?, Status = COALESCE(?, Status), "
      "UpdatedAt = datetime('now', 'localtime') WHERE AlertHdrID = ?");
  update.Bind(1, call.Arg(1)).Bind(2, call.Arg(2)).Bind(3, call.Arg(0));
  return update.Run() == 0 ? kAlertNotFound : 0;
}

// @AlertHdrID: the alert with its items and recipients; an unknown id deletes nothing.
int AlertDelete(ProcedureCall& call) {
  Session& session = call.GetSession();
  for (const char* sql : {"DELETE FROM AlertItem WHERE AlertHdrID = ?",
                          "DELETE FROM AlertRecipient WHERE AlertHdrID = ?",
                          "DELETE FROM AlertHdr WHERE AlertHdrID = ?"}) {
    session.Prepare(sql).Bind(1, call.Arg(0)).Run();
  }
  return 0;
}

// @AlertHdrID: one row per metadata item, in item order, each with the description.
int AlertHdrGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT h.AlertDesc, i.AlertItemMetaData FROM AlertHdr h "
      "JOIN AlertItem i ON i.AlertHdrID = h.AlertHdrID WHERE h.AlertHdrID = ? "
      "ORDER BY i.AlertItemID",
      {call.Arg(0)});
  return 0;
}

// @AlertRecipientID, @AlertHdrID, @Email, @ScheduleStartTime, @ScheduleEndTime,
// @ScheduleTimeDisplay, @ScheduleDaysMeta, @ScheduleDaysDisplay. A NULL recipient id adds a
// recipient to the alert; otherwise the alert's named recipient is changed.
int AlertRecipientUpdate(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!AlertExists(session, call.Arg(1))) return kAlertNotFound;
  std::optional<Variant> startMinute = MinuteOfDayValue(call.Arg(3));
  std::optional<Variant> endMinute = MinuteOfDayValue(call.Arg(4));
  if (!startMinute || !endMinute) return kScheduleTimeInvalid;
  const bool add = IsMissing(call.Arg(0));
  auto write = session.Prepare(
      add ? "INSERT INTO AlertRecipient (Email, ScheduleStartTime, ScheduleEndTime, "
            "StartMinuteOfDay, EndMinuteOfDay, ScheduleTimeDisplay, ScheduleDaysMeta, "
            "ScheduleDaysDisplay, AlertHdrID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
          : "UPDATE AlertRecipient SET Email = ?, ScheduleStartTime = ?, ScheduleEndTime = ?, "
            "StartMinuteOfDay = ?, EndMinuteOfDay = ?, ScheduleTimeDisplay = ?, "
            "ScheduleDaysMeta = ?, ScheduleDaysDisplay = ? "
            "WHERE AlertHdrID = ? AND AlertRecipientID = ?");
  write.Bind(1, call.Arg(2))
      .Bind(2, call.Arg(3))
      .Bind(3, call.Arg(4))
      .Bind(4, *startMinute)
      .Bind(5, *endMinute)
      .BindText(6, TextOrEmpty(call.Arg(5)))
      .BindInt64(7, IsMissing(call.Arg(6)) ? 0 : call.Arg(6).CLng())
      .BindText(8, TextOrEmpty(call.Arg(7)))
      .Bind(9, call.Arg(1));
  if (!add) write.Bind(10, call.Arg(0));
  const int changed = write.Run();
  return add || changed > 0 ? 0 : kRecipientNotFound;
}

// @AlertHdrID: the schedule list, each window time split into the parts of a twelve-hour
// clock (empty parts for the whole day).
int AlertScheduleGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT AlertHdrID, AlertRecipientID, COALESCE(Email, '') AS Email, ScheduleDaysMeta, "
      "ScheduleDaysDisplay, "
      "CASE WHEN StartMinuteOfDay IS NULL THEN '' "
      "ELSE CAST((StartMinuteOfDay / 60 + 11) % 12 + 1 AS TEXT) END AS StartHour, "
      "CASE WHEN StartMinuteOfDay IS NULL THEN '' "
      "ELSE printf('%02d', StartMinuteOfDay % 60) END AS StartMinute, "
      "CASE WHEN StartMinuteOfDay IS NULL THEN '' WHEN StartMinuteOfDay < 720 THEN 'AM' "
      "ELSE 'PM' END AS StartAmPm, "
      "CASE WHEN EndMinuteOfDay IS NULL THEN '' "
      "ELSE CAST((EndMinuteOfDay / 60 + 11) % 12 + 1 AS TEXT) END AS EndHour, "
      "CASE WHEN EndMinuteOfDay IS NULL THEN '' "
      "ELSE printf('%02d', EndMinuteOfDay % 60) END AS EndMinute, "
      "CASE WHEN EndMinuteOfDay IS NULL THEN '' WHEN EndMinuteOfDay < 720 THEN 'AM' "
      "ELSE 'PM' END AS EndAmPm, "
      "ScheduleTimeDisplay FROM AlertRecipient WHERE AlertHdrID = ? ORDER BY AlertRecipientID",
      {call.Arg(0)});
  return 0;
}

// @AlertHdrID, @AlertRecipientID: removes the named recipient of the named alert.
int AlertRecipientRemove(ProcedureCall& call) {
  call.GetSession()
      .Prepare("DELETE FROM AlertRecipient WHERE AlertHdrID = ? AND AlertRecipientID = ?")
      .Bind(1, call.Arg(0))
      .Bind(2, call.Arg(1))
      .Run();
  return 0;
}

// @AlertHdrID, @AlertRecipientID, @Email, @FirstLEID, @LastLEID, @EntryCount, @NotifiedAt,
// @Outcome, @ServerAnswer, @Watermark: one ledger row; a non-NULL watermark also becomes the
// recipient's, never lower than it was. Both or neither: the procedure runs in a savepoint.
int AlertNotificationAdd(ProcedureCall& call) {
  Session& session = call.GetSession();
  auto insert = session.Prepare(
      "INSERT INTO AlertNotification (AlertHdrID, AlertRecipientID, Email, FirstLEID, LastLEID, "
      "EntryCount, NotifiedAt, Outcome, ServerAnswer) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, call.Arg(0)).Bind(2, call.Arg(1)).BindText(3, TextOrEmpty(call.Arg(2)));
  insert.Bind(4, call.Arg(3)).Bind(5, call.Arg(4)).Bind(6, call.Arg(5)).Bind(7, call.Arg(6));
  insert.Bind(8, call.Arg(7)).BindText(9, TextOrEmpty(call.Arg(8))).Run();
  if (!IsMissing(call.Arg(9))) {
    session
        .Prepare(
            "INSERT INTO AlertWatermark (AlertHdrID, AlertRecipientID, LastLEID) VALUES (?, ?, ?) "
            "ON CONFLICT (AlertHdrID, AlertRecipientID) DO UPDATE SET "
            "LastLEID = MAX(AlertWatermark.LastLEID, excluded.LastLEID)")
        .Bind(1, call.Arg(0))
        .Bind(2, call.Arg(1))
        .Bind(3, call.Arg(9))
        .Run();
  }
  return 0;
}

void RegisterAlertProcedures() {
  using namespace platform::data;  // the ADO type numbers read best unqualified here
  auto in = [](const char* name, long type) { return ProcedureParameter{name, type, false}; };
  ProcedureCatalog& catalog = ProcedureCatalog::Global();
  catalog.Register(
      {"AlertHdrUpdate",
       {{"@AlertHdrID", adInteger, true}, in("@AppUserID", adInteger), in("@AlertDesc", adVarChar)},
       AlertHdrUpdate});
  catalog.Register({"AlertItemMetaDataAdd",
                    {in("@AlertHdrID", adInteger), in("@AlertItemID", adInteger),
                     in("@AlertItemMetaData", adVarChar)},
                    AlertItemMetaDataAdd});
  catalog.Register({"AlertListGet", {}, AlertListGet});
  catalog.Register(
      {"AlertHdrSetStatus",
       {in("@AlertHdrID", adInteger), in("@AlertSql", adVarChar), in("@statusFlag", adInteger)},
       AlertHdrSetStatus});
  catalog.Register({"AlertDelete", {in("@AlertHdrID", adInteger)}, AlertDelete});
  catalog.Register({"AlertHdrGet", {in("@AlertHdrID", adInteger)}, AlertHdrGet});
  catalog.Register({"AlertRecipientUpdate",
                    {in("@AlertRecipientID", adInteger), in("@AlertHdrID", adInteger),
                     in("@Email", adVarChar), in("@ScheduleStartTime", adVarChar),
                     in("@ScheduleEndTime", adVarChar), in("@ScheduleTimeDisplay", adVarChar),
                     in("@ScheduleDaysMeta", adInteger), in("@ScheduleDaysDisplay", adVarChar)},
                    AlertRecipientUpdate});
  catalog.Register({"AlertScheduleGet", {in("@AlertHdrID", adInteger)}, AlertScheduleGet});
  catalog.Register({"AlertRecipientRemove",
                    {in("@AlertHdrID", adInteger), in("@AlertRecipientID", adInteger)},
                    AlertRecipientRemove});
  catalog.Register(
      {"AlertNotificationAdd",
       {in("@AlertHdrID", adInteger), in("@AlertRecipientID", adInteger), in("@Email", adVarChar),
        in("@FirstLEID", adBigInt), in("@LastLEID", adBigInt), in("@EntryCount", adBigInt),
        in("@NotifiedAt", adVarChar), in("@Outcome", adVarChar), in("@ServerAnswer", adVarChar),
        in("@Watermark", adBigInt)},
       AlertNotificationAdd});
}

}  // namespace tamsel::db
