// Test support for the administration methods: the component's environment with a TamselDB
// database of the current schema, direct SQL on it, calls through the public interface of
// both classes, and the trace lines written since the last look.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/data/command.h"
#include "platform/data/connection.h"
#include "platform/data/data_source.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/session.h"
#include "reports/admin/admin_methods.h"
#include "reports/core/component_objects.h"
#include "reports/core/database_test_support.h"

namespace tamsel::reports::admin::testing {

using reports::testing::ScopedProcedureBody;

class AdminTestEnvironment : public reports::testing::DatabaseTestEnvironment {
 public:
  explicit AdminTestEnvironment(platform::data::Engine engine = platform::data::Engine::Embedded)
      : DatabaseTestEnvironment(engine) {
    RegisterMethods(MethodRegistry::Global());
  }
};

// The database as the collector reads it, through the provider: the active servers as its
// pass lists them ("id;name"), and its exclusion check of one record.
class CollectorView {
 public:
  CollectorView(const std::string& dataSource, const std::string& catalog) {
    conn_.Open("Provider=SQLOLEDB;Data Source=" + dataSource + ";Initial Catalog=" + catalog +
               ";TRUSTED_CONNECTION=YES");
  }
  std::vector<std::string> ActiveServers() {
    std::vector<std::string> servers;
    platform::data::Recordset rows = conn_.Execute(
        "SELECT ELServerID = ELServerID, ELServerName = ELServerName FROM ELServer "
        "WHERE Status = 1");
    for (; !rows.IsEOF(); rows.MoveNext()) {
      servers.push_back(rows["ELServerID"].CStr() + ";" + rows["ELServerName"].CStr());
    }
    return servers;
  }
  int ExclusionCheck(int server, int eventType) {
    namespace data = platform::data;
    data::Command command;
    command.SetActiveConnection(conn_);
    command.SetCommandType(data::adCmdStoredProc);
    command.SetCommandText("LogEntryExclusionCheck");
    command.GetParameters().Append(command.CreateParameter(
        "@ELServerID", data::adInteger, data::adParamInput, 4, platform::com::Variant(server)));
    command.GetParameters().Append(command.CreateParameter(
        "@EventTypeID", data::adInteger, data::adParamInput, 4, platform::com::Variant(eventType)));
    data::Recordset rows = command.Execute(0);
    return rows.IsEOF() ? -1 : rows["InExclusionList"].CLng();
  }

 private:
  platform::data::Connection conn_;
};

// Calls "<Class>.<method>" through the public interface, as a page does; returns lngRetVal.
inline std::int32_t Call(const std::string& qualifiedName, platform::com::Arguments& args,
                         bool transactional = true) {
  return ComponentCall(qualifiedName, args, platform::com::Activation{transactional}).CLng();
}

// Calls a method whose one argument is an in/out XML document; `answer`, when given, receives
// the document after the call. Returns lngRetVal.
inline std::int32_t CallWithDocument(const std::string& qualifiedName, const std::string& xml,
                                     std::string* answer = nullptr) {
  platform::com::Arguments args{platform::com::Variant(xml)};
  std::int32_t result = Call(qualifiedName, args);
  if (answer) *answer = args[0].value.CStr();
  return result;
}

}  // namespace tamsel::reports::admin::testing
