// The administration procedures: application users (passwords kept only as Argon2id hashes,
// a login that answers unknown names and wrong passwords alike), monitored servers with the
// batch deletion of their entries, and the event exclusions.
#include "database/admin_procedures.h"

#include <string>

#include "database/browse_procedures.h"
#include "database/password_hash.h"
#include "platform/data/ado_constants.h"
#include "platform/data/session.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using platform::data::Session;

constexpr std::size_t kNameCharacters = 50;
constexpr std::string_view kArgon2idPrefix = "$argon2id$";

bool IsMissing(const Variant& value) { return value.IsNull() || value.IsEmpty(); }

std::string TextOrEmpty(const Variant& value) { return IsMissing(value) ? "" : value.CStr(); }

bool IsValidName(const Variant& value) {
  if (IsMissing(value)) return false;
  const std::string name = value.CStr();
  return !name.empty() && CharacterCount(name) <= kNameCharacters;
}

bool RowExists(Session& session, const char* sql, const Variant& key) {
  if (IsMissing(key)) return false;
  auto found = session.Prepare(sql);
  found.Bind(1, key);
  return found.Step();
}

bool UserExists(Session& session, const Variant& id) {
  return RowExists(session, "SELECT 1 FROM AppUser WHERE AppUserID = ?", id);
}
bool RoleExists(Session& session, const Variant& id) {
  return RowExists(session, "SELECT 1 FROM AppRole WHERE AppRoleID = ?", id);
}
bool ServerExists(Session& session, const Variant& id) {
  return RowExists(session, "SELECT 1 FROM ELServer WHERE ELServerID = ?", id);
}

// The seven columns of the user record; the stored hash never leaves the database.
constexpr const char* kUserRecordSelect =
    "SELECT u.AppUserID, u.AppUserName, u.AppUserFirstName, u.AppUserLastName, "
    "'********' AS AppUserPassword, u.AppRoleID, COALESCE(r.AppRoleName, '') AS AppRoleName "
    "FROM AppUser u LEFT JOIN AppRole r ON r.AppRoleID = u.AppRoleID ";

// A hash of a password nobody knows, verified against when the name is unknown, so that an
// unknown name costs the same time as a wrong password.
const std::string& DecoyHash() {
  static const std::string hash = HashPassword("decoy password that matches no login");
  return hash;
}

bool PasswordMatches(const std::string& storedHash, std::string_view password) {
  return storedHash.rfind(kArgon2idPrefix, 0) == 0 && VerifyPassword(storedHash, password);
}

// Deletes at most one batch of the LogEntry rows `selectKeys` names (its one parameter bound
// to `value`) and reports the count in the output parameter at `rowsIndex`.
void DeleteBatch(ProcedureCall& call, const std::string& selectKeys, const Variant& value,
                 std::size_t rowsIndex) {
  auto remove = call.GetSession().Prepare("DELETE FROM LogEntry WHERE LEID IN (" + selectKeys +
                                          " LIMIT " + std::to_string(kDeleteBatchRows) + ")");
  remove.Bind(1, value);
  const int deleted = remove.Run();
  call.SetOutput(rowsIndex, Variant(static_cast<std::int32_t>(deleted)));
}

}  // namespace

// @AppUserID (out), @AppUserName, @AppUserFirstName, @AppUserLastName, @AppUserPassword,
// @AppRoleID.
int AppUserAdd(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!IsValidName(call.Arg(1))) return kUserNameInvalid;
  const std::string password = TextOrEmpty(call.Arg(4));
  if (password.empty()) return kPasswordMissing;
  if (!RoleExists(session, call.Arg(5))) return kRoleNotFound;
  if (RowExists(session, "SELECT 1 FROM AppUser WHERE AppUserName = ?", call.Arg(1))) {
    return kUserNameTaken;
  }
  session
      .Prepare(
          "INSERT INTO AppUser (AppUserName, AppUserFirstName, AppUserLastName, "
          "AppUserPassword, AppRoleID) VALUES (?, ?, ?, ?, ?)")
      .BindText(1, call.Arg(1).CStr())
      .BindText(2, TextOrEmpty(call.Arg(2)))
      .BindText(3, TextOrEmpty(call.Arg(3)))
      .BindText(4, HashPassword(password))
      .Bind(5, call.Arg(5))
      .Run();
  call.SetOutput(0, Variant::FromInt64(session.LastInsertRowId()));
  return 0;
}

