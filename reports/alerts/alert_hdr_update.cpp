// AlertHdrUpdate: the alert's header, then its metadata as numbered items, all in the call's
// one transaction.
#include <string>

#include "platform/data/ado_constants.h"
#include "reports/alerts/alert_methods.h"
#include "reports/alerts/metadata_items.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::alerts {

namespace com = platform::com;
namespace data = platform::data;

namespace {

// NULL asks the procedure for a new alert: the omitted argument's -1, or NULL itself. The -1
// is a numeric literal, so text compares by its number ("-1", " -1 "). Text that is no number
// goes on as it is, for the data layer to refuse.
Variant HeaderIdParameterValue(const Variant& alertHdrID) {
  if (alertHdrID.IsNull()) return Variant::Null();
  if (alertHdrID.IsNumeric() && com::CompareWithNumber(alertHdrID, -1) == 0) {
    return Variant::Null();
  }
  return alertHdrID;
}

}  // namespace

std::int32_t AlertHdrUpdate(std::int32_t appUserID, const std::string& alertDesc,
                            const std::string& alertMetaData, Variant& alertHdrID) {
  MethodFrame frame("Reports.AlertHdrUpdate");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertHdrUpdate");
    data::Parameters& parameters = command.GetParameters();
    parameters.Append(command.CreateParameter("@AlertHdrID", data::adInteger,
                                              data::adParamInputOutput, 4,
                                              HeaderIdParameterValue(alertHdrID)));
    parameters.Append(
        command.CreateParameter("@AppUserID", data::adInteger, data::adParamInput, 4, appUserID));
    parameters.Append(command.CreateParameter("@AlertDesc", data::adVarChar, data::adParamInput,
                                              255, Variant(alertDesc)));
    call.Execute(command);

    alertHdrID = parameters.Item("@AlertHdrID").Value();
    call.Trace("AlertHdrID: " + TraceValue(alertHdrID));

    // The same command serves every item: "lngRetVal" stays first.
    parameters.Delete("@AlertHdrID");
    parameters.Delete("@AppUserID");
    parameters.Delete("@AlertDesc");
    command.SetCommandText("AlertItemMetaDataAdd");
    parameters.Append(command.CreateParameter("@AlertHdrID", data::adInteger, data::adParamInput, 4,
                                              alertHdrID.CLng()));
    std::int32_t itemId = 0;
    for (const std::string& item : SplitMetaData(alertMetaData)) {
      parameters.Append(
          command.CreateParameter("@AlertItemID", data::adInteger, data::adParamInput, 4, itemId));
      parameters.Append(command.CreateParameter("@AlertItemMetaData", data::adVarChar,
                                                data::adParamInput, 1023, Variant(item)));
      call.Execute(command);
      parameters.Delete("@AlertItemID");
      parameters.Delete("@AlertItemMetaData");
      ++itemId;
    }
  });
}

}  // namespace tamsel::reports::alerts
