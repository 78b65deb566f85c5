// The alert definitions besides saving one: the list, reading one back, deleting one, and
// storing a status with a freshly generated alert SQL.
#include <string>

#include "platform/data/ado_constants.h"
#include "platform/xml/dom.h"
#include "reports/alerts/alert_methods.h"
#include "reports/core/component_objects.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::alerts {

namespace com = platform::com;
namespace data = platform::data;
namespace xml = platform::xml;

namespace {

constexpr long kLongCommandTimeout = 600;

// A variant that holds no value yet, or the empty string (NULL holds a value).
bool HoldsNoText(const Variant& value) {
  return value.IsEmpty() || (value.Type() == com::VarType::BStr && value.CStr().empty());
}

// VB's `text & value`: NULL and Empty add nothing.
std::string Concatenated(const Variant& value, const std::string& tail) {
  return (value.IsNull() ? std::string() : value.CStr()) + tail;
}

}  // namespace

std::int32_t AlertListGet(Variant& sXml) {
  MethodFrame frame("Reports.AlertListGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertListGet");
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<ALERTLIST />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element alert = doc.CreateElement("ALERT");
      for (const char* column : {"AlertHdrID", "AppUserName", "AlertDesc"}) {
        alert.SetAttribute(column, rows[column].CStr());
      }
      root.AppendChild(alert);
    }
    sXml = Variant(doc.Xml());
    call.Trace("sXml " + doc.Xml());
  });
}

std::int32_t AlertHdrSetStatus(const Variant& alertHdrID, std::int16_t statusFlag) {
  FrameOptions options;
  options.openConnection = false;  // not before the alert SQL has been generated
  MethodFrame frame("Reports.AlertHdrSetStatus", options);
  return frame.Run([&](MethodFrame& call) {
    // The condition comes from the metadata stored with the alert, through the public
    // interface, so the nested calls trace and vote as any call does.
    com::Arguments args{Variant(alertHdrID.CStr()), Variant(""), Variant("")};
    std::int32_t result = ComponentCall("Reports.SqlForAlertGenerate", args).CLng();
    if (result != 0) call.Fail(result);
    const Variant alertSql = args[1].value;

    call.OpenConnection();
    data::Command command = call.StoredProcedure("AlertHdrSetStatus");
    command.SetCommandTimeout(kLongCommandTimeout);
    data::Parameters& parameters = command.GetParameters();
    parameters.Append(
        command.CreateParameter("@AlertHdrID", data::adInteger, data::adParamInput, 4, alertHdrID));
    parameters.Append(
        command.CreateParameter("@AlertSql", data::adVarChar, data::adParamInput, 7000, alertSql));
    parameters.Append(
        command.CreateParameter("@statusFlag", data::adInteger, data::adParamInput, 2, statusFlag));
    call.Execute(command);
  });
}

std::int32_t AlertDelete(const Variant& alertHdrID) {
  MethodFrame frame("Reports.AlertDelete");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertDelete");
    command.SetCommandTimeout(kLongCommandTimeout);
    command.GetParameters().Append(
        command.CreateParameter("@AlertHdrID", data::adInteger, data::adParamInput, 4, alertHdrID));
    call.Execute(command);
  });
}

std::int32_t AlertHdrGet(std::int32_t alertHdrID, Variant& alertDesc, Variant& alertMetaData) {
  MethodFrame frame("Reports.AlertHdrGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertHdrGet");
    command.GetParameters().Append(
        command.CreateParameter("@AlertHdrID", data::adInteger, data::adParamInput, 4, alertHdrID));
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    for (; !rows.IsEOF(); rows.MoveNext()) {
      if (HoldsNoText(alertDesc)) alertDesc = Variant(rows["AlertDesc"].CStr());
      alertMetaData = Variant(Concatenated(alertMetaData, rows["AlertItemMetaData"].CStr()));
    }
  });
}

}  // namespace tamsel::reports::alerts
