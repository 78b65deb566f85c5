// Provider and ADO errors, and the translation of SQLite's failures into the numbers and
// texts a SQL Server client sees for the same failure.
#include "platform/data/provider_error.h"

#include <sqlite3.h>

namespace tamsel::platform::data {
namespace {

std::string AdoText(HRESULT hr) {
  switch (hr) {
    case kObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case kObjectOpen:
      return "Operation is not allowed when the object is open.";
    case kProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case kItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    default:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
  }
}

// The part of SQLite's message after `prefix`, e.g. the table of "no such table: x".
std::string After(const std::string& message, std::string_view prefix) {
  const size_t at = message.find(prefix);
  return at == std::string::npos ? message : message.substr(at + prefix.size());
}

}  // namespace

void RaiseProviderError(HRESULT hr, std::string description) {
  throw com::ComError(hr, std::string(kProviderSource), std::move(description));
}

void RaiseAdoError(HRESULT hr) { throw com::ComError(hr, std::string(kAdoSource), AdoText(hr)); }

void RaiseSqliteError(sqlite3* db, int resultCode) {
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
  switch (resultCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      RaiseProviderError(kTimeoutExpired,
                         "Timeout expired (the database is locked by another "
                         "connection)");
    case SQLITE_CONSTRAINT:
      RaiseProviderError(kIntegrityViolation, "Violation of constraint: " + message);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      RaiseProviderError(kProviderFail,
                         "The database file is corrupt or is not a database (" + message + ")");
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_PERM:
      RaiseProviderError(kProviderFail, "The database file cannot be used: " + message);
    default:
      break;
  }
  if (message.starts_with("no such table: ")) {
    RaiseProviderError(kNoTable,
                       "Invalid object name '" + After(message, "no such table: ") + "'.");
  }
  if (message.starts_with("no such column: ")) {
    RaiseProviderError(kErrorsInCommand,
                       "Invalid column name '" + After(message, "no such column: ") + "'.");
  }
  // 'near "X": syntax error' -> SQL Server's "Incorrect syntax near 'X'."
  const size_t near = message.find("near \"");
  const size_t close = near == std::string::npos ? near : message.find("\": syntax error", near);
  if (close != std::string::npos) {
    RaiseProviderError(kErrorsInCommand, "Incorrect syntax near '" +
                                             message.substr(near + 6, close - near - 6) + "'.");
  }
  RaiseProviderError(kErrorsInCommand, message);
}

}  // namespace tamsel::platform::data
