// The SQL Server constructs of the system's texts that SQLite does not read, or reads
// otherwise: select items written "alias = expression", and "BEGIN TRANSACTION", which on
// the server waits for locks as it goes. Everything else passes through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace tamsel::platform::data {

// "SELECT ELServerID = ELServerID, x FROM t" -> "SELECT ELServerID AS ELServerID, x FROM t".
// Only the select list of a statement that begins with SELECT is touched; comparisons in
// WHERE clauses, quoted text and nested parentheses are left alone.
// "BEGIN TRAN[SACTION]" -> "BEGIN IMMEDIATE TRANSACTION": the transaction takes the write lock
// when it begins, waiting for another writer within the busy timeout.
std::string TranslateSql(std::string_view sql);

}  // namespace tamsel::platform::data
