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
#include "reports/core/component_test_support.h"

namespace tamsel::reports::alerts::testing {

class AlertsTestEnvironment : public reports::testing::ComponentTestEnvironment {
 public:
  static constexpr int kUser = 3;

  AlertsTestEnvironment() {
    RegisterMethods(MethodRegistry::Global());
    std::filesystem::path folder = platform::data::DataFolder("(local)");
    std::filesystem::create_directories(folder);
    file_ = platform::data::CatalogFile(folder, Catalog());
    db::CreateDatabase(file_);
    Exec(
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) "
        "VALUES (3, 'alice', 'x', 2)");
  }

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

// Calls "Reports.<method>" through the public interface, as a page does; returns lngRetVal.
inline std::int32_t CallReports(const std::string& method, platform::com::Arguments& args,
                                bool transactional = true) {
  return ComponentCall("Reports." + method, args, platform::com::Activation{transactional}).CLng();
}

// Replaces the body of a catalog procedure for the life of the object (a database step that
// fails, or a result the real procedure never gives).
class ScopedProcedureBody {
 public:
  ScopedProcedureBody(const std::string& name,
                      std::function<int(platform::data::ProcedureCall&,
                                        const platform::data::ProcedureFunction& original)>
                          body) {
    platform::data::ProcedureCatalog& catalog = platform::data::ProcedureCatalog::Global();
    original_ = *catalog.Find(name);
    platform::data::ProcedureDefinition replaced = original_;
    replaced.body = [body, original = original_.body](platform::data::ProcedureCall& call) {
      return body(call, original);
    };
    catalog.Register(std::move(replaced));
  }
  ~ScopedProcedureBody() { platform::data::ProcedureCatalog::Global().Register(original_); }
  ScopedProcedureBody(const ScopedProcedureBody&) = delete;
  ScopedProcedureBody& operator=(const ScopedProcedureBody&) = delete;

 private:
  platform::data::ProcedureDefinition original_;
};

}  // namespace tamsel::reports::alerts::testing
