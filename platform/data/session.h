// One physical connection: to an embedded database file (SQLite: WAL journal, busy timeout,
// a cache of prepared statements) or to a server database (PostgreSQL, through a
// ServerLink), and the statement handle stored procedures and the provider run their SQL
// through. Statements are written in the embedded dialect either way.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/com/variant.h"
#include "platform/data/server_link.h"
#include "platform/data/sql_dialect.h"
#include "platform/data/transaction_memo.h"

namespace tamsel::platform::data {

class Session;

// A prepared statement borrowed from a session's cache; reset and handed back when it goes
// out of scope. Errors raise the provider's ComError.
class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  ~Statement();

  // Parameters are numbered from 1.
  Statement& Bind(int index, const com::Variant& value);
  Statement& BindText(int index, std::string_view value);
  Statement& BindInt64(int index, std::int64_t value);
  Statement& BindNull(int index);
  int ParameterCount() const;

  // Advances to the next row: true when there is one, false when done.
  bool Step();
  // Runs to completion, ignoring rows; returns the rows changed.
  int Run();

  int ColumnCount() const;
  std::string ColumnName(int column) const;
  bool IsNull(int column) const;
  std::int64_t Int64(int column) const;
  std::string Text(int column) const;
  com::Variant Value(int column) const;

  void Reset();
  sqlite3_stmt* Handle() const { return statement_; }
  // True for what PrepareFirst gives when only blanks or comments were left.
  bool Empty() const { return statement_ == nullptr && !server_; }

 private:
  friend class Session;
  Statement(Session* session, std::unique_ptr<ServerCursor> cursor);
  ServerCursor& Cursor() const { return *server_; }
  void SetServerValue(int index, std::optional<std::string> value);
  // `inUse` is the cache entry's flag, cleared when the statement goes back; nullptr for a
  // statement of its own, finalized at the end.
  Statement(Session* session, sqlite3_stmt* statement, bool* inUse);

  Session* session_;
  sqlite3_stmt* statement_;
  bool* inUse_;
  std::unique_ptr<ServerCursor> server_;
};

class Session {
 public:
  // Opens an existing embedded database file (never creates one unless `create`); raises the
  // provider's error for a missing, locked or corrupt file.
  static std::unique_ptr<Session> Open(const std::filesystem::path& file, bool create = false,
                                       int busyMilliseconds = 30000);
  // Connects to a server database; raises the provider's "server not found", "login failed"
  // or unknown-catalog error.
  static std::unique_ptr<Session> OpenServer(const ServerLogin& login);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // One statement, from the cache when it was prepared before and is not in use.
  Statement Prepare(std::string_view sql);
  // Prepares the first statement of `sql`, leaving the rest in `tail` (not cached).
  Statement PrepareFirst(std::string_view sql, std::string_view& tail);
  // Runs statements that return no rows (schema scripts, BEGIN/COMMIT).
  void Execute(std::string_view sql);

  // A call's transaction on this session begins only at the first statement that writes, and
  // then with the write lock (BEGIN IMMEDIATE, waiting for another writer within the busy
  // timeout): until then the session reads in autocommit and never blocks a writer.
  void BeginOnFirstWrite() { beginOnWrite_ = true; }
  bool AwaitsFirstWrite() const { return beginOnWrite_; }
  // The transaction has begun, or the call ended without writing.
  void StopAwaitingWrite() { beginOnWrite_ = false; }

  // While a read attempt runs, a statement that would write raises WriteLockNeeded before it
  // touches anything; the attempt is then rolled back and run again under the write lock.
  void SetReadAttempt(bool on) { readAttempt_ = on; }

  // Runs one step of the schema, rewritten for the server engine when this is one.
  void ExecuteSchema(std::string_view script);
  // Makes the month of `isoTime` a partition of LogEntry on the server engine; nothing on
  // the embedded one.
  void EnsureEntryMonth(std::string_view isoTime);

  // The memo of the write transaction this connection holds, emptied first when what it
  // holds may have changed since the last SealMemo: the transaction ended, a savepoint was
  // rolled back to, or a statement changed rows. Outside a write transaction, and on the
  // server engine, it is empty and keeps nothing.
  TransactionMemo& Memo();
  // What the memo holds is true of the rows as they are now, this caller's own writes
  // included.
  void SealMemo();

  std::int64_t LastInsertRowId() const {
    return server_ ? server_->lastInsertKey : sqlite3_last_insert_rowid(db_);
  }
  int Changes() const { return server_ ? server_->changes : sqlite3_changes(db_); }
  bool InTransaction() const {
    return server_ ? server_->InTransaction() : sqlite3_get_autocommit(db_) == 0;
  }
  Engine GetEngine() const { return server_ ? Engine::Server : Engine::Embedded; }
  // The server connection (nullptr on the embedded engine).
  ServerLink* Server() const { return server_.get(); }
  // Milliseconds to wait for another connection's lock; 0 waits as long as it takes.
  void SetBusyTimeout(int milliseconds);
  // The write-ahead log's size, in pages, past which a commit of this connection copies it
  // into the database file (flushing both); nothing on the server engine.
  void SetCheckpointPages(int pages);
  // Copies what it can of the write-ahead log into the database file now, without waiting
  // for readers; nothing on the server engine.
  void Checkpoint();
  const std::filesystem::path& File() const { return file_; }
  sqlite3* Handle() const { return db_; }

 private:
  friend class Statement;
  Session(std::filesystem::path file, sqlite3* db) : file_(std::move(file)), db_(db) {}
  // Called before a statement's first step: begins the awaited transaction, or stops a read
  // attempt, when the statement writes.
  void BeforeFirstStep(sqlite3_stmt* statement);

  struct CacheEntry {
    sqlite3_stmt* statement = nullptr;
    bool inUse = false;
  };
  // Looked up by string_view, so a cached statement costs no allocation.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::filesystem::path file_;
  sqlite3* db_;
  std::unordered_map<std::string, CacheEntry, TextHash, std::equal_to<>> cache_;
  bool beginOnWrite_ = false;
  bool readAttempt_ = false;
  // Counts the ends of transactions and rollbacks to savepoints: the memo's stamp.
  std::uint64_t rollbacksAndEnds_ = 0;
  struct MemoStamp {
    std::uint64_t rollbacksAndEnds = 0;
    std::int64_t changes = -1;
    bool operator==(const MemoStamp&) const = default;
  };
  MemoStamp MemoStampNow() const;
  bool HoldsWriteLock() const;
  static int CountEnd(void* owner) {
    ++static_cast<Session*>(owner)->rollbacksAndEnds_;
    return 0;  // the commit goes ahead
  }
  TransactionMemo memo_;
  MemoStamp memoStamp_;
  bool memoOpen_ = false;
  std::unique_ptr<ServerLink> server_;
};

// Raised by a statement that would write during a read attempt. Deliberately not a
// std::exception: nothing between the statement and the attempt may take it for a failure.
struct WriteLockNeeded {};

// "YYYY-MM-DD HH:MM:SS", the form dates are stored in.
std::string FormatIsoDate(double oaDate);

}  // namespace tamsel::platform::data
