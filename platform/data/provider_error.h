// The HRESULTs the data layer raises, numbered as ADO and the SQL Server OLE DB provider
// number the same failures, and the mapping of SQLite failures onto them.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/com_error.h"

struct sqlite3;

namespace tamsel::platform::data {

using com::HRESULT;

// Failure                                         HRESULT      origin
// syntax error, unknown column or procedure,      0x80040E14   DB_E_ERRORSINCOMMAND
//   too many arguments, other command errors
// invalid object name (unknown table or view)     0x80040E37   DB_E_NOTABLE
// procedure parameter not supplied                0x80040E10   DB_E_PARAMNOTOPTIONAL
// login failed                                    0x80040E4D   DB_SEC_E_AUTH_FAILED
// server not found, unknown catalog, file         0x80004005   E_FAIL ([DBNETLIB] and
//   unreadable or corrupt                                       login-time errors)
// value cannot be converted to the parameter's    0x80040E07   DB_E_CANTCONVERTVALUE
//   type (also a number outside its range)
// unique key or other constraint violated         0x80040E2F   DB_E_INTEGRITYVIOLATION
// lock not granted within the timeout             0x80040E31   DB_E_ABORTLIMITREACHED
// transaction doomed by an abort vote             0x8004E002   CONTEXT_E_ABORTED
// object closed / object open                     0x800A0E78 / 0x800A0E79  ADO 3704 / 3705
// provider cannot be found                        0x800A0E7A   ADO 3706
// item not in collection                          0x800A0CC1   ADO 3265
// no current record (BOF or EOF)                  0x800A0BCD   ADO 3021
// argument of wrong type or out of range          0x800A0BB9   ADO 3001
inline constexpr HRESULT kErrorsInCommand = static_cast<HRESULT>(0x80040E14u);
inline constexpr HRESULT kNoTable = static_cast<HRESULT>(0x80040E37u);
inline constexpr HRESULT kParamNotOptional = static_cast<HRESULT>(0x80040E10u);
inline constexpr HRESULT kAuthFailed = static_cast<HRESULT>(0x80040E4Du);
inline constexpr HRESULT kProviderFail = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kCantConvertValue = static_cast<HRESULT>(0x80040E07u);
inline constexpr HRESULT kIntegrityViolation = static_cast<HRESULT>(0x80040E2Fu);
inline constexpr HRESULT kTimeoutExpired = static_cast<HRESULT>(0x80040E31u);
inline constexpr HRESULT kContextAborted = static_cast<HRESULT>(0x8004E002u);
inline constexpr HRESULT kObjectClosed = static_cast<HRESULT>(0x800A0E78u);
inline constexpr HRESULT kObjectOpen = static_cast<HRESULT>(0x800A0E79u);
inline constexpr HRESULT kProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);
inline constexpr HRESULT kItemNotFound = static_cast<HRESULT>(0x800A0CC1u);
inline constexpr HRESULT kNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);
inline constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x800A0BB9u);

inline constexpr std::string_view kProviderSource = "Microsoft OLE DB Provider for SQL Server";
inline constexpr std::string_view kAdoSource = "ADODB";

// Raises the provider's error.
[[noreturn]] void RaiseProviderError(HRESULT hr, std::string description);
// Raises one of ADO's own errors (closed object, missing item, ...) with ADO's text.
[[noreturn]] void RaiseAdoError(HRESULT hr);
// Raises the provider error that matches a failed SQLite call on `db`.
[[noreturn]] void RaiseSqliteError(sqlite3* db, int resultCode);

}  // namespace tamsel::platform::data
