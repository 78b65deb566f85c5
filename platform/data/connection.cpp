// Opening a connection on the embedded provider: provider check, authentication forms,
// data-source resolution, pooling or enlistment in the thread's transaction.
#include "platform/data/connection.h"

#include "platform/data/command.h"
#include "platform/data/connection_string.h"
#include "platform/data/data_source.h"
#include "platform/data/provider_error.h"
#include "platform/data/transaction_scope.h"
#include "platform/network/network.h"

namespace tamsel::platform::data {
namespace {

// The SQL Server providers a connection string may name; all reach the embedded engine.
bool KnownProvider(std::string_view provider) {
  std::string lower = network::ToLower(provider);
  if (lower.empty()) return true;
  for (std::string_view known : {"sqloledb", "sqlncli", "msoledbsql", "tamsel.sqlite"}) {
    if (lower.starts_with(known)) return true;
  }
  return false;
}

}  // namespace

struct Connection::Impl {
  std::string connectionString;
  long connectionTimeout = 15;
  long commandTimeout = 30;
  SessionHandle session;
};

Connection::Connection() : impl_(std::make_shared<Impl>()) {}

const std::string& Connection::ConnectionString() const { return impl_->connectionString; }

void Connection::SetConnectionString(std::string text) {
  if (impl_->session) RaiseAdoError(kObjectOpen);
  impl_->connectionString = std::move(text);
}

long Connection::ConnectionTimeout() const { return impl_->connectionTimeout; }
void Connection::SetConnectionTimeout(long seconds) { impl_->connectionTimeout = seconds; }
long Connection::CommandTimeout() const { return impl_->commandTimeout; }
void Connection::SetCommandTimeout(long seconds) { impl_->commandTimeout = seconds; }

void Connection::Open(std::string_view connectionString, std::string_view userId,
                      std::string_view password, long options) {
  if (impl_->session) RaiseAdoError(kObjectOpen);
  if (!connectionString.empty()) impl_->connectionString = std::string(connectionString);
  ConnectionSettings settings = ConnectionString::Parse(impl_->connectionString).Settings();
  if (!KnownProvider(settings.provider)) RaiseAdoError(kProviderNotFound);
  if (!userId.empty()) settings.userId = std::string(userId);
  if (!password.empty()) settings.password = std::string(password);
  // Windows authentication or a SQL Server login; the embedded engine trusts both, but a
  // string that names neither has no login to speak of.
  if (!settings.trusted && !settings.userId) {
    RaiseProviderError(kAuthFailed, "Login failed for user ''.");
  }
  const std::string catalog = settings.initialCatalog.empty() ? "master" : settings.initialCatalog;
  TransactionScope* scope = TransactionScope::Current();
  if (auto target = ServerAliasTarget(settings.dataSource)) {
    // Windows authentication is the operating-system user (peer or trust on the server);
    // a SQL Server login passes its user and password on.
    ServerLogin login{*target, catalog, settings.trusted ? "" : settings.userId.value_or(""),
                      settings.trusted ? "" : settings.password};
    impl_->session =
        scope != nullptr ? scope->Enlist(login) : SessionPool::Instance().Acquire(login);
    return;
  }
  const std::filesystem::path file = CatalogFile(DataFolder(settings.dataSource), catalog);
  if (!std::filesystem::exists(file)) {
    RaiseProviderError(kProviderFail, "Cannot open database \"" + catalog +
                                          "\" requested by the login. The login failed.");
  }
  impl_->session = scope != nullptr ? scope->Enlist(file) : SessionPool::Instance().Acquire(file);
}

void Connection::Close() {
  if (!impl_->session) RaiseAdoError(kObjectClosed);
  impl_->session.reset();
}

long Connection::State() const { return impl_->session ? adStateOpen : adStateClosed; }

bool Connection::Lost() const {
  return impl_->session && impl_->session->Server() != nullptr &&
         !impl_->session->Server()->Alive();
}

Recordset Connection::Execute(std::string_view commandText, long options) {
  Command command;
  command.SetActiveConnection(*this);
  command.SetCommandText(std::string(commandText));
  command.SetCommandType(adCmdText);
  return command.Execute(options);
}

Session& Connection::GetSession() const {
  if (!impl_->session) RaiseAdoError(kObjectClosed);
  return *impl_->session;
}

const std::filesystem::path& Connection::File() const { return GetSession().File(); }

}  // namespace tamsel::platform::data
