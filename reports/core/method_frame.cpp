// The method skeleton: entry trace, context and transaction check, connection, body, vote,
// closing, outcome trace, module state cleared.
#include "reports/core/method_frame.h"

#include <strings.h>

#include "platform/com/com_error.h"
#include "reports/core/common_methods.h"

namespace tamsel::reports {

namespace com = platform::com;
namespace data = platform::data;

namespace {

// Unwinds the body to the failure path with a result code and no error description.
struct CodeFailure {
  std::int32_t code;
};
// Unwinds the body to an early return.
struct EarlyReturn {
  std::int32_t code;
};

bool NamesPassword(std::string_view name) {
  static constexpr std::string_view kPassword = "password";
  for (std::size_t i = 0; i + kPassword.size() <= name.size(); ++i) {
    if (strncasecmp(name.data() + i, kPassword.data(), kPassword.size()) == 0) return true;
  }
  return false;
}

}  // namespace

std::string TraceValue(const com::Variant& value) {
  if (value.IsEmpty() || value.IsNull()) return {};
  try {
    return value.CStr();
  } catch (const com::ComError&) {
    return {};
  }
}

MethodFrame::MethodFrame(std::string qualifiedName, FrameOptions options)
    : name_(std::move(qualifiedName)), options_(options) {}

void MethodFrame::Trace(std::string_view text) { CommonMethods::TraceWrite(text); }

std::int32_t MethodFrame::Run(const std::function<void(MethodFrame&)>& body) {
  lngRetVal_ = 0;
  try {
    Trace(">>>" + name_);
    if (options_.usesContext) {
      context_ = com::GetObjectContext();
      CommonMethods::TransactionCheck();
      if (options_.openConnection) OpenConnection();
    }
    body(*this);
    if (options_.usesContext) {
      context_->SetComplete();
      CommonMethods::DBConnectionClose(conn_);
    }
    Trace(name_ + " no errors - lngRetVal=" + CommonMethods::TraceNumber(lngRetVal_));
  } catch (const EarlyReturn& early) {
    lngRetVal_ = early.code;
    conn_.reset();
  } catch (const CodeFailure& failure) {
    lngRetVal_ = failure.code;
    OnFailure("");
  } catch (const com::ComError& error) {
    if (lngRetVal_ == 0 && options_.errorNumberIsResult) lngRetVal_ = error.Number();
    OnFailure(error.Description());
  } catch (const std::exception& error) {
    if (lngRetVal_ == 0 && options_.errorNumberIsResult) lngRetVal_ = com::E_FAIL;
    OnFailure(error.what());
  }
  if (options_.clearModuleState) CommonMethods::ModuleStateClear();
  return lngRetVal_;
}

void MethodFrame::OnFailure(std::string description) {
  failed_ = true;
  errorDescription_ = std::move(description);
  try {
    if (options_.usesContext) {
      if (context_) context_->SetAbort();
      CommonMethods::DBConnectionClose(conn_);
    }
  } catch (...) {
    // The failure being reported is the one that counts.
  }
  Trace("*** ->" + name_ + " error: lngRetVal=" + CommonMethods::TraceNumber(lngRetVal_) +
        "; Err.Description= " + errorDescription_);
}

void MethodFrame::OpenConnection() {
  lngRetVal_ = CommonMethods::DBConnectionOpen(conn_);
  if (lngRetVal_ != 0) throw CodeFailure{lngRetVal_};
}

data::Connection& MethodFrame::Connection() {
  if (!conn_ || conn_->State() == data::adStateClosed) {
    throw com::ComError::Vb(com::kVbObjectNotSet);
  }
  return *conn_;
}

data::Command MethodFrame::StoredProcedure(std::string_view name) {
  data::Command command;
  command.SetActiveConnection(Connection());
  command.SetCommandText(std::string(name));
  command.SetCommandType(data::adCmdStoredProc);
  command.GetParameters().Append(
      command.CreateParameter("lngRetVal", data::adInteger, data::adParamReturnValue, 0));
  return command;
}

void MethodFrame::TraceExecuting(data::Command& command) {
  std::string values;
  data::Parameters& parameters = command.GetParameters();
  for (long i = 1; i < parameters.Count(); ++i) {
    const data::Parameter& parameter = parameters.Item(i);
    std::string text = TraceValue(parameter.Value());
    // Passwords never reach the trace file in clear.
    if (!text.empty() && NamesPassword(parameter.Name())) text = "********";
    values += ", " + text;
  }
  Trace("->Executing " + command.CommandText() + values);
}

data::Recordset MethodFrame::Execute(data::Command& command, long options) {
  TraceExecuting(command);
  return ExecuteTraced(command, options);
}

data::Recordset MethodFrame::ExecuteTraced(data::Command& command, long options) {
  data::Recordset rows = command.Execute(options);
  lngRetVal_ = command.GetParameters().Item("lngRetVal").Value().CLng();
  if (lngRetVal_ != 0) throw CodeFailure{lngRetVal_};
  return rows;
}

void MethodFrame::Fail(std::int32_t code) { throw CodeFailure{code}; }

void MethodFrame::Leave(std::int32_t code) { throw EarlyReturn{code}; }

}  // namespace tamsel::reports
