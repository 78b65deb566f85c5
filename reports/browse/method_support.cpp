// Text commands and value texts for the log browser's methods.
#include "reports/browse/method_support.h"

#include "platform/data/ado_constants.h"

namespace tamsel::reports::browse {

namespace data = platform::data;

data::Command TextCommand(MethodFrame& call, std::string text) {
  data::Command command;
  command.SetActiveConnection(call.Connection());
  command.SetCommandText(std::move(text));
  command.SetCommandType(data::adCmdText);
  command.GetParameters().Append(
      command.CreateParameter("lngRetVal", data::adInteger, data::adParamReturnValue, 0));
  return command;
}

std::string VariantText(const platform::com::Variant& value) {
  return value.IsNull() || value.IsEmpty() ? std::string() : value.CStr();
}

std::string ColumnText(const platform::com::Variant& value) { return value.CStr(); }

}  // namespace tamsel::reports::browse
