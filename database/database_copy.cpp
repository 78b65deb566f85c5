// Copying a TamselDB between engines: the rows of each table read in key order from the
// source (from a server in batches) and written to the target (COPY on the server engine, one
// prepared insert on the embedded one) inside one transaction that commits only when every
// table's count and checksum match the source's.
#include "database/database_copy.h"

#include <libpq-fe.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "database/schema.h"
#include "database/table_rows.h"
#include "platform/data/sql_dialect.h"

namespace tamsel::db {
namespace {

using platform::data::Engine;
using platform::data::Session;
using platform::data::Statement;

constexpr std::int64_t kProgressEvery = 10000;
constexpr std::size_t kCopyChunk = 1 << 20;

// The source read as of one moment, however many statements its tables take: a read-only
// transaction (on the server, one snapshot for all of them), unless one is open already.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(Session& session) : session_(session), owned_(!session.InTransaction()) {
    if (!owned_) return;
    session.Execute(session.GetEngine() == Engine::Server
                        ? "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"
                        : "BEGIN");
  }
  ~ReadSnapshot() {
    if (!owned_) return;
    try {
      session_.Execute("COMMIT");
    } catch (...) {
      // Nothing was written; the connection ends the transaction when it goes.
    }
  }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  Session& session_;
  bool owned_;
};

// The order-free checksum: each row hashed on its own (a NULL and a text differ, and so do
// rows whose values only concatenate alike), the hashes added up in two 64-bit lanes.
class TableHash {
 public:
  void Add(const Statement& row) {
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 16);
    for (int c = 0; c < row.ColumnCount(); ++c) {
      if (row.IsNull(c)) {
        const unsigned char mark = 0;
        crypto_generichash_update(&state, &mark, 1);
        continue;
      }
      const std::string text = row.Text(c);
      const std::uint64_t length = text.size();
      const unsigned char mark = 1;
      crypto_generichash_update(&state, &mark, 1);
      crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(&length),
                                sizeof length);
      crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(text.data()),
                                text.size());
    }
    std::array<std::uint64_t, 2> digest{};
    crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(digest.data()), 16);
    lanes_[0] += digest[0];
    lanes_[1] += digest[1];
    ++rows_;
  }
  TableTally Tally(const std::string& table) const {
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(lanes_[0]),
                  static_cast<unsigned long long>(lanes_[1]));
    return {table, rows_, hex};
  }

 private:
  std::array<std::uint64_t, 2> lanes_{};
  std::int64_t rows_ = 0;
};

TableTally TallyTable(Session& session, const std::string& table, std::int64_t batchRows) {
  TableHash hash;
  TableRows rows(session, table, batchRows);
  while (rows.Next()) hash.Add(rows.Row());
  return hash.Tally(table);
}

std::int64_t CountRows(Session& session, const std::string& table) {
  auto count = session.Prepare("SELECT COUNT(*) FROM " + SqlName(session, table));
  count.Step();
  return count.Int64(0);
}

// The rows a new database holds in each table (its seed rows), from one built aside.
std::map<std::string, std::int64_t> SeedCounts() {
  static std::atomic<int> serial{0};
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() /
      ("tamsel-seed-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".db");
  std::map<std::string, std::int64_t> counts;
  {
    auto session = Session::Open(file, true);
    UpgradeSchema(*session);
    for (const std::string& table : TableNames(*session))
      counts[table] = CountRows(*session, table);
  }
  std::error_code error;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(file.string() + suffix, error);
  }
  return counts;
}

void RequireCurrentSchema(Session& session, const char* which) {
  const int version = SchemaVersionOf(session);
  if (version != kSchemaVersion) {
    throw std::runtime_error(std::string("the ") + which + " database has schema " +
                             std::to_string(version) + ", not " + std::to_string(kSchemaVersion) +
                             " (run 'tamsel db upgrade' on it first)");
  }
}

void RequireEmpty(Session& to, const std::vector<std::string>& tables) {
  const std::map<std::string, std::int64_t> seeds = SeedCounts();
  for (const std::string& table : tables) {
    const auto seeded = seeds.find(table);
    const std::int64_t rows = CountRows(to, table);
    if (rows != (seeded == seeds.end() ? 0 : seeded->second)) {
      throw std::runtime_error("the target database holds data (" + std::to_string(rows) +
                               " rows in " + table + "); give --replace to overwrite it");
    }
  }
}

void ClearTables(Session& to, const std::vector<std::string>& tables) {
  if (to.GetEngine() == Engine::Server) {
    std::string list;
    for (const std::string& table : tables) list += (list.empty() ? "" : ", ") + table;
    to.Execute("TRUNCATE " + list);
    return;
  }
  for (auto table = tables.rbegin(); table != tables.rend(); ++table) {
    to.Execute("DELETE FROM " + SqlName(to, *table));
  }
}

// The months of LogEntry get their partitions before the rows arrive (a partition cannot be
// made while COPY streams).
void MakeEntryMonths(Session& from, Session& to) {
  if (to.GetEngine() != Engine::Server) return;
  auto months = from.Prepare("SELECT DISTINCT substr(TimeGenerated, 1, 7) FROM LogEntry");
  while (months.Step()) to.EnsureEntryMonth(months.Text(0) + "-01 00:00:00");
}

