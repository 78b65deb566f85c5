// The libpq connection behind a server session.
#include "platform/data/server_link.h"

#include <libpq-fe.h>

#include <regex>

#include "platform/data/provider_error.h"
#include "platform/data/sql_dialect.h"

namespace tamsel::platform::data {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

[[noreturn]] void RaiseNotFound() {
  RaiseProviderError(kProviderFail,
                     "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access "
                     "denied.");
}

[[noreturn]] void RaiseConnectFailure(const std::string& message, const ServerLogin& login) {
  if (message.find("authentication failed") != std::string::npos ||
      message.find("role \"") != std::string::npos ||
      message.find("no password supplied") != std::string::npos) {
    RaiseProviderError(kAuthFailed, "Login failed for user '" + login.user + "'.");
  }
  if (message.find("database \"") != std::string::npos &&
      message.find("does not exist") != std::string::npos) {
    RaiseProviderError(kProviderFail, "Cannot open database \"" + login.catalog +
                                          "\" requested by the login. The login failed.");
  }
  RaiseNotFound();
}

// "INSERT INTO Table ..." -> "table", when the statement inserts without returning anything.
std::string InsertTarget(std::string_view sql) {
  static const std::regex insert(R"(^\s*INSERT\s+(?:OR\s+IGNORE\s+)?INTO\s+(\w+))",
                                 std::regex::icase | std::regex::ECMAScript);
  std::match_results<std::string_view::const_iterator> match;
  if (!std::regex_search(sql.begin(), sql.end(), match, insert)) return {};
  if (Lower(sql).find("returning") != std::string::npos) return {};
  return Lower(match[1].str());
}

}  // namespace

std::string ServerLogin::Key() const {
  return "postgresql:" + target + "|" + Lower(catalog) + "|" + user;
}

ServerLink::ServerLink(const ServerLogin& login) {
  std::vector<const char*> keys{"dbname", "dbname", "client_encoding", "application_name"};
  std::vector<const char*> values{login.target.c_str(), login.catalog.c_str(), "UTF8", "tamsel"};
  if (!login.user.empty()) {
    keys.push_back("user");
    values.push_back(login.user.c_str());
    keys.push_back("password");
    values.push_back(login.password.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
  if (conn_ == nullptr) RaiseNotFound();
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn_);
    PQfinish(conn_);
    conn_ = nullptr;
    RaiseConnectFailure(message, login);
  }
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  LoadSpellings();
}

ServerLink::~ServerLink() {
  if (conn_ != nullptr) PQfinish(conn_);
}

void ServerLink::LoadSpellings() {
  spellings_.clear();
  prepared_.Clear();
  ResultPtr exists(PQexec(conn_,
                          "SELECT to_regclass('tamsel_names') IS NOT NULL, "
                          "to_regclass('tamsel_entry_days') IS NOT NULL"));
  Check(exists.get(), PGRES_TUPLES_OK);
  entryDaysCounted_ = std::string_view(PQgetvalue(exists.get(), 0, 1)) == "t";
  if (std::string_view(PQgetvalue(exists.get(), 0, 0)) != "t") return;
  ResultPtr names(PQexec(conn_, "SELECT lower_name, spelled FROM tamsel_names"));
  Check(names.get(), PGRES_TUPLES_OK);
  for (int i = 0; i < PQntuples(names.get()); ++i) {
    spellings_.emplace(PQgetvalue(names.get(), i, 0), PQgetvalue(names.get(), i, 1));
  }
}

std::string ServerLink::Spell(std::string_view serverName, std::string_view sql) const {
  // The statement's own spelling first (an alias, an expression's name), then the schema's.
  const std::string lower = Lower(serverName);
  const std::string text = Lower(sql);
  for (size_t at = text.find(lower); at != std::string::npos; at = text.find(lower, at + 1)) {
    const bool startOk =
        at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
    const size_t end = at + lower.size();
    const bool endOk = end >= text.size() ||
                       !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_');
    if (startOk && endOk) return std::string(sql.substr(at, lower.size()));
  }
  auto found = spellings_.find(lower);
  return found != spellings_.end() ? found->second : std::string(serverName);
}

std::shared_ptr<const ServerPrepared> ServerLink::Prepare(std::string_view sql) {
  if (auto found = prepared_.Find(sql)) return found;
  std::string text = ToServerStatement(sql);
  if (entryDaysCounted_) text = WithEntryDayCounts(text);
  ServerPrepared prepared;
  const std::string table = InsertTarget(text);
  if (!table.empty()) {
    auto key = spellings_.find("key:" + table);
    if (key != spellings_.end()) {
      text += " RETURNING " + key->second;
      prepared.returnsKey = true;
    }
  }
  prepared.name = "s" + std::to_string(++preparedCount_);
  ResultPtr made(PQprepare(conn_, prepared.name.c_str(), text.c_str(), 0, nullptr));
  Check(made.get(), PGRES_COMMAND_OK);
  ResultPtr described(PQdescribePrepared(conn_, prepared.name.c_str()));
  Check(described.get(), PGRES_COMMAND_OK);
  prepared.parameters = PQnparams(described.get());
  if (!prepared.returnsKey) {
    for (int i = 0; i < PQnfields(described.get()); ++i) {
      prepared.columns.push_back(Spell(PQfname(described.get(), i), sql));
      prepared.types.push_back(PQftype(described.get(), i));
    }
  }
  auto added = prepared_.Add(sql, std::move(prepared));
  DeallocateReleased();
  return added;
}

