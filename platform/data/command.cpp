// Executing commands on the embedded provider: SQL text with '?' parameters, and stored
// procedures bound by position to the catalog's declared parameters.
#include "platform/data/command.h"

#include "platform/data/procedure_catalog.h"
#include "platform/data/procedure_unit.h"
#include "platform/data/provider_error.h"
#include "platform/data/sql_translation.h"
#include "platform/data/value_conversion.h"

namespace tamsel::platform::data {
namespace {

bool WantsRows(long options) {
  return options == adOptionUnspecified || (options & adExecuteNoRecords) == 0;
}

}  // namespace

Parameter Command::CreateParameter(std::string name, long type, long direction, long size,
                                   com::Variant value) const {
  if (direction < adParamInput || direction > adParamReturnValue) RaiseAdoError(kInvalidArgument);
  return Parameter(std::move(name), type, direction, size, std::move(value));
}

Recordset Command::Execute(long options) {
  Session& session = connection_.GetSession();
  session.SetBusyTimeout(static_cast<int>(timeout_) * 1000);
  if (type_ == adCmdStoredProc) return ExecuteProcedure(session, WantsRows(options));
  return ExecuteText(session, WantsRows(options));
}

Recordset Command::ExecuteText(Session& session, bool wantRows) {
  std::string sql = type_ == adCmdTable ? "SELECT * FROM " + text_ : TranslateSql(text_);
  std::string_view rest = sql;
  std::optional<Rowset> rows;
  int bound = 0;
  while (!rest.empty()) {
    Statement statement = session.PrepareFirst(rest, rest);
    if (statement.Empty()) break;  // only blanks or comments left
    for (int i = 1; i <= statement.ParameterCount(); ++i, ++bound) {
      if (bound >= parameters_.Count()) {
        RaiseProviderError(kParamNotOptional,
                           "No value given for one or more required "
                           "parameters.");
      }
      Parameter& parameter = parameters_.Item(bound);
      statement.Bind(i, ConvertToAdoType(parameter.Value(), parameter.Type(), parameter.Name()));
    }
    if (statement.ColumnCount() > 0 && !rows) {
      rows = Rowset::FromStatement(statement);
    } else {
      statement.Run();
    }
  }
  if (!wantRows || !rows) return Recordset();
  return Recordset(std::move(*rows));
}

Recordset Command::ExecuteProcedure(Session& session, bool wantRows) {
  const ProcedureDefinition* procedure = ProcedureCatalog::Global().Find(text_);
  if (procedure == nullptr) {
    RaiseProviderError(kErrorsInCommand, "Could not find stored procedure '" + text_ + "'.");
  }
  // Bind by position: the return value parameter aside, the n-th parameter of the command
  // is the n-th declared parameter of the procedure, whatever its name.
  Parameter* returnValue = nullptr;
  std::vector<Parameter*> bound;
  for (Parameter& parameter : parameters_) {
    if (parameter.Direction() == adParamReturnValue) {
      if (returnValue == nullptr) returnValue = &parameter;
    } else {
      bound.push_back(&parameter);
    }
  }
  const auto& declared = procedure->parameters;
  if (bound.size() > declared.size()) {
    RaiseProviderError(kErrorsInCommand, "Procedure or function " + procedure->name +
                                             " has too many arguments specified.");
  }
  if (bound.size() < declared.size()) {
    RaiseProviderError(kParamNotOptional,
                       "Procedure '" + procedure->name + "' expects parameter '" +
                           declared[bound.size()].name + "', which was not supplied.");
  }
  std::vector<com::Variant> arguments;
  arguments.reserve(bound.size());
  for (size_t i = 0; i < bound.size(); ++i) {
    const Parameter& parameter = *bound[i];
    com::Variant value =
        parameter.Direction() == adParamOutput
            ? com::Variant::Null()
            : ConvertToAdoType(parameter.Value(), parameter.Type(), parameter.Name());
    // The procedure receives the value as its own declared type, as the server converts; a
    // value of that type already stays as it is.
    if (parameter.Type() == declared[i].adoType) {
      arguments.push_back(std::move(value));
    } else {
      arguments.push_back(ConvertToAdoType(value, declared[i].adoType, declared[i].name));
    }
  }
  std::optional<ProcedureCall> call;
  const int result = RunProcedureUnit(session, *procedure, arguments, call);
  if (returnValue != nullptr)
    returnValue->SetValue(com::Variant(static_cast<std::int32_t>(result)));
  for (size_t i = 0; i < bound.size(); ++i) {
    const long direction = bound[i]->Direction();
    if (declared[i].output && (direction == adParamOutput || direction == adParamInputOutput)) {
      bound[i]->SetValue(call->Values()[i]);
    }
  }
  if (!wantRows || !call->Rows()) return Recordset();
  return Recordset(std::move(*call->Rows()));
}

}  // namespace tamsel::platform::data