// Writes a table's rows: the server engine takes them through COPY in text form.
class RowWriter {
 public:
  RowWriter(Session& to, const std::string& table, const Statement& shape) : to_(to) {
    std::string columns, marks;
    for (int c = 0; c < shape.ColumnCount(); ++c) {
      columns += (c ? ", " : "") + SqlName(to, shape.ColumnName(c));
      marks += c ? ", ?" : "?";
    }
    if (to.GetEngine() == Engine::Server) {
      Expect(PQexec(Conn(), ("COPY " + table + " (" + columns + ") FROM STDIN").c_str()),
             PGRES_COPY_IN);
    } else {
      insert_ = std::make_unique<Statement>(to.Prepare("INSERT INTO " + SqlName(to, table) + " (" +
                                                       columns + ") VALUES (" + marks + ")"));
    }
  }

  void Add(const Statement& row) {
    if (insert_) {
      insert_->Reset();
      for (int c = 0; c < row.ColumnCount(); ++c) insert_->Bind(c + 1, row.Value(c));
      insert_->Run();
      return;
    }
    for (int c = 0; c < row.ColumnCount(); ++c) {
      if (c) buffer_ += '\t';
      if (row.IsNull(c)) {
        buffer_ += "\\N";
        continue;
      }
      for (char ch : row.Text(c)) {
        switch (ch) {
          case '\\':
            buffer_ += "\\\\";
            break;
          case '\t':
            buffer_ += "\\t";
            break;
          case '\n':
            buffer_ += "\\n";
            break;
          case '\r':
            buffer_ += "\\r";
            break;
          default:
            buffer_ += ch;
        }
      }
    }
    buffer_ += '\n';
    if (buffer_.size() >= kCopyChunk) Flush();
  }

  void Finish() {
    if (insert_) return;
    Flush();
    if (PQputCopyEnd(Conn(), nullptr) != 1) Fail(nullptr);
    Expect(PQgetResult(Conn()), PGRES_COMMAND_OK);
    while (PGresult* rest = PQgetResult(Conn())) PQclear(rest);
  }

 private:
  PGconn* Conn() const { return to_.Server()->Handle(); }
  void Flush() {
    if (!buffer_.empty() &&
        PQputCopyData(Conn(), buffer_.data(), static_cast<int>(buffer_.size())) != 1) {
      Fail(nullptr);
    }
    buffer_.clear();
  }
  void Expect(PGresult* result, ExecStatusType wanted) {
    if (result == nullptr || PQresultStatus(result) != wanted) Fail(result);
    PQclear(result);
  }
  [[noreturn]] void Fail(PGresult* result) {
    std::string message = result != nullptr ? PQresultErrorMessage(result) : "";
    if (message.empty()) message = PQerrorMessage(Conn());
    PQclear(result);
    // A failed COPY leaves results behind; the connection must be idle for the rollback.
    while (PGresult* rest = PQgetResult(Conn())) PQclear(rest);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw std::runtime_error("the server refused the rows: " + message);
  }

  Session& to_;
  std::unique_ptr<Statement> insert_;
  std::string buffer_;
};

TableTally CopyTable(Session& from, Session& to, const std::string& table,
                     const CopyProgress& progress, std::int64_t batchRows) {
  const std::int64_t total = CountRows(from, table);
  if (progress) progress(table, 0, total);
  TableRows rows(from, table, batchRows);
  RowWriter writer(to, table, rows.Row());
  TableHash hash;
  std::int64_t done = 0;
  while (rows.Next()) {
    writer.Add(rows.Row());
    hash.Add(rows.Row());
    if (++done % kProgressEvery == 0 && progress) progress(table, done, total);
  }
  writer.Finish();
  if (progress && done % kProgressEvery != 0) progress(table, done, total);
  return hash.Tally(table);
}

void Verify(Session& to, const std::vector<TableTally>& source, std::int64_t batchRows) {
  for (const TableTally& copied : source) {
    const TableTally landed = TallyTable(to, copied.table, batchRows);
    if (landed != copied) {
      throw std::runtime_error("the copy of " + copied.table + " differs from its source (" +
                               std::to_string(landed.rows) + " rows, checksum " + landed.checksum +
                               "; the source has " + std::to_string(copied.rows) + ", " +
                               copied.checksum + ")");
    }
  }
}

}  // namespace

std::vector<TableTally> TallyTables(Session& session, std::int64_t batchRows) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  ReadSnapshot snapshot(session);
  std::vector<TableTally> tallies;
  for (const std::string& table : TableNames(session)) {
    tallies.push_back(TallyTable(session, table, batchRows));
  }
  return tallies;
}

std::vector<TableTally> CopyDatabase(Session& from, Session& to, bool replace,
                                     const CopyProgress& progress, std::int64_t batchRows) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  ReadSnapshot snapshot(from);
  RequireCurrentSchema(from, "source");
  RequireCurrentSchema(to, "target");
  const std::vector<std::string> tables = TableNames(from);
  const std::vector<std::string> targetTables = TableNames(to);
  for (const std::string& table : tables) {
    if (std::find(targetTables.begin(), targetTables.end(), table) == targetTables.end()) {
      throw std::runtime_error("the target database has no table " + table);
    }
  }
  if (!replace) RequireEmpty(to, targetTables);

  std::vector<TableTally> tallies;
  to.Execute("BEGIN IMMEDIATE");
  try {
    ClearTables(to, targetTables);
    MakeEntryMonths(from, to);
    for (const std::string& table : tables) {
      tallies.push_back(CopyTable(from, to, table, progress, batchRows));
    }
    Verify(to, tallies, batchRows);
    to.Execute("COMMIT");
  } catch (...) {
    try {
      to.Execute("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
  return tallies;
}

}  // namespace tamsel::db
