// The embedded engine's physical connection and its statement cache.
#include "platform/data/session.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

constexpr size_t kCacheLimit = 256;

// Type OIDs of the server's results that read back as numbers.
constexpr unsigned kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kFloat4Oid = 700,
                   kFloat8Oid = 701, kNumericOid = 1700;

void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) RaiseSqliteError(db, rc);
}

// `sql` begins, after blanks, with the keyword `word` (upper case).
bool StartsWith(std::string_view sql, std::string_view word) {
  while (!sql.empty() && std::isspace(static_cast<unsigned char>(sql.front())))
    sql.remove_prefix(1);
  return sql.size() >= word.size() &&
         sqlite3_strnicmp(sql.data(), word.data(), static_cast<int>(word.size())) == 0;
}

// Statements that change the database. BEGIN IMMEDIATE counts as one for SQLite, but it
// only begins a transaction.
bool Writes(sqlite3_stmt* statement) {
  if (sqlite3_stmt_readonly(statement)) return false;
  return !StartsWith(sqlite3_sql(statement), "BEGIN");
}

}  // namespace

std::string FormatIsoDate(double oaDate) {
  const com::DateParts p = com::OaDateToParts(oaDate);
  auto twoDigits = [](int value) { return value >= 0 && value <= 99; };
  if (p.year >= 0 && p.year <= 9999 && twoDigits(p.month) && twoDigits(p.day) &&
      twoDigits(p.hour) && twoDigits(p.minute) && twoDigits(p.second)) {
    // Every stored record passes here: digits by hand, as the formatted print costs more
    // than the rest of the conversion.
    std::string text = "0000-00-00 00:00:00";
    auto put = [&](std::size_t at, int value, int digits) {
      for (int i = digits - 1; i >= 0; --i, value /= 10)
        text[at + i] = static_cast<char>('0' + value % 10);
    };
    put(0, p.year, 4);
    put(5, p.month, 2);
    put(8, p.day, 2);
    put(11, p.hour, 2);
    put(14, p.minute, 2);
    put(17, p.second, 2);
    return text;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return text;
}

Statement::Statement(Session* session, sqlite3_stmt* statement, bool* inUse)
    : session_(session), statement_(statement), inUse_(inUse) {}

Statement::Statement(Session* session, std::unique_ptr<ServerCursor> cursor)
    : session_(session), statement_(nullptr), inUse_(nullptr), server_(std::move(cursor)) {}

Statement::Statement(Statement&& other) noexcept
    : session_(other.session_),
      statement_(other.statement_),
      inUse_(other.inUse_),
      server_(std::move(other.server_)) {
  other.statement_ = nullptr;
}

void Statement::SetServerValue(int index, std::optional<std::string> value) {
  auto& values = server_->values;
  if (index < 1) return;
  if (values.size() < static_cast<size_t>(index)) values.resize(index);
  values[index - 1] = std::move(value);
}

Statement::~Statement() {
  if (statement_ == nullptr) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  if (inUse_ != nullptr) {
    *inUse_ = false;
  } else {
    sqlite3_finalize(statement_);
  }
}

Statement& Statement::Bind(int index, const com::Variant& value) {
  using com::VarType;
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return BindNull(index);
    case VarType::I2:
    case VarType::I4:
      return BindInt64(index, value.CLng());
    case VarType::Bool:
      return BindInt64(index, value.CBool() ? 1 : 0);
    case VarType::R8:
      if (server_) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value.CDbl());
        return BindText(index, text);
      }
      Check(session_->db_, sqlite3_bind_double(statement_, index, value.CDbl()));
      return *this;
    case VarType::Date:
      return BindText(index, FormatIsoDate(value.CDate()));
    case VarType::BStr:
      return BindText(index, value.CStr());
  }
  return *this;
}

Statement& Statement::BindText(int index, std::string_view value) {
  if (server_) {
    SetServerValue(index, std::string(value));
    return *this;
  }
  Check(session_->db_, sqlite3_bind_text(statement_, index, value.data(),
                                         static_cast<int>(value.size()), SQLITE_TRANSIENT));
  return *this;
}

Statement& Statement::BindInt64(int index, std::int64_t value) {
  if (server_) {
    SetServerValue(index, std::to_string(value));
    return *this;
  }
  Check(session_->db_, sqlite3_bind_int64(statement_, index, value));
  return *this;
}

Statement& Statement::BindNull(int index) {
  if (server_) {
    SetServerValue(index, std::nullopt);
    return *this;
  }
  Check(session_->db_, sqlite3_bind_null(statement_, index));
  return *this;
}

