// The stored procedures of the embedded engine: each is a C++ function registered by name
// with its declared parameter list. A command of type 4 binds its parameters to that list
// by position and the provider runs the function as one unit of work on its session.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/com/variant.h"
#include "platform/data/rowset.h"
#include "platform/data/session.h"

namespace tamsel::platform::data {

struct ProcedureParameter {
  std::string name;     // "@ELServerID"
  long adoType;         // the declared type; values arrive converted to it
  bool output = false;  // declared OUTPUT: the caller may read back what the body sets
};

// What a procedure body sees: its session, its arguments by declared position, its output
// values and its optional rowset. The body's int result is the procedure's RETURN value.
class ProcedureCall {
 public:
  ProcedureCall(Session& session, std::vector<com::Variant> arguments)
      : session_(session), values_(std::move(arguments)) {}

  Session& GetSession() { return session_; }
  const com::Variant& Arg(size_t index) const { return values_.at(index); }
  // Sets an OUTPUT parameter (or changes an input one; only outputs travel back).
  void SetOutput(size_t index, com::Variant value) { values_.at(index) = std::move(value); }
  const std::vector<com::Variant>& Values() const { return values_; }

  void SetRows(Rowset rows) { rows_ = std::move(rows); }
  // Runs `sql` with the given values bound in order and keeps all its rows as the result.
  void SelectRows(std::string_view sql, const std::vector<com::Variant>& binds = {});
  std::optional<Rowset>& Rows() { return rows_; }

 private:
  Session& session_;
  std::vector<com::Variant> values_;
  std::optional<Rowset> rows_;
};

using ProcedureFunction = std::function<int(ProcedureCall&)>;

struct ProcedureDefinition {
  std::string name;
  std::vector<ProcedureParameter> parameters;
  ProcedureFunction body;
  // Returns a list whose first two columns make a two-field list (names that pages may pass
  // to the component's two-field list method).
  bool twoFieldList = false;
  // Inside an open transaction the provider guards each call with a savepoint, so a failing
  // body leaves nothing of its own behind. A body that raises every failure it expects before
  // its first write may do without (the savepoint copies each page it touches).
  bool guardWithSavepoint = true;
  // Every call writes: outside a transaction the body begins with the write lock at once
  // instead of first running as a read that would only be rolled back at its first write.
  bool writesAlways = false;
};

class ProcedureCatalog {
 public:
  // The catalog the provider dispatches to.
  static ProcedureCatalog& Global();

  // Adds or replaces a procedure (names compare without regard to case).
  void Register(ProcedureDefinition definition);
  // By name; "dbo." and brackets are ignored. nullptr when there is none.
  const ProcedureDefinition* Find(std::string_view name) const;
  std::vector<std::string> Names() const;

 private:
  std::vector<ProcedureDefinition> procedures_;
  std::unordered_map<std::string, size_t> byLowerName_;
};

}  // namespace tamsel::platform::data
