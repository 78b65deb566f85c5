// The skeleton every method of the component runs in, so that a method's own code reads as
// its own steps:
//
//   std::int32_t AppUserDelete(const Variant& lngAppUserID) {
//     MethodFrame frame("AppAdmin.AppUserDelete");
//     return frame.Run([&](MethodFrame& call) {
//       data::Command command = call.StoredProcedure("AppUserDelete");
//       command.GetParameters().Append(
//           command.CreateParameter("@AppUserID", data::adInteger, data::adParamInput, 4,
//                                   lngAppUserID));
//       call.Execute(command);   // traced, executed, lngRetVal read; non-zero fails the call
//     });
//   }
//
// Run() does, around the body: trace ">>>" + name; take the object context; TransactionCheck;
// DBConnectionOpen (a non-zero code fails the call). After the body: SetComplete,
// DBConnectionClose, trace name + " no errors - lngRetVal=" + code. On failure (a ComError
// raised anywhere, a non-zero code, Fail()): lngRetVal takes the error's number when it is
// still 0, SetAbort, DBConnectionClose, trace "*** ->" + name + " error: lngRetVal=" + code +
// "; Err.Description= " + description. Always ModuleStateClear at the end. No exception
// leaves Run().
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/object_context.h"
#include "platform/data/ado_constants.h"
#include "platform/data/command.h"
#include "platform/data/connection.h"

namespace tamsel::reports {

struct FrameOptions {
  // Object context, TransactionCheck, the vote and DBConnectionClose. Off for the methods
  // that have no connection of their own (SqlQueryGenerate, SqlForAlertGenerate).
  bool usesContext = true;
  // DBConnectionOpen before the body; off for a method that opens later (OpenConnection()).
  bool openConnection = true;
  // Whether a raised error's number becomes lngRetVal (HeartBitCheck keeps 0).
  bool errorNumberIsResult = true;
  // ModuleStateClear at the end of the call.
  bool clearModuleState = true;
};

class MethodFrame {
 public:
  // `qualifiedName` is "Class.Method", as the trace lines write it.
  explicit MethodFrame(std::string qualifiedName, FrameOptions options = {});
  MethodFrame(const MethodFrame&) = delete;
  MethodFrame& operator=(const MethodFrame&) = delete;

  // Runs the skeleton around `body` and returns lngRetVal.
  std::int32_t Run(const std::function<void(MethodFrame&)>& body);

  // --- For the body ---

  // TraceWrite.
  void Trace(std::string_view text);
  // DBConnectionOpen now (for a frame made with openConnection off); fails the call with its
  // code when it is not 0.
  void OpenConnection();
  // The call's open connection; raises 91 before it is opened.
  platform::data::Connection& Connection();
  platform::com::ObjectContext* Context() const { return context_; }

  // A stored-procedure command on the connection, its first parameter "lngRetVal" (integer,
  // return value, size 0).
  platform::data::Command StoredProcedure(std::string_view name);
  // "->Executing " + command text + ", " + each parameter value after "lngRetVal" (values of
  // parameters named like "Password" written as "********").
  void TraceExecuting(platform::data::Command& command);
  // Traces the call, executes it with `options` (128 without records, -1 for rows) and reads
  // "lngRetVal" as a 32-bit integer; a non-zero value fails the call with that code.
  platform::data::Recordset Execute(platform::data::Command& command,
                                    long options = platform::data::adExecuteNoRecords);
  // Execute for a command whose "->Executing " line was written already (TraceExecuting), for
  // a method that must trace a value as the page passed it before turning it into the type
  // the procedure takes.
  platform::data::Recordset ExecuteTraced(platform::data::Command& command,
                                          long options = platform::data::adExecuteNoRecords);

  // The result a call that succeeds returns and traces instead of 0 (a batch method's 1 for
  // a short batch); set it as the body's last step.
  void SetRetVal(std::int32_t code) { lngRetVal_ = code; }
  // Fails the call with `code` and an empty description.
  [[noreturn]] void Fail(std::int32_t code);
  // Ends the call at once with `code`: no vote, no closing trace, module state cleared (the
  // early returns some methods have, such as "no key found").
  [[noreturn]] void Leave(std::int32_t code);

  // --- After Run ---
  std::int32_t RetVal() const { return lngRetVal_; }
  bool Failed() const { return failed_; }
  // The description of the error caught ("" for a non-zero code).
  const std::string& ErrorDescription() const { return errorDescription_; }
  const std::string& QualifiedName() const { return name_; }

 private:
  void OnFailure(std::string description);

  std::string name_;
  FrameOptions options_;
  std::int32_t lngRetVal_ = 0;
  bool failed_ = false;
  std::string errorDescription_;
  platform::com::ObjectContext* context_ = nullptr;
  std::optional<platform::data::Connection> conn_;
};

// The text a value has in a trace line: its CStr, nothing for Empty and NULL.
std::string TraceValue(const platform::com::Variant& value);

}  // namespace tamsel::reports