// @AppUserID, @AppUserFirstName, @AppUserLastName, @AppUserPassword, @AppRoleID. A NULL
// leaves that value as stored (the page's masked password arrives as NULL).
int AppUserEdit(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!UserExists(session, call.Arg(0))) return kUserNotFound;
  if (!IsMissing(call.Arg(4)) && !RoleExists(session, call.Arg(4))) return kRoleNotFound;
  const bool newPassword = !IsMissing(call.Arg(3));
  if (newPassword && call.Arg(3).CStr().empty()) return kPasswordMissing;
  session
      .Prepare(
          "UPDATE AppUser SET AppUserFirstName = COALESCE(?, AppUserFirstName), "
          "AppUserLastName = COALESCE(?, AppUserLastName), "
          "AppUserPassword = COALESCE(?, AppUserPassword), "
          "AppRoleID = COALESCE(?, AppRoleID) WHERE AppUserID = ?")
      .Bind(1, call.Arg(1))
      .Bind(2, call.Arg(2))
      .Bind(3, newPassword ? Variant(HashPassword(call.Arg(3).CStr())) : Variant::Null())
      .Bind(4, call.Arg(4))
      .Bind(5, call.Arg(0))
      .Run();
  return 0;
}

// @AppUserID: the user record, or no row for an unknown key.
int AppUserInfoGet(ProcedureCall& call) {
  call.SelectRows(std::string(kUserRecordSelect) + "WHERE u.AppUserID = ?", {call.Arg(0)});
  return 0;
}

int AppUserListGet(ProcedureCall& call) {
  call.SelectRows(std::string(kUserRecordSelect) + "ORDER BY u.AppUserID");
  return 0;
}

// @AppUserID. The user's saved reports and alerts go with the user.
int AppUserDelete(ProcedureCall& call) {
  Session& session = call.GetSession();
  const Variant& id = call.Arg(0);
  if (!UserExists(session, id)) return kUserNotFound;
  for (const char* sql : {
           "DELETE FROM SavedReportItem WHERE SavedReportHdrID IN "
           "(SELECT SavedReportHdrID FROM SavedReportHdr WHERE AppUserID = ?1)",
           "DELETE FROM SavedReportHdr WHERE AppUserID = ?1",
           "DELETE FROM AlertItem WHERE AlertHdrID IN "
           "(SELECT AlertHdrID FROM AlertHdr WHERE AppUserID = ?1)",
           "DELETE FROM AlertRecipient WHERE AlertHdrID IN "
           "(SELECT AlertHdrID FROM AlertHdr WHERE AppUserID = ?1)",
           "DELETE FROM AlertHdr WHERE AppUserID = ?1",
           "DELETE FROM AppUser WHERE AppUserID = ?1",
       }) {
    session.Prepare(sql).Bind(1, id).Run();
  }
  return 0;
}

// @AppUserID (out), @AppRoleID (out), @AppUserName, @AppUserPassword.
int AppUserLogIn(ProcedureCall& call) {
  const std::string password = TextOrEmpty(call.Arg(3));
  auto user = call.GetSession().Prepare(
      "SELECT AppUserID, AppRoleID, AppUserPassword FROM AppUser WHERE AppUserName = ?");
  user.Bind(1, IsMissing(call.Arg(2)) ? Variant::Null() : call.Arg(2));
  if (!user.Step()) {
    PasswordMatches(DecoyHash(), password);
    return kLoginRefused;
  }
  if (!PasswordMatches(user.Text(2), password)) return kLoginRefused;
  call.SetOutput(0, Variant::FromInt64(user.Int64(0)));
  call.SetOutput(1, Variant::FromInt64(user.Int64(1)));
  return 0;
}

// @AppUserID, @AppUserPassword: the value is the new password whatever it holds.
int AppUserPasswordChange(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!UserExists(session, call.Arg(0))) return kUserNotFound;
  const std::string password = TextOrEmpty(call.Arg(1));
  if (password.empty()) return kPasswordMissing;
  session.Prepare("UPDATE AppUser SET AppUserPassword = ? WHERE AppUserID = ?")
      .BindText(1, HashPassword(password))
      .Bind(2, call.Arg(0))
      .Run();
  return 0;
}

