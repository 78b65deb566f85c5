// One physical connection to an embedded database file (SQLite): WAL journal, busy timeout,
// a cache of prepared statements, and the statement handle stored procedures and the
// provider run their SQL through.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/com/variant.h"

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

 private:
  friend class Session;
  // `inUse` is the cache entry's flag, cleared when the statement goes back; nullptr for a
  // statement of its own, finalized at the end.
  Statement(Session* session, sqlite3_stmt* statement, bool* inUse);

  Session* session_;
  sqlite3_stmt* statement_;
  bool* inUse_;
};

class Session {
 public:
  // Opens an existing database file (never creates one unless `create`); raises the
  // provider's error for a missing, locked or corrupt file.
  static std::unique_ptr<Session> Open(const std::filesystem::path& file, bool create = false,
                                       int busyMilliseconds = 30000);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // One statement, from the cache when it was prepared before and is not in use.
  Statement Prepare(std::string_view sql);
  // Prepares the first statement of `sql`, leaving the rest in `tail` (not cached).
  Statement PrepareFirst(std::string_view sql, std::string_view& tail);
  // Runs statements that return no rows (schema scripts, BEGIN/COMMIT).
  void Execute(std::string_view sql);

  std::int64_t LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
  int Changes() const { return sqlite3_changes(db_); }
  bool InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
  // Milliseconds to wait for another connection's lock; 0 waits as long as it takes.
  void SetBusyTimeout(int milliseconds);
  const std::filesystem::path& File() const { return file_; }
  sqlite3* Handle() const { return db_; }

 private:
  friend class Statement;
  Session(std::filesystem::path file, sqlite3* db) : file_(std::move(file)), db_(db) {}

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
};

// "YYYY-MM-DD HH:MM:SS", the form dates are stored in.
std::string FormatIsoDate(double oaDate);

}  // namespace tamsel::platform::data
