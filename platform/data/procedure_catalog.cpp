// The registry of stored procedures, and the helpers their bodies use.
#include "platform/data/procedure_catalog.h"

#include "platform/network/network.h"

namespace tamsel::platform::data {
namespace {

std::string_view BareName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '[')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == ']')) name.remove_suffix(1);
  for (std::string_view prefix : {"dbo.", "dbo].[", "[dbo].["}) {
    if (name.size() > prefix.size() &&
        network::EqualsIgnoreCase(name.substr(0, prefix.size()), prefix)) {
      name.remove_prefix(prefix.size());
    }
  }
  return name;
}

}  // namespace

Rowset Rowset::FromStatement(Statement& statement) {
  Rowset rowset;
  const int count = statement.ColumnCount();
  for (int i = 0; i < count; ++i) rowset.columns.push_back(statement.ColumnName(i));
  while (statement.Step()) {
    std::vector<com::Variant> row;
    row.reserve(count);
    for (int i = 0; i < count; ++i) row.push_back(statement.Value(i));
    rowset.rows.push_back(std::move(row));
  }
  return rowset;
}

void ProcedureCall::SelectRows(std::string_view sql, const std::vector<com::Variant>& binds) {
  Statement statement = session_.Prepare(sql);
  for (size_t i = 0; i < binds.size(); ++i) statement.Bind(static_cast<int>(i + 1), binds[i]);
  rows_ = Rowset::FromStatement(statement);
}

ProcedureCatalog& ProcedureCatalog::Global() {
  static ProcedureCatalog catalog;
  return catalog;
}

void ProcedureCatalog::Register(ProcedureDefinition definition) {
  const std::string key = network::ToLower(definition.name);
  auto found = byLowerName_.find(key);
  if (found != byLowerName_.end()) {
    procedures_[found->second] = std::move(definition);
    return;
  }
  byLowerName_.emplace(key, procedures_.size());
  procedures_.push_back(std::move(definition));
}

const ProcedureDefinition* ProcedureCatalog::Find(std::string_view name) const {
  auto found = byLowerName_.find(network::ToLower(BareName(name)));
  return found == byLowerName_.end() ? nullptr : &procedures_[found->second];
}

std::vector<std::string> ProcedureCatalog::Names() const {
  std::vector<std::string> names;
  for (const ProcedureDefinition& definition : procedures_) names.push_back(definition.name);
  return names;
}

}  // namespace tamsel::platform::data
