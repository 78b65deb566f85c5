// Reading a whole table in key order without holding it in memory: the server engine hands
// out a statement's whole result at once, so there the rows come in batches, each starting
// after the last key of the one before; the embedded engine steps one statement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/data/session.h"

namespace tamsel::db {

// A table or column name as the engine's SQL spells it.
std::string SqlName(const platform::data::Session& session, const std::string& name);

class TableRows {
 public:
  // Rows a batch of the server engine holds by default: a few megabytes of LogEntry.
  static constexpr std::int64_t kDefaultBatchRows = 10000;

  // `batchRows` 0 reads a server's table in one statement too (whole, into memory).
  TableRows(platform::data::Session& session, const std::string& table,
            std::int64_t batchRows = kDefaultBatchRows);

  // Moves to the next row; false when every row was read.
  bool Next();
  // The row Next moved to; before the first Next, only its columns' names are known.
  const platform::data::Statement& Row() const { return *rows_; }

 private:
  // The batch after the current one's last row, whose key it starts after.
  void NextBatch();

  platform::data::Session& session_;
  std::int64_t batchRows_ = 0;   // 0: all rows from one statement
  std::string afterKeySql_;      // a batch's statement, given the key it starts after
  std::vector<int> keyColumns_;  // the key's columns' places in a row
  std::int64_t inBatch_ = 0;
  std::optional<platform::data::Statement> rows_;
};

}  // namespace tamsel::db
