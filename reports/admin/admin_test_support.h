// Test support for the administration methods: the component's environment with a TamselDB
// database of the current schema, direct SQL on it, calls through the public interface of
// both classes, and the trace lines written since the last look.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "platform/com/dispatch.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "reports/admin/admin_methods.h"
#include "reports/core/component_objects.h"
#include "reports/core/component_test_support.h"

namespace tamsel::reports::admin::testing {

class AdminTestEnvironment : public reports::testing::ComponentTestEnvironment {
 public:
  AdminTestEnvironment() {
    RegisterMethods(MethodRegistry::Global());
    file_ = CreateSchemaDatabase();
  }

  const std::filesystem::path& File() const { return file_; }
  void Exec(const std::string& sql) { Db().Execute(sql); }
  // The rows of a query, each row's columns joined by "|" (NULL written as "NULL").
  std::vector<std::string> Rows(const std::string& sql) {
    platform::data::Statement statement = Db().Prepare(sql);
    std::vector<std::string> rows;
    while (statement.Step()) {
      std::string row;
      for (int c = 0; c < statement.ColumnCount(); ++c) {
        row += (c ? "|" : "") + (statement.IsNull(c) ? std::string("NULL") : statement.Text(c));
      }
      rows.push_back(row);
    }
    return rows;
  }
  std::string Scalar(const std::string& sql) {
    std::vector<std::string> rows = Rows(sql);
    return rows.empty() ? std::string() : rows.front();
  }

  // Trace texts written since the last call of this function.
  std::vector<std::string> NewTraceTexts() {
    std::vector<std::string> all = TraceTexts();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

 private:
  platform::data::Session& Db() {
    if (!session_) session_ = platform::data::Session::Open(file_);
    return *session_;
  }

  std::filesystem::path file_;
  std::unique_ptr<platform::data::Session> session_;
  std::size_t seen_ = 0;
};

// Calls "<Class>.<method>" through the public interface, as a page does; returns lngRetVal.
inline std::int32_t Call(const std::string& qualifiedName, platform::com::Arguments& args,
                         bool transactional = true) {
  return ComponentCall(qualifiedName, args, platform::com::Activation{transactional}).CLng();
}

}  // namespace tamsel::reports::admin::testing