void ServerLink::DeallocateReleased() {
  const PGTransactionStatusType status = PQtransactionStatus(conn_);
  if (status != PQTRANS_IDLE && status != PQTRANS_INTRANS) return;
  std::string script;
  for (const std::string& name : prepared_.TakeReleased()) script += "DEALLOCATE " + name + ";";
  if (script.empty()) return;
  ResultPtr done(PQexec(conn_, script.c_str()));
  Check(done.get(), PGRES_COMMAND_OK);
}

ResultPtr ServerLink::Run(const ServerPrepared& prepared,
                          const std::vector<std::optional<std::string>>& values) {
  std::vector<const char*> pointers(prepared.parameters, nullptr);
  for (int i = 0; i < prepared.parameters && i < static_cast<int>(values.size()); ++i) {
    if (values[i]) pointers[i] = values[i]->c_str();
  }
  ResultPtr result(PQexecPrepared(conn_, prepared.name.c_str(), prepared.parameters,
                                  pointers.data(), nullptr, nullptr, 0));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) Raise(result.get());
  const char* tuples = PQcmdTuples(result.get());
  changes = tuples != nullptr && *tuples != '\0' ? std::atoi(tuples) : 0;
  if (prepared.returnsKey && PQntuples(result.get()) > 0) {
    lastInsertKey = std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
  }
  return result;
}

namespace {

std::string ServerScript(std::string_view sql) {
  std::string text;
  for (const std::string& statement : SplitStatements(sql)) {
    text += ToServerStatement(statement) + ";\n";
  }
  return text;
}

}  // namespace

void ServerLink::Execute(std::string_view sql) {
  const std::string text = ServerScript(sql);
  if (text.empty()) return;
  ResultPtr result(PQexec(conn_, text.c_str()));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) Raise(result.get());
}

void ServerLink::Send(std::string_view sql) {
  const std::string text = ServerScript(sql);
  if (PQsendQuery(conn_, text.empty() ? ";" : text.c_str()) != 1) Raise(nullptr);
}

void ServerLink::Receive() {
  // Every result is taken, so the link is free again even when a statement failed.
  ResultPtr failed;
  while (ResultPtr result{PQgetResult(conn_)}) {
    const ExecStatusType status = PQresultStatus(result.get());
    if (!failed && status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK &&
        status != PGRES_EMPTY_QUERY) {
      failed = std::move(result);
    }
  }
  if (failed || !Alive()) Raise(failed.get());
}

void ServerLink::CopyIn(std::string_view copy, std::string_view rows) {
  ResultPtr started(PQexec(conn_, std::string(copy).c_str()));
  if (!started || PQresultStatus(started.get()) != PGRES_COPY_IN) Raise(started.get());
  const bool sent = PQputCopyData(conn_, rows.data(), static_cast<int>(rows.size())) == 1;
  PQputCopyEnd(conn_, sent ? nullptr : "rows not sent");
  ResultPtr ended(PQgetResult(conn_));
  // The end of the command's results.
  while (ResultPtr more{PQgetResult(conn_)}) {
  }
  Check(ended.get(), PGRES_COMMAND_OK);
}

bool ServerLink::InTransaction() const {
  const PGTransactionStatusType status = PQtransactionStatus(conn_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

bool ServerLink::Alive() const { return PQstatus(conn_) == CONNECTION_OK; }

void ServerLink::EnsureEntryMonth(std::string_view isoTime) {
  if (isoTime.size() < 7) return;
  const std::string month(isoTime.substr(0, 7));
  if (months_.contains(month)) return;
  // Made on its own connection-level statement: inside the caller's transaction, so a
  // rollback also takes the partition back (and the next call makes it again).
  Execute(MonthPartitionStatement(isoTime));
  if (!InTransaction()) months_.insert(month);
}

void PGresultDeleter::operator()(PGresult* result) const { PQclear(result); }

void ServerLink::Check(const PGresult* result, int wanted) const {
  if (result == nullptr || PQresultStatus(result) != wanted) Raise(result);
}

void ServerLink::Raise(const PGresult* result) const {
  if (result == nullptr || PQstatus(conn_) != CONNECTION_OK) RaiseNotFound();
  const char* field = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  const std::string state = field != nullptr ? field : "";
  const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
  const std::string message = primary != nullptr ? primary : PQerrorMessage(conn_);
  if (state.starts_with("08") || state.starts_with("57P")) RaiseNotFound();
  if (state.starts_with("23"))
    RaiseProviderError(kIntegrityViolation, "Violation of constraint: " + message);
  if (state.starts_with("22")) RaiseProviderError(kCantConvertValue, message);
  if (state.starts_with("28")) RaiseProviderError(kAuthFailed, message);
  if (state == "40P01" || state == "55P03" || state == "57014" || state == "40001") {
    RaiseProviderError(kTimeoutExpired, "Timeout expired (" + message + ")");
  }
  static const std::regex quoted("\"([^\"]*)\"");
  std::smatch name;
  const bool named = std::regex_search(message, name, quoted);
  if (state == "42P01" && named) {
    RaiseProviderError(kNoTable, "Invalid object name '" + Spell(name[1].str(), "") + "'.");
  }
  if (state == "42703" && named) {
    RaiseProviderError(kErrorsInCommand, "Invalid column name '" + Spell(name[1].str(), "") + "'.");
  }
  RaiseProviderError(kErrorsInCommand, message);
}

}  // namespace tamsel::platform::data
