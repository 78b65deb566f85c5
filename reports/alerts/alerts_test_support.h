// Test support for the alert methods: the component's environment with a TamselDB database of
// the current schema and an application user, direct SQL on it, calls through the public
// interface, and procedures swapped for the length of a test.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/data/data_source.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/session.h"
#include "reports/alerts/alert_methods.h"
#include "reports/core/component_objects.h"
#include "reports/core/database_test_support.h"

namespace tamsel::reports::alerts::testing {

using reports::testing::ScopedProcedureBody;

class AlertsTestEnvironment : public reports::testing::DatabaseTestEnvironment {
 public:
  static constexpr int kUser = 3;

  explicit AlertsTestEnvironment(platform::data::Engine engine = platform::data::Engine::Embedded)
      : DatabaseTestEnvironment(engine) {
    RegisterMethods(MethodRegistry::Global());
    if (!Available()) return;
    Exec(
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) "
        "VALUES (3, 'alice', 'x', 2)");
  }
};

// Calls "Reports.<method>" through the public interface, as a page does; returns lngRetVal.
inline std::int32_t CallReports(const std::string& method, platform::com::Arguments& args,
                                bool transactional = true) {
  return ComponentCall("Reports." + method, args, platform::com::Activation{transactional}).CLng();
}

}  // namespace tamsel::reports::alerts::testing
