// The log browser's procedures: details of a page of entries by key list, the servers with
// their logs for the navigation tree, the two-field lists, and the saved report store.
#include "database/browse_procedures.h"

#include <charconv>
#include <string>

#include "platform/data/ado_constants.h"
#include "platform/data/provider_error.h"
#include "platform/network/utf16.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using platform::data::ProcedureParameter;
using platform::data::RaiseProviderError;
using platform::data::Session;

ProcedureParameter In(const char* name, long type) { return {name, type, false}; }
ProcedureParameter Out(const char* name, long type) { return {name, type, true}; }

// SQL Server's error 8152 for a value longer than its column or parameter.
[[noreturn]] void RaiseTruncation() {
  RaiseProviderError(platform::data::kErrorsInCommand, "String or binary data would be truncated.");
}

[[noreturn]] void RaiseNull(const char* column, const char* table) {
  RaiseProviderError(platform::data::kIntegrityViolation,
                     std::string("Cannot insert the value NULL into column '") + column +
                         "', table '" + table + "'; column does not allow nulls. INSERT fails.");
}

std::string RequiredText(const Variant& value, const char* column, const char* table,
                         std::size_t size) {
  if (value.IsNull() || value.IsEmpty()) RaiseNull(column, table);
  std::string text = value.CStr();
  if (CharacterCount(text) > size) RaiseTruncation();
  return text;
}

std::int64_t RequiredNumber(const Variant& value, const char* column, const char* table) {
  if (value.IsNull() || value.IsEmpty()) RaiseNull(column, table);
  return value.CLng();
}

[[noreturn]] void RaiseNotAKeyList() {
  RaiseProviderError(platform::data::kCantConvertValue,
                     "Error converting data type varchar to bigint.");
}

// "12, 13,14" as the JSON array "[12,13,14]"; anything but decimal integers is refused.
std::string KeyListAsJson(std::string_view ids) {
  std::string json = "[";
  std::size_t start = 0;
  while (true) {
    std::size_t comma = ids.find(',', start);
    std::string_view item =
        ids.substr(start, comma == std::string_view::npos ? ids.npos : comma - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    std::int64_t key = 0;
    auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), key);
    if (item.empty() || error != std::errc() || end != item.data() + item.size()) {
      RaiseNotAKeyList();
    }
    if (json.size() > 1) json += ',';
    json += std::to_string(key);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return json + "]";
}

void RegisterTwoFieldList(const char* name, platform::data::ProcedureFunction body) {
  platform::data::ProcedureCatalog::Global().Register({name, {}, std::move(body), true});
}

}  // namespace

std::size_t CharacterCount(std::string_view text) { return platform::network::Utf16Length(text); }

std::string_view PageDetailsQuery() {
  // Each name is looked up by its key (every entry's lookup rows exist, as their foreign
  // keys hold): the same rows a join of the seven tables gives, but the server plans one
  // table and not the orders of a seven-way join over every month of LogEntry, which cost
  // it several times what running the query does.
  return "SELECT le.LEID, "
         "(SELECT ELServerName FROM ELServer s WHERE s.ELServerID = le.ELServerID) AS "
         "ELServerName, "
         "(SELECT LogTypeName FROM LogType lt WHERE lt.LogTypeID = le.LogTypeID) AS LogTypeName, "
         "le.RecordNumber, le.TimeGenerated, le.EventID, "
         "(SELECT EventTypeCode FROM EventType et WHERE et.EventTypeID = le.EventTypeID) "
         "AS EventTypeCode, "
         "(SELECT EventTypeName FROM EventType et WHERE et.EventTypeID = le.EventTypeID) "
         "AS EventTypeName, "
         "le.EventCategoryID, "
         "(SELECT EventCategoryName FROM EventCategory ec WHERE ec.EventCategoryID = "
         "le.EventCategoryID) AS EventCategoryName, "
         "(SELECT ELUserName FROM ELUser elu WHERE elu.ELUserID = le.ELUserID) AS ELUserName, "
         "(SELECT ELSourceName FROM ELSource els WHERE els.ELSourceID = le.ELSourceID) "
         "AS ELSourceName, "
         "le.FullMessage, le.CreatedAt "
         "FROM LogEntry le WHERE le.LEID IN (SELECT value FROM json_each(?)) ORDER BY le.LEID";
}

int LogEntryPageDetailsGet(ProcedureCall& call) {
  const Variant& ids = call.Arg(0);
  const std::string list = ids.IsNull() ? std::string() : ids.CStr();
  if (list.size() > kIdsSize) RaiseTruncation();
  call.SelectRows(PageDetailsQuery(), {Variant(KeyListAsJson(list))});
  return 0;
}

int MenuServerListGet(ProcedureCall& call) {
  // One row per server and collected log; a server's rows stay together.
  call.SelectRows(
      "SELECT s.ELServerID, s.ELServerName, lt.LogTypeName, lt.LogTypeID "
      "FROM ELServerLogType slt "
      "JOIN ELServer s ON s.ELServerID = slt.ELServerID "
      "JOIN LogType lt ON lt.LogTypeID = slt.LogTypeID "
      "ORDER BY s.ELServerName, s.ELServerID, lt.LogTypeName, lt.LogTypeID");
  return 0;
}

int ELServerNameListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT ELServerID, ELServerName FROM ELServer ORDER BY ELServerName, ELServerID");
  return 0;
}

