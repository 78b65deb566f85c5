// ADO's Connection: a connection string, Open/Close/State, Execute of SQL text. Copies share
// one connection, as references to one COM object do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/data/ado_constants.h"
#include "platform/data/recordset.h"
#include "platform/data/session_pool.h"

namespace tamsel::platform::data {

class Connection {
 public:
  Connection();

  const std::string& ConnectionString() const;
  // Raises "object open" while open.
  void SetConnectionString(std::string text);
  long ConnectionTimeout() const;
  void SetConnectionTimeout(long seconds);
  long CommandTimeout() const;
  void SetCommandTimeout(long seconds);

  // Opens with the given string (or the stored one). User id and password given here
  // override the string's. Inside a TransactionScope the connection joins its transaction.
  // Raises the provider's errors: provider not found, server not found, login failed,
  // unknown catalog (the database file does not exist; opening never creates one).
  void Open(std::string_view connectionString = {}, std::string_view userId = {},
            std::string_view password = {}, long options = adConnectUnspecified);
  void Close();  // raises "object closed" when not open
  long State() const;
  // True when the server dropped the open connection (never on the embedded engine): every
  // later call on it fails, and only a new open can reach the database again.
  bool Lost() const;

  // Runs SQL text (command type 1), as Connection.Execute does.
  Recordset Execute(std::string_view commandText, long options = adOptionUnspecified);

  // The physical session of an open connection (raises "object closed" otherwise).
  Session& GetSession() const;
  // The database file of an open connection.
  const std::filesystem::path& File() const;

  bool SameAs(const Connection& other) const { return impl_ == other.impl_; }

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace tamsel::platform::data