int Statement::ParameterCount() const {
  if (server_) return server_->prepared->parameters;
  return sqlite3_bind_parameter_count(statement_);
}

bool Statement::Step() {
  if (server_) {
    if (!server_->result) {
      server_->result = session_->server_->Run(*server_->prepared, server_->values);
      server_->row = -1;
    }
    return ++server_->row < PQntuples(server_->result.get());
  }
  if (!sqlite3_stmt_busy(statement_)) session_->BeforeFirstStep(statement_);
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(statement_);
  RaiseSqliteError(session_->db_, rc);
}

int Statement::Run() {
  if (server_) {
    server_->result = session_->server_->Run(*server_->prepared, server_->values);
    server_->row = PQntuples(server_->result.get());
    return session_->server_->changes;
  }
  while (Step()) {
  }
  return sqlite3_changes(session_->db_);
}

int Statement::ColumnCount() const {
  if (server_) return static_cast<int>(server_->prepared->columns.size());
  return sqlite3_column_count(statement_);
}

std::string Statement::ColumnName(int column) const {
  if (server_) return server_->prepared->columns.at(column);
  const char* name = sqlite3_column_name(statement_, column);
  return name != nullptr ? name : "";
}

bool Statement::IsNull(int column) const {
  if (server_) return PQgetisnull(server_->result.get(), server_->row, column) != 0;
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int64(int column) const {
  if (server_) {
    const char* text = PQgetvalue(server_->result.get(), server_->row, column);
    if (server_->prepared->types.at(column) == kBoolOid) return text[0] == 't' ? 1 : 0;
    return std::strtoll(text, nullptr, 10);
  }
  return sqlite3_column_int64(statement_, column);
}

std::string Statement::Text(int column) const {
  if (server_) {
    if (server_->prepared->types.at(column) == kBoolOid) return std::to_string(Int64(column));
    PGresult* result = server_->result.get();
    return std::string(PQgetvalue(result, server_->row, column),
                       PQgetlength(result, server_->row, column));
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text != nullptr ? std::string(text, sqlite3_column_bytes(statement_, column))
                         : std::string();
}

com::Variant Statement::Value(int column) const {
  if (server_) {
    if (IsNull(column)) return com::Variant::Null();
    switch (server_->prepared->types.at(column)) {
      case kBoolOid:
      case kInt2Oid:
      case kInt4Oid:
      case kInt8Oid:
        return com::Variant::FromInt64(Int64(column));
      case kFloat4Oid:
      case kFloat8Oid:
        return com::Variant(std::strtod(Text(column).c_str(), nullptr));
      case kNumericOid: {
        const std::string text = Text(column);
        if (text.find_first_of(".eE") == std::string::npos) {
          return com::Variant::FromInt64(std::strtoll(text.c_str(), nullptr, 10));
        }
        return com::Variant(std::strtod(text.c_str(), nullptr));
      }
      default:
        return com::Variant(Text(column));
    }
  }
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_NULL:
      return com::Variant::Null();
    case SQLITE_INTEGER:
      return com::Variant::FromInt64(Int64(column));
    case SQLITE_FLOAT:
      return com::Variant(sqlite3_column_double(statement_, column));
    default:
      return com::Variant(Text(column));
  }
}

void Statement::Reset() {
  if (server_) {
    server_->result.reset();
    server_->values.clear();
    server_->row = -1;
    return;
  }
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::unique_ptr<Session> Session::Open(const std::filesystem::path& file, bool create,
                                       int busyMilliseconds) {
  if (!create) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
      RaiseProviderError(kProviderFail, "Cannot open database \"" + file.stem().string() +
                                            "\" requested by the login. The login failed.");
    }
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
  std::unique_ptr<Session> session(new Session(file, db));
  if (rc != SQLITE_OK) RaiseSqliteError(db, rc);
  session->SetBusyTimeout(busyMilliseconds);
  sqlite3_extended_result_codes(db, 1);
  // Every end of a transaction, committed or rolled back (also by SQLite itself), stales the
  // memo.
  sqlite3_commit_hook(db, CountEnd, session.get());
  sqlite3_rollback_hook(
      db, [](void* owner) { CountEnd(owner); }, session.get());
  // Reading the schema and switching to WAL are the first touches of the file, so a
  // corrupt or foreign file fails here, with a clear message, not at the first query.
  session->Execute(
      "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
      "PRAGMA cache_size=-32768; PRAGMA temp_store=MEMORY;");
  return session;
}

std::unique_ptr<Session> Session::OpenServer(const ServerLogin& login) {
  auto link = std::make_unique<ServerLink>(login);
  std::unique_ptr<Session> session(new Session(login.Key(), nullptr));
  session->server_ = std::move(link);
  return session;
}

Session::~Session() {
  for (auto& [sql, entry] : cache_) sqlite3_finalize(entry.statement);
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

Statement Session::Prepare(std::string_view sql) {
  if (server_) {
    auto cursor = std::make_unique<ServerCursor>();
    cursor->prepared = server_->Prepare(sql);
    return Statement(this, std::move(cursor));
  }
  auto found = cache_.find(sql);
  if (found != cache_.end() && !found->second.inUse) {
    found->second.inUse = true;
    return Statement(this, found->second.statement, &found->second.inUse);
  }
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (rc != SQLITE_OK) RaiseSqliteError(db_, rc);
  if (found != cache_.end() || cache_.size() >= kCacheLimit) {
    return Statement(this, statement, nullptr);  // in use (nested) or cache full
  }
  auto added = cache_.emplace(std::string(sql), CacheEntry{statement, true}).first;
  return Statement(this, statement, &added->second.inUse);
}

Statement Session::PrepareFirst(std::string_view sql, std::string_view& tail) {
  if (server_) {
    const size_t length = FirstStatementLength(sql);
    const std::string_view first = sql.substr(0, length);
    tail = sql.substr(std::min(sql.size(), length + 1));
    if (first.find_first_not_of(" \t\r\n") == std::string_view::npos) {
      tail = {};
      return Statement(this, nullptr, nullptr);
    }
    return Prepare(first);
  }
  sqlite3_stmt* statement = nullptr;
  const char* rest = nullptr;
  const int rc =
      sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, &rest);
  if (rc != SQLITE_OK) RaiseSqliteError(db_, rc);
  tail = rest != nullptr ? sql.substr(rest - sql.data()) : std::string_view();
  return Statement(this, statement, nullptr);
}

void Session::Execute(std::string_view sql) {
  if (server_) {
    server_->Execute(sql);
    return;
  }
  // Statement by statement, so a write here begins an awaited transaction like any other.
  std::string_view rest = sql;
  while (!rest.empty()) {
    Statement statement = PrepareFirst(rest, rest);
    if (statement.Handle() == nullptr) break;  // only blanks or comments left
    statement.Run();
  }
}

void Session::BeforeFirstStep(sqlite3_stmt* statement) {
  // ROLLBACK TO undoes rows without a hook and without counting them as changes.
  if (StartsWith(sqlite3_sql(statement), "ROLLBACK")) ++rollbacksAndEnds_;
  if (!beginOnWrite_ && !readAttempt_) return;
  if (!Writes(statement)) return;
  if (readAttempt_) throw WriteLockNeeded{};
  if (!sqlite3_get_autocommit(db_)) return;  // a transaction is open: its owner decides
  Execute("BEGIN IMMEDIATE");
  beginOnWrite_ = false;
}

Session::MemoStamp Session::MemoStampNow() const {
  return {rollbacksAndEnds_, sqlite3_total_changes64(db_)};
}

bool Session::HoldsWriteLock() const {
  return !server_ && sqlite3_txn_state(db_, "main") == SQLITE_TXN_WRITE;
}

TransactionMemo& Session::Memo() {
  if (!HoldsWriteLock()) {
    memo_.Clear();
    memoOpen_ = false;
    return memo_;
  }
  const MemoStamp now = MemoStampNow();
  if (!memoOpen_ || now != memoStamp_) {
    memo_.Clear();
    memoStamp_ = now;
    memoOpen_ = true;
  }
  return memo_;
}

void Session::SealMemo() {
  if (!memoOpen_ || !HoldsWriteLock()) {
    // Kept outside the write lock, the answers may already be out of date.
    memo_.Clear();
    memoOpen_ = false;
    return;
  }
  memoStamp_ = MemoStampNow();
}

void Session::ExecuteSchema(std::string_view script) {
  if (!server_) {
    Execute(script);
    return;
  }
  server_->Execute(ServerSchemaPrologue());
  server_->Execute(ToServerSchema(script));
  server_->LoadSpellings();
}

void Session::EnsureEntryMonth(std::string_view isoTime) {
  if (server_) server_->EnsureEntryMonth(isoTime);
}

void Session::SetCheckpointPages(int pages) {
  if (server_) return;
  sqlite3_wal_autocheckpoint(db_, pages);
}

void Session::Checkpoint() {
  if (server_) return;
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

void Session::SetBusyTimeout(int milliseconds) {
  if (server_) return;  // the server's lock waits are its own setting
  sqlite3_busy_timeout(db_, milliseconds > 0 ? milliseconds : 24 * 3600 * 1000);
}

}  // namespace tamsel::platform::data
