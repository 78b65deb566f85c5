// A table's rows in key order, in batches of keyset pages on the server engine.
#include "database/table_rows.h"

#include <strings.h>

#include <algorithm>

namespace tamsel::db {
namespace {

using platform::data::Engine;
using platform::data::Session;

std::vector<std::string> KeyColumns(Session& session, const std::string& table) {
  auto rows = session.Prepare(platform::data::QueriesFor(session.GetEngine()).primaryKey);
  rows.BindText(1, table);
  std::vector<std::string> columns;
  while (rows.Step()) columns.push_back(rows.Text(0));
  return columns;
}

// "(a, b) > (?, ?)": the rows after a key, in the order "ORDER BY a, b" gives.
std::string AfterKey(const Session& session, const std::vector<std::string>& key) {
  std::string columns, marks;
  for (std::size_t i = 0; i < key.size(); ++i) {
    columns += (i == 0 ? "" : ", ") + SqlName(session, key[i]);
    marks += i == 0 ? "?" : ", ?";
  }
  return key.size() == 1 ? columns + " > ?" : "(" + columns + ") > (" + marks + ")";
}

}  // namespace

std::string SqlName(const Session& session, const std::string& name) {
  return session.GetEngine() == Engine::Embedded ? "\"" + name + "\"" : name;
}

TableRows::TableRows(Session& session, const std::string& table, std::int64_t batchRows)
    : session_(session) {
  const std::string select = "SELECT * FROM " + SqlName(session, table);
  const std::vector<std::string> key = KeyColumns(session, table);
  std::string order;
  for (std::size_t i = 0; i < key.size(); ++i) {
    order += (i == 0 ? " ORDER BY " : ", ") + SqlName(session, key[i]);
  }
  if (session.GetEngine() != Engine::Server || key.empty() || batchRows <= 0) {
    rows_.emplace(session.Prepare(select + order));
    return;
  }
  const std::string limit = " LIMIT " + std::to_string(batchRows);
  rows_.emplace(session.Prepare(select + order + limit));
  for (const std::string& column : key) {
    int place = -1;
    for (int c = 0; c < rows_->ColumnCount() && place < 0; ++c) {
      if (strcasecmp(rows_->ColumnName(c).c_str(), column.c_str()) == 0) place = c;
    }
    if (place < 0) return;  // a key the rows do not show: one statement after all
    keyColumns_.push_back(place);
  }
  batchRows_ = batchRows;
  afterKeySql_ = select + " WHERE " + AfterKey(session, key) + order + limit;
}

bool TableRows::Next() {
  if (batchRows_ > 0 && inBatch_ == batchRows_) NextBatch();
  if (!rows_->Step()) return false;
  ++inBatch_;
  return true;
}

void TableRows::NextBatch() {
  std::vector<std::string> last;
  for (const int column : keyColumns_) last.push_back(rows_->Text(column));
  rows_.reset();  // the batch read is freed before the next one arrives
  rows_.emplace(session_.Prepare(afterKeySql_));
  for (std::size_t i = 0; i < last.size(); ++i) {
    rows_->BindText(static_cast<int>(i) + 1, last[i]);
  }
  inBatch_ = 0;
}

}  // namespace tamsel::db
