// Test support for the log browser's methods: the component's test environment with a
// TamselDB database of the current schema on either engine, direct SQL on it, and calls
// through the public interface as a page makes them.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "reports/browse/browse_methods.h"
#include "reports/core/component_objects.h"
#include "reports/core/database_test_support.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports::browse::testing {

class BrowseTestEnvironment : public reports::testing::DatabaseTestEnvironment {
 public:
  explicit BrowseTestEnvironment(platform::data::Engine engine = platform::data::Engine::Embedded)
      : DatabaseTestEnvironment(engine) {
    RegisterMethods(MethodRegistry::Global());
  }

  std::int64_t Count(const std::string& sql) {
    platform::data::Statement statement = Db().Prepare(sql);
    statement.Step();
    return statement.Int64(0);
  }
};

// Calls "Reports.<method>" through the public interface and returns lngRetVal (or the string
// result of TextSqlMake as its Variant).
inline platform::com::Variant CallReports(const std::string& method, platform::com::Arguments& args,
                                          bool transactional = true) {
  return ComponentCall("Reports." + method, args, platform::com::Activation{transactional});
}

}  // namespace tamsel::reports::browse::testing