// Every server, disabled ones included, so that the page can still delete their entries.
int ServerListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT ELServerID, ELServerName, ELServerDescription FROM ELServer "
      "ORDER BY ELServerName, ELServerID");
  return 0;
}

// @ELServerID (out), @ELServerName, @ELServerDescription. A new server is active at once. A
// disabled server of the same name is enabled again under its old key (a NULL description
// keeps its description); an active one is refused.
int ServerAdd(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (!IsValidName(call.Arg(1))) return kServerNameInvalid;
  const std::string name = call.Arg(1).CStr();
  auto existing = session.Prepare("SELECT ELServerID, Status FROM ELServer WHERE ELServerName = ?");
  existing.BindText(1, name);
  if (existing.Step()) {
    if (existing.Int64(1) == 1) return kServerNameTaken;
    const std::int64_t id = existing.Int64(0);
    session
        .Prepare(
            "UPDATE ELServer SET Status = 1, "
            "ELServerDescription = COALESCE(?, ELServerDescription) WHERE ELServerID = ?")
        .Bind(1, call.Arg(2))
        .BindInt64(2, id)
        .Run();
    call.SetOutput(0, Variant::FromInt64(id));
    return 0;
  }
  session
      .Prepare("INSERT INTO ELServer (ELServerName, ELServerDescription, Status) VALUES (?, ?, 1)")
      .BindText(1, name)
      .BindText(2, TextOrEmpty(call.Arg(2)))
      .Run();
  call.SetOutput(0, Variant::FromInt64(session.LastInsertRowId()));
  return 0;
}

// @ELServerID: the collector no longer visits the server; its entries stay.
int ServerDisable(ProcedureCall& call) {
  if (IsMissing(call.Arg(0))) return kServerNotFound;
  auto update = call.GetSession().Prepare("UPDATE ELServer SET Status = 0 WHERE ELServerID = ?");
  update.Bind(1, call.Arg(0));
  return update.Run() == 0 ? kServerNotFound : 0;
}

// @ELServerID. Refused while the server has log entries: every stored entry must name an
// existing server, and the page removes them first, batch by batch, with
// LogEntryTop1000Delete. The server's logs and exclusions go with it.
int ServerDelete(ProcedureCall& call) {
  Session& session = call.GetSession();
  const Variant& id = call.Arg(0);
  if (!ServerExists(session, id)) return kServerNotFound;
  if (RowExists(session, "SELECT 1 FROM LogEntry WHERE ELServerID = ? LIMIT 1", id)) {
    return kServerHasEntries;
  }
  for (const char* sql : {"DELETE FROM EventExclusion WHERE ELServerID = ?",
                          "DELETE FROM ELServerLogType WHERE ELServerID = ?",
                          "DELETE FROM ELServer WHERE ELServerID = ?"}) {
    session.Prepare(sql).Bind(1, id).Run();
  }
  return 0;
}

// @ELServerID, @RowsDeleted (out): at most one batch of the server's entries, the oldest of
// each log first, in the order of the server's index, which needs no sorting.
int LogEntryTop1000Delete(ProcedureCall& call) {
  DeleteBatch(call,
              "SELECT LEID FROM LogEntry WHERE ELServerID = ? ORDER BY LogTypeID, TimeGenerated",
              call.Arg(0), 1);
  return 0;
}

// @TimeGenerated, @RowsDeleted (out): at most one batch of the entries generated before the
// given time.
int LogEntriesClear(ProcedureCall& call) {
  if (IsMissing(call.Arg(0))) return kTimeMissing;
  const Variant before(platform::data::FormatIsoDate(call.Arg(0).CDate()));
  DeleteBatch(call,
              "SELECT LEID FROM LogEntry WHERE TimeGenerated < ? ORDER BY TimeGenerated, LEID",
              before, 1);
  return 0;
}

// One row per server and event type, the rows of a server together.
int EventExclusionGridGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT s.ELServerID, s.ELServerName, t.EventTypeID, t.EventTypeName, "
      "CASE WHEN x.ELServerID IS NULL THEN 0 ELSE 1 END AS IsChecked "
      "FROM ELServer s CROSS JOIN EventType t "
      "LEFT JOIN EventExclusion x ON x.ELServerID = s.ELServerID AND "
      "x.EventTypeID = t.EventTypeID ORDER BY s.ELServerID, t.EventTypeID");
  return 0;
}