int LogTypeNameListGet(ProcedureCall& call) {
  call.SelectRows("SELECT LogTypeID, LogTypeName FROM LogType ORDER BY LogTypeName, LogTypeID");
  return 0;
}

int ELSourceNameListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT ELSourceID, ELSourceName FROM ELSource ORDER BY ELSourceName, ELSourceID");
  return 0;
}

int EventTypeNameListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT EventTypeID, EventTypeName FROM EventType ORDER BY EventTypeName, EventTypeID");
  return 0;
}

int EventCategoryNameListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT EventCategoryID, EventCategoryName FROM EventCategory "
      "ORDER BY EventCategoryName, EventCategoryID");
  return 0;
}

int AppRoleNameListGet(ProcedureCall& call) {
  call.SelectRows("SELECT AppRoleID, AppRoleName FROM AppRole ORDER BY AppRoleName, AppRoleID");
  return 0;
}

int SavedReportHdrMake(ProcedureCall& call) {
  Session& session = call.GetSession();
  const std::int64_t user = RequiredNumber(call.Arg(1), "AppUserID", "SavedReportHdr");
  const std::string description = RequiredText(call.Arg(2), "SavedReportDescription",
                                               "SavedReportHdr", kSavedReportDescriptionSize);
  session.Prepare("INSERT INTO SavedReportHdr (AppUserID, SavedReportDescription) VALUES (?, ?)")
      .BindInt64(1, user)
      .BindText(2, description)
      .Run();
  call.SetOutput(0, Variant::FromInt64(session.LastInsertRowId()));
  return 0;
}

int SavedReportMetaDataAdd(ProcedureCall& call) {
  const std::int64_t header = RequiredNumber(call.Arg(0), "SavedReportHdrID", "SavedReportItem");
  const std::int64_t item = RequiredNumber(call.Arg(1), "SavedReportItemID", "SavedReportItem");
  const std::string piece =
      RequiredText(call.Arg(2), "SavedReportMetaData", "SavedReportItem", kSavedReportMetaDataSize);
  call.GetSession()
      .Prepare(
          "INSERT INTO SavedReportItem (SavedReportHdrID, SavedReportItemID, "
          "SavedReportMetaData) VALUES (?, ?, ?)")
      .BindInt64(1, header)
      .BindInt64(2, item)
      .BindText(3, piece)
      .Run();
  return 0;
}

int SavedReportListGet(ProcedureCall& call) {
  call.SelectRows(
      "SELECT SavedReportHdrID, SavedReportDescription FROM SavedReportHdr WHERE AppUserID = ? "
      "ORDER BY SavedReportHdrID",
      {call.Arg(0)});
  return 0;
}

int SavedReportDelete(ProcedureCall& call) {
  // The items go with their header.
  Session& session = call.GetSession();
  session.Prepare("DELETE FROM SavedReportItem WHERE SavedReportHdrID = ?")
      .Bind(1, call.Arg(0))
      .Run();
  session.Prepare("DELETE FROM SavedReportHdr WHERE SavedReportHdrID = ?")
      .Bind(1, call.Arg(0))
      .Run();
  return 0;
}

int SavedReportGet(ProcedureCall& call) {
  // One row per item in item order, each with the description; a report saved with an empty
  // text gives one row with empty metadata, so its description still comes back.
  call.SelectRows(
      "SELECT h.SavedReportDescription, COALESCE(i.SavedReportMetaData, '') AS "
      "SavedReportMetaData FROM SavedReportHdr h "
      "LEFT JOIN SavedReportItem i ON i.SavedReportHdrID = h.SavedReportHdrID "
      "WHERE h.SavedReportHdrID = ? ORDER BY i.SavedReportItemID",
      {call.Arg(0)});
  return 0;
}

void RegisterBrowseProcedures() {
  using namespace platform::data;  // the ADO type numbers read best unqualified here
  ProcedureCatalog& catalog = ProcedureCatalog::Global();
  catalog.Register({"LogEntryPageDetailsGet", {In("@ids", adVarChar)}, LogEntryPageDetailsGet});
  catalog.Register({"MenuServerListGet", {}, MenuServerListGet});
  RegisterTwoFieldList("ELServerNameListGet", ELServerNameListGet);
  RegisterTwoFieldList("LogTypeNameListGet", LogTypeNameListGet);
  RegisterTwoFieldList("ELSourceNameListGet", ELSourceNameListGet);
  RegisterTwoFieldList("EventTypeNameListGet", EventTypeNameListGet);
  RegisterTwoFieldList("EventCategoryNameListGet", EventCategoryNameListGet);
  RegisterTwoFieldList("AppRoleNameListGet", AppRoleNameListGet);
  catalog.Register({"SavedReportHdrMake",
                    {Out("@SavedReportHdrID", adInteger), In("@AppUserID", adInteger),
                     In("@SavedReportDescription", adVarChar)},
                    SavedReportHdrMake});
  catalog.Register({"SavedReportMetaDataAdd",
                    {In("@SavedReportHdrID", adInteger), In("@SavedReportItemID", adInteger),
                     In("@SavedReportMetaData", adVarChar)},
                    SavedReportMetaDataAdd});
  catalog.Register({"SavedReportListGet", {In("@AppUserID", adInteger)}, SavedReportListGet});
  catalog.Register({"SavedReportDelete", {In("@SavedReportHdrID", adInteger)}, SavedReportDelete});
  catalog.Register({"SavedReportGet", {In("@SavedReportHdrID", adInteger)}, SavedReportGet});
}

}  // namespace tamsel::db
