// The one SQL Server construct of the system's texts that SQLite does not read: select items
// written "alias = expression". Everything else passes through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace tamsel::platform::data {

// "SELECT ELServerID = ELServerID, x FROM t" -> "SELECT ELServerID AS ELServerID, x FROM t".
// Only the select list of a statement that begins with SELECT is touched; comparisons in
// WHERE clauses, quoted text and nested parentheses are left alone.
std::string TranslateSql(std::string_view sql);

}  // namespace tamsel::platform::data
