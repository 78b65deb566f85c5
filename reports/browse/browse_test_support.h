// Test support for the log browser's methods: the component's test environment with a
// TamselDB database of the current schema, direct SQL on it, and calls through the public
// interface as a page makes them.
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
#include "reports/core/component_test_support.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports::browse::testing {

class BrowseTestEnvironment : public reports::testing::ComponentTestEnvironment {
 public:
  BrowseTestEnvironment() { RegisterMethods(MethodRegistry::Global()); }

  // A database with the schema and seed rows, as tamsel-db makes it.
  std::filesystem::path CreateSchemaDatabase() {
    std::filesystem::path folder = platform::data::DataFolder("(local)");
    std::filesystem::create_directories(folder);
    file_ = platform::data::CatalogFile(folder, Catalog());
    db::CreateDatabase(file_);
    return file_;
  }

  platform::data::Session& Db() {
    if (!session_) session_ = platform::data::Session::Open(file_);
    return *session_;
  }
  void Exec(const std::string& sql) { Db().Execute(sql); }
  std::int64_t Count(const std::string& sql) {
    platform::data::Statement statement = Db().Prepare(sql);
    statement.Step();
    return statement.Int64(0);
  }

  // Trace texts written since the last call of this function.
  std::vector<std::string> NewTraceTexts() {
    std::vector<std::string> all = TraceTexts();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

 private:
  std::filesystem::path file_;
  std::unique_ptr<platform::data::Session> session_;
  std::size_t seen_ = 0;
};

// Calls "Reports.<method>" through the public interface and returns lngRetVal (or the string
// result of TextSqlMake as its Variant).
inline platform::com::Variant CallReports(const std::string& method, platform::com::Arguments& args,
                                          bool transactional = true) {
  return ComponentCall("Reports." + method, args, platform::com::Activation{transactional});
}

}  // namespace tamsel::reports::browse::testing
