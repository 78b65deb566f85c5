// Reports.HeartBitCheck and the installation of the methods reports/core implements.
#include "reports/core/heart_bit_check.h"

#include "platform/com/variant.h"
#include "reports/core/method_frame.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports {

namespace com = platform::com;
namespace data = platform::data;

std::string HeartBitCheck() {
  std::string result;
  // The heartbeat shows a raised error's text, not its number: the code stays 0.
  MethodFrame frame("Reports.HeartBitCheck", {.errorNumberIsResult = false});
  frame.Run([&](MethodFrame& call) {
    result = "Database connection: OK<br>";
    data::Command command = call.StoredProcedure("VersionInfoGet");
    command.GetParameters().Append(command.CreateParameter(
        "@VersionInfoDesc", data::adVarChar, data::adParamOutput, 255, com::Variant::Null()));
    call.Execute(command);
    result += command.GetParameters().Item("@VersionInfoDesc").Value().CStr();
  });
  if (frame.Failed()) result = frame.ErrorDescription();
  return result;
}

void RegisterCoreMethods(MethodRegistry& registry) {
  registry.Add<&HeartBitCheck>("Reports.HeartBitCheck");
}

}  // namespace tamsel::reports
