// ADO's Command: active connection, command text and type, timeout, parameters and Execute.
// Text commands run through the provider's SQL translation; stored procedures (type 4)
// dispatch to the procedure catalog with positional binding.
#pragma once

#include <string>

#include "platform/data/connection.h"
#include "platform/data/parameter.h"
#include "platform/data/recordset.h"

namespace tamsel::platform::data {

class Command {
 public:
  Command() = default;

  void SetActiveConnection(const Connection& connection) { connection_ = connection; }
  const Connection& ActiveConnection() const { return connection_; }
  const std::string& CommandText() const { return text_; }
  void SetCommandText(std::string text) { text_ = std::move(text); }
  long CommandType() const { return type_; }
  void SetCommandType(long type) { type_ = type; }
  long CommandTimeout() const { return timeout_; }
  void SetCommandTimeout(long seconds) { timeout_ = seconds; }

  Parameter CreateParameter(std::string name = {}, long type = adEmpty,
                            long direction = adParamInput, long size = 0,
                            com::Variant value = {}) const;
  Parameters& GetParameters() { return parameters_; }

  // Options -1 (or 0) return the rows, 128 (adExecuteNoRecords) a closed recordset. After a
  // procedure call the return-value parameter and the output parameters hold their values.
  Recordset Execute(long options = adOptionUnspecified);

 private:
  Recordset ExecuteText(Session& session, bool wantRows);
  Recordset ExecuteProcedure(Session& session, bool wantRows);

  Connection connection_;
  std::string text_;
  long type_ = adCmdUnknown;
  long timeout_ = 30;
  Parameters parameters_;
};

}  // namespace tamsel::platform::data
