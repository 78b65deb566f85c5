// Test support for methods that work on TamselDB: the component's environment with a database
// of the current schema on either engine (the AppConfig.xml names the server alias for the
// server engine), direct SQL on it, the trace lines written since the last look, and
// procedure bodies replaced for the length of a test (header only).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/engine_test_support.h"
#include "platform/data/data_source.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/session.h"
#include "reports/core/component_test_support.h"

namespace tamsel::reports::testing {

class DatabaseTestEnvironment : public ComponentTestEnvironment {
 public:
  explicit DatabaseTestEnvironment(platform::data::Engine engine = platform::data::Engine::Embedded)
      : engine_(engine) {
    if (engine == platform::data::Engine::Embedded) {
      file_ = CreateSchemaDatabase();
      return;
    }
    available_ = db::CreateTestDatabase(engine, skipReason_).has_value();
    if (available_) SetDataSource(platform::data::kServerAlias);
  }

  // False when the server engine was asked for and the test cluster is missing (tests skip
  // with SkipReason()).
  bool Available() const { return available_; }
  const std::string& SkipReason() const { return skipReason_; }
  platform::data::Engine GetEngine() const { return engine_; }

  // The embedded database file (empty on the server engine).
  const std::filesystem::path& File() const { return file_; }
  std::int64_t CreateAdministrator(std::string_view name, std::string_view password) {
    if (engine_ == platform::data::Engine::Embedded) {
      return db::CreateAdministrator(file_, name, password);
    }
    return db::CreateAdministrator(Login(), name, password);
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

  // A session of its own on the database, on either engine.
  platform::data::Session& Db() {
    if (session_) return *session_;
    if (engine_ == platform::data::Engine::Embedded) {
      session_ = platform::data::Session::Open(file_);
    } else {
      session_ = platform::data::Session::OpenServer(Login());
    }
    return *session_;
  }

 private:
  platform::data::ServerLogin Login() const {
    return {*platform::data::ServerAliasTarget(platform::data::kServerAlias), Catalog(), "", ""};
  }

  platform::data::Engine engine_;
  bool available_ = true;
  std::string skipReason_;
  std::filesystem::path file_;
  std::unique_ptr<platform::data::Session> session_;
  std::size_t seen_ = 0;
};

// Replaces the body of a catalog procedure for the life of the object (a database step that
// fails, or a result the real procedure never gives).
class ScopedProcedureBody {
 public:
  using Body = std::function<int(platform::data::ProcedureCall&,
                                 const platform::data::ProcedureFunction& original)>;
  ScopedProcedureBody(const std::string& name, Body body) {
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

}  // namespace tamsel::reports::testing