// @ELServerID, @EventTypeID. Removing a pair that is not listed changes nothing.
int EventExclusionDelete(ProcedureCall& call) {
  if (IsMissing(call.Arg(0)) || IsMissing(call.Arg(1))) return kPairIncomplete;
  call.GetSession()
      .Prepare("DELETE FROM EventExclusion WHERE ELServerID = ? AND EventTypeID = ?")
      .Bind(1, call.Arg(0))
      .Bind(2, call.Arg(1))
      .Run();
  return 0;
}

// @ELServerID, @EventTypeID. A pair already listed stays as it is.
int EventExclusionInsert(ProcedureCall& call) {
  Session& session = call.GetSession();
  if (IsMissing(call.Arg(0)) || IsMissing(call.Arg(1))) return kPairIncomplete;
  if (!ServerExists(session, call.Arg(0))) return kServerNotFound;
  if (!RowExists(session, "SELECT 1 FROM EventType WHERE EventTypeID = ?", call.Arg(1))) {
    return kEventTypeNotFound;
  }
  session.Prepare("INSERT OR IGNORE INTO EventExclusion (ELServerID, EventTypeID) VALUES (?, ?)")
      .Bind(1, call.Arg(0))
      .Bind(2, call.Arg(1))
      .Run();
  return 0;
}

void RegisterAdminProcedures() {
  using namespace platform::data;  // the ADO type numbers read best unqualified here
  auto in = [](const char* name, long type) { return ProcedureParameter{name, type, false}; };
  auto out = [](const char* name, long type) { return ProcedureParameter{name, type, true}; };
  ProcedureCatalog& catalog = ProcedureCatalog::Global();
  catalog.Register({"AppUserAdd",
                    {out("@AppUserID", adInteger), in("@AppUserName", adVarChar),
                     in("@AppUserFirstName", adVarChar), in("@AppUserLastName", adVarChar),
                     in("@AppUserPassword", adVarChar), in("@AppRoleID", adInteger)},
                    AppUserAdd});
  catalog.Register({"AppUserEdit",
                    {in("@AppUserID", adInteger), in("@AppUserFirstName", adVarChar),
                     in("@AppUserLastName", adVarChar), in("@AppUserPassword", adVarChar),
                     in("@AppRoleID", adInteger)},
                    AppUserEdit});
  catalog.Register({"AppUserInfoGet", {in("@AppUserID", adInteger)}, AppUserInfoGet});
  catalog.Register({"AppUserListGet", {}, AppUserListGet});
  catalog.Register({"AppUserDelete", {in("@AppUserID", adInteger)}, AppUserDelete});
  catalog.Register({"AppUserLogIn",
                    {out("@AppUserID", adInteger), out("@AppRoleID", adInteger),
                     in("@AppUserName", adVarChar), in("@AppUserPassword", adVarChar)},
                    AppUserLogIn});
  catalog.Register({"AppUserPasswordChange",
                    {in("@AppUserID", adInteger), in("@AppUserPassword", adVarChar)},
                    AppUserPasswordChange});
  catalog.Register({"ServerListGet", {}, ServerListGet});
  catalog.Register({"ServerAdd",
                    {out("@ELServerID", adInteger), in("@ELServerName", adVarChar),
                     in("@ELServerDescription", adVarChar)},
                    ServerAdd});
  catalog.Register({"ServerDisable", {in("@ELServerID", adInteger)}, ServerDisable});
  catalog.Register({"ServerDelete", {in("@ELServerID", adInteger)}, ServerDelete});
  catalog.Register({"LogEntryTop1000Delete",
                    {in("@ELServerID", adInteger), out("@RowsDeleted", adInteger)},
                    LogEntryTop1000Delete});
  catalog.Register({"LogEntriesClear",
                    {in("@TimeGenerated", adDate), out("@RowsDeleted", adInteger)},
                    LogEntriesClear});
  catalog.Register({"EventExclusionGridGet", {}, EventExclusionGridGet});
  catalog.Register({"EventExclusionDelete",
                    {in("@ELServerID", adInteger), in("@EventTypeID", adInteger)},
                    EventExclusionDelete});
  catalog.Register({"EventExclusionInsert",
                    {in("@ELServerID", adInteger), in("@EventTypeID", adInteger)},
                    EventExclusionInsert});
}

}  // namespace tamsel::db
