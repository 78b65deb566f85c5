// The safe filter language: the forms every report-filter value must have before any SQL is
// built from it, checked by parsing. Pages send SQL fragments (a server-and-log expression,
// identifier lists, dates, a sort column); a value outside its form is refused, so no text a
// page sends can reach the database as anything but what its attribute means. Within those
// forms, what the database itself accepts is accepted too: blanks, names in brackets.
//
//   SortBy               a column of LogEntry (any case, may stand in brackets)
//   SortOrder            empty, ASC or DESC (any case)
//   ServerLogTypeFilter  boolean expression over ELServerID and LogTypeID: integer literals
//                        (bare or quoted), = <> != < > <= >=, [NOT] IN (list),
//                        [NOT] BETWEEN .. AND .., NOT, AND, OR, parentheses
//   ELSource, EventType, EventCategory
//                        comma-separated non-negative integers
//   EventID              comma-separated integers, negative ones allowed
//   StartDate, EndDate   a date in any form the database reads (date_literal.h), which
//                        becomes the stored form "yyyy-mm-dd hh:mm:ss"; anything else is refused
//
// A refusal is error 5 ("Invalid procedure call or argument") naming the attribute.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "reports/browse/filter_tokens.h"
#include "reports/browse/report_filter.h"

namespace tamsel::reports::browse {

enum class IdSign { NonNegative, Any };

// Whether integer operands may be written in quotes, as the database converts them.
enum class Quoting { Bare, Allowed };

bool IsLogEntryColumn(std::string_view name);
// A LogEntry column with blanks around it and in brackets or not.
bool IsSortColumn(std::string_view text);
bool IsSortOrder(std::string_view text);
bool IsServerLogTypeFilter(std::string_view text);
// The expression as it runs (quoted integers bare), or nothing when it is refused.
std::optional<std::string> ServerLogTypeFilterText(std::string_view text);
bool IsIdList(std::string_view text, IdSign sign = IdSign::NonNegative);

// Which attributes a use of the filter inserts into SQL.
enum class FilterUse {
  KeyQuery,    // the key query: sort, time range and conditions
  Conditions,  // the conditions alone (alert SQL): no sort, no time range
};

// Checks every attribute that `use` inserts into SQL, in the order the text is built, and
// writes them in place as they run: dates in their stored form, the sort without blanks
// around it, quoted integers of the server-and-log expression bare. Returns the name of the first
// refused attribute, nothing when the filter is sound. Absent (empty) condition attributes are not
// checked; the key query requires SortBy. EndDate is read only when StartDate is set, and may be
// empty.
std::optional<std::string> CheckReportFilter(ReportFilter& filter, FilterUse use);

// Raises error 5 with the description "Invalid procedure call or argument: " + attribute.
[[noreturn]] void RefuseArgument(std::string_view attribute);

// --- Grammar pieces shared with the key query parser ---

// Columns of a filter condition other than the server-and-log expression.
bool IsConditionColumn(const TokenCursor& cursor);

// Parses a server-and-log expression at the cursor. Stops before an AND that is followed by
// a condition column (the key query's next condition), so it can sit at the head of a WHERE
// clause.
bool ParseServerLogTypeExpression(TokenCursor& cursor);

// "(" integer ("," integer)* ")"; quoted integers are recorded as rewrites on the cursor.
bool ParseIdListInParentheses(TokenCursor& cursor, IdSign sign, Quoting quoting = Quoting::Bare);

}  // namespace tamsel::reports::browse
