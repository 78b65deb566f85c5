// Reports.LogReportSave, SavedReportListGet, SavedReportDelete and SavedReportGet: a report's
// definition text kept under a description, stored as numbered items of at most 1023
// characters, and read back by concatenating them.
#include <vector>

#include "platform/data/ado_constants.h"
#include "platform/network/utf16.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_methods.h"
#include "reports/browse/method_support.h"

namespace tamsel::reports::browse {
namespace {

namespace data = platform::data;
namespace xml = platform::xml;

// Items are counted in 16-bit code units, as the pages count characters.
constexpr std::size_t kItemCharacters = 1023;

void AppendInput(data::Command& command, const char* name, long type, long size, Variant value) {
  command.GetParameters().Append(
      command.CreateParameter(name, type, data::adParamInput, size, std::move(value)));
}

}  // namespace

std::int32_t LogReportSave(std::int32_t lngAppUserID, const std::string& sSavedReportDescription,
                           const std::string& sSavedReportMetaData) {
  MethodFrame frame("Reports.LogReportSave");
  return frame.Run([&](MethodFrame& call) {
    // One command and one connection for the whole save, so it is one transaction.
    data::Command command = call.StoredProcedure("SavedReportHdrMake");
    command.GetParameters().Append(
        command.CreateParameter("@SavedReportHdrID", data::adInteger, data::adParamOutput, 0));
    AppendInput(command, "@AppUserID", data::adInteger, 4, Variant(lngAppUserID));
    AppendInput(command, "@SavedReportDescription", data::adVarChar, 255,
                Variant(sSavedReportDescription));
    call.Execute(command);
    const Variant headerId = command.GetParameters().Item("@SavedReportHdrID").Value();
    call.Trace("SavedReportHdrID: " + TraceValue(headerId));

    command.GetParameters().Delete("@SavedReportHdrID");
    command.GetParameters().Delete("@AppUserID");
    command.GetParameters().Delete("@SavedReportDescription");
    command.SetCommandText("SavedReportMetaDataAdd");
    AppendInput(command, "@SavedReportHdrID", data::adInteger, 4, Variant(headerId.CLng()));
    std::int32_t itemId = 0;
    for (const std::string& item :
         platform::network::SplitUtf16Units(sSavedReportMetaData, kItemCharacters)) {
      AppendInput(command, "@SavedReportItemID", data::adInteger, 4, Variant(itemId));
      AppendInput(command, "@SavedReportMetaData", data::adVarChar, 1023, Variant(item));
      call.Execute(command);
      command.GetParameters().Delete("@SavedReportItemID");
      command.GetParameters().Delete("@SavedReportMetaData");
      ++itemId;
    }
  });
}

std::int32_t SavedReportListGet(std::int32_t lngAppUserID, Variant& sXml) {
  MethodFrame frame("Reports.SavedReportListGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("SavedReportListGet");
    AppendInput(command, "@AppUserID", data::adInteger, 4, Variant(lngAppUserID));
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<SAVEDREPORTLIST />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element report = root.AppendChild(doc.CreateElement("SAVEDREPORT"));
      report.SetAttribute("SavedReportHdrID", ColumnText(rows["SavedReportHdrID"]));
      report.SetAttribute("SavedReportDescription", ColumnText(rows["SavedReportDescription"]));
    }
    const std::string text = doc.Xml();
    sXml = Variant(text);
    call.Trace("sXml " + text);
  });
}

std::int32_t SavedReportDelete(const Variant& lngSavedReportHdrID) {
  MethodFrame frame("Reports.SavedReportDelete");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("SavedReportDelete");
    // Handed over as passed; the parameter converts it.
    AppendInput(command, "@SavedReportHdrID", data::adInteger, 4, lngSavedReportHdrID);
    call.Execute(command);
  });
}

std::int32_t SavedReportGet(std::int32_t lngSavedReportHdrID, Variant& sSavedReportDescription,
                            Variant& sSavedReportMetaData) {
  MethodFrame frame("Reports.SavedReportGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("SavedReportGet");
    AppendInput(command, "@SavedReportHdrID", data::adInteger, 4, Variant(lngSavedReportHdrID));
    for (data::Recordset rows = call.Execute(command, data::adOptionUnspecified); !rows.IsEOF();
         rows.MoveNext()) {
      const bool descriptionEmpty =
          sSavedReportDescription.IsEmpty() ||
          (sSavedReportDescription.Type() == platform::com::VarType::BStr &&
           sSavedReportDescription.CStr().empty());
      if (descriptionEmpty) {
        sSavedReportDescription = Variant(ColumnText(rows["SavedReportDescription"]));
      }
      sSavedReportMetaData =
          Variant(VariantText(sSavedReportMetaData) + ColumnText(rows["SavedReportMetaData"]));
    }
  });
}

}  // namespace tamsel::reports::browse
