// The server engine's side of a session: one libpq connection, its prepared statements
// (found by their text, a bounded number kept per connection), the spellings of the schema's
// names, and the mapping of the server's SQLSTATEs onto the provider's errors.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/prepared_statements.h"

// libpq's handles, declared as libpq-fe.h does, so users of sessions need not see libpq.
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace tamsel::platform::data {

// What a connection string and alias give to log in to a server.
struct ServerLogin {
  std::string target;   // the alias's libpq URI or "key=value" string
  std::string catalog;  // the database
  std::string user;     // empty: the operating-system user (Windows authentication)
  std::string password;
  // Identifies the login in the pool and in a transaction (no password in it).
  std::string Key() const;
};

struct PGresultDeleter {
  void operator()(PGresult* result) const;
};
using ResultPtr = std::unique_ptr<PGresult, PGresultDeleter>;

// A statement's run on the server: its bound values, then its result walked row by row.
struct ServerCursor {
  std::shared_ptr<const ServerPrepared> prepared;
  std::vector<std::optional<std::string>> values;
  ResultPtr result;
  int row = -1;
};

class ServerLink {
 public:
  // Connects; raises "server not found" or "login failed" as the provider does.
  explicit ServerLink(const ServerLogin& login);
  ~ServerLink();
  ServerLink(const ServerLink&) = delete;
  ServerLink& operator=(const ServerLink&) = delete;

  // Statements kept prepared per connection, and how many go at once past that.
  static constexpr std::size_t kPreparedLimit = 256;
  static constexpr std::size_t kPreparedReleaseBatch = 32;

  // The prepared form of a statement in the embedded dialect. Only the most recently used
  // texts stay prepared; one prepared again gets a new name.
  std::shared_ptr<const ServerPrepared> Prepare(std::string_view sql);
  ResultPtr Run(const ServerPrepared& prepared,
                const std::vector<std::optional<std::string>>& values);
  // Runs a script of statements without parameters.
  void Execute(std::string_view sql);
  // Sends such a script without waiting for it, so the caller can go on with other work
  // while the server runs it; nothing else may use the link until Receive.
  void Send(std::string_view sql);
  // Waits for the script Send sent; raises its first error, as Execute would.
  void Receive();
  // Runs `copy` (a COPY ... FROM STDIN statement of the server's dialect) with `rows` in
  // its text format, in one round trip.
  void CopyIn(std::string_view copy, std::string_view rows);
  bool InTransaction() const;
  // False once the server closed the connection or it broke.
  bool Alive() const;

  // Creates the month's partition of LogEntry once per connection.
  void EnsureEntryMonth(std::string_view isoTime);
  // Reloads the schema's spellings (after a schema step added some).
  void LoadSpellings();

  std::int64_t lastInsertKey = 0;
  int changes = 0;
  PGconn* Handle() const { return conn_; }

 private:
  std::string Spell(std::string_view serverName, std::string_view sql) const;
  // Raises the provider error matching a failed result (or connection, when result is null).
  [[noreturn]] void Raise(const PGresult* result) const;
  void Check(const PGresult* result, int wanted) const;
  // Frees on the server the statements the cache let go, unless a failed transaction
  // refuses every command until it ends.
  void DeallocateReleased();

  PGconn* conn_ = nullptr;
  PreparedStatements prepared_{kPreparedLimit, kPreparedReleaseBatch};
  std::map<std::string, std::string> spellings_;
  std::set<std::string> months_;
  bool entryDaysCounted_ = false;  // the schema keeps LogEntry's rows counted per day
  int preparedCount_ = 0;          // names are never used twice on a connection
};

}  // namespace tamsel::platform::data
