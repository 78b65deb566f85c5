// Reports' server methods: the list of monitored servers, adding, disabling and deleting one,
// and the two batch deletions of stored entries, whose result tells whether the batch was full.
#include <optional>
#include <string>

#include "platform/com/variant.h"
#include "platform/data/ado_constants.h"
#include "platform/data/provider_error.h"
#include "platform/network/regional.h"
#include "platform/registry/regional_settings.h"
#include "platform/xml/dom.h"
#include "reports/admin/admin_methods.h"
#include "reports/admin/method_support.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::admin {
namespace {

namespace com = platform::com;
namespace data = platform::data;
namespace xml = platform::xml;

// The long-running maintenance procedures get ten minutes.
constexpr long kMaintenanceTimeout = 600;
// A batch of exactly this many rows may have left more behind.
constexpr std::int32_t kFullBatch = 1000;

// One maintenance procedure with its single server key, as passed.
void RunServerProcedure(MethodFrame& call, const char* procedure, const Variant& serverId) {
  data::Command command = call.StoredProcedure(procedure);
  command.SetCommandTimeout(kMaintenanceTimeout);
  AppendInput(command, "@ELServerID", data::adInteger, 4, serverId);
  call.Execute(command);
}

// The result of a batch procedure that has run: 0 for a full batch, 1 for a short one. A NULL
// count fails the call (94) and rolls it back.
void SetBatchResult(MethodFrame& call, data::Command& command) {
  const std::int32_t deleted = command.GetParameters().Item("@RowsDeleted").Value().CLng();
  call.SetRetVal(deleted == kFullBatch ? 0 : 1);
}

// The date a page's text names under the machine's regional settings.
std::optional<Variant> RegionalDate(const std::string& text) {
  std::optional<std::tm> parsed =
      platform::network::ParseDateTime(text, platform::registry::LoadRegionalFormats());
  if (!parsed) return std::nullopt;
  com::DateParts parts;
  parts.year = parsed->tm_year + 1900;
  parts.month = parsed->tm_mon + 1;
  parts.day = parsed->tm_mday;
  parts.hour = parsed->tm_hour;
  parts.minute = parsed->tm_min;
  parts.second = parsed->tm_sec;
  return Variant::Date(parts);
}

}  // namespace

std::int32_t ServerListGet(Variant& sXml) {
  MethodFrame frame("Reports.ServerListGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("ServerListGet");
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<ELSERVERLIST />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element server = root.AppendChild(doc.CreateElement("ELSERVER"));
      for (const char* column : {"ELServerID", "ELServerName", "ELServerDescription"}) {
        server.SetAttribute(column, ColumnText(rows[column]));
      }
    }
    call.Trace("sXml " + HandBack(doc, sXml));
  });
}

std::int32_t ServerAdd(Variant& sXml) {
  MethodFrame frame("Reports.ServerAdd");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("ServerAdd");
    AppendOutput(command, "@ELServerID", data::adInteger);
    xml::Document doc;
    doc.LoadXml(VariantText(sXml));
    xml::Element root = doc.DocumentElement();
    AppendInput(command, "@ELServerName", data::adVarChar, 50, root.GetAttribute("ELServerName"));
    AppendInput(command, "@ELServerDescription", data::adVarChar, 255,
                root.GetAttribute("ELServerDescription"));
    call.Execute(command);
    root.SetAttribute("ELServerID", command.GetParameters().Item("@ELServerID").Value().CStr());
    call.Trace("sXml: " + HandBack(doc, sXml));
  });
}

std::int32_t ServerDisable(const Variant& lngELServerID) {
  MethodFrame frame("Reports.ServerDisable");
  return frame.Run(
      [&](MethodFrame& call) { RunServerProcedure(call, "ServerDisable", lngELServerID); });
}

std::int32_t ServerDelete(const Variant& lngELServerID) {
  MethodFrame frame("Reports.ServerDelete");
  return frame.Run(
      [&](MethodFrame& call) { RunServerProcedure(call, "ServerDelete", lngELServerID); });
}

std::int32_t LogEntryTop1000Delete(const Variant& lngELServerID) {
  MethodFrame frame("Reports.LogEntryTop1000Delete");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("LogEntryTop1000Delete");
    command.SetCommandTimeout(kMaintenanceTimeout);
    AppendInput(command, "@ELServerID", data::adInteger, 4, lngELServerID);
    AppendOutput(command, "@RowsDeleted", data::adInteger);
    call.Execute(command);
    SetBatchResult(call, command);
  });
}

std::int32_t LogEntriesClear(const std::string& datTimeGenerated) {
  MethodFrame frame("Reports.LogEntriesClear");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("LogEntriesClear");
    command.SetCommandTimeout(kMaintenanceTimeout);
    // The trace shows the text as the page passed it; the procedure gets the date it names
    // under the regional settings, and text that names none is refused as the data layer
    // refuses it.
    AppendInput(command, "@TimeGenerated", data::adDate, 4, Variant(datTimeGenerated));
    AppendOutput(command, "@RowsDeleted", data::adInteger);
    call.TraceExecuting(command);
    std::optional<Variant> date = RegionalDate(datTimeGenerated);
    if (!date) {
      data::RaiseProviderError(data::kCantConvertValue,
                               "Error converting data type varchar to datetime (parameter "
                               "'@TimeGenerated').");
    }
    command.GetParameters().Item("@TimeGenerated").SetValue(*date);
    call.ExecuteTraced(command);
    SetBatchResult(call, command);
  });
}

}  // namespace tamsel::reports::admin
