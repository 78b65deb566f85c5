// The safe filter language: the forms every report-filter value must have before any SQL is
// built from it, checked by parsing. Pages send SQL fragments (a server-and-log expression,
// identifier lists, dates, a sort column); a value outside its form is refused, so no text a
// page sends can reach the database as anything but what its attribute means.
//
//   SortBy               a column of LogEntry (any case)
//   SortOrder            empty, ASC or DESC (any case)
//   ServerLogTypeFilter  boolean expression over ELServerID and LogTypeID: integer literals,
//                        = <> != < > <= >=, [NOT] IN (list), NOT, AND, OR, parentheses
//   ELSource, EventType, EventCategory
//                        comma-separated non-negative integers
//   EventID              comma-separated integers, negative ones allowed
//   StartDate, EndDate   a date: ISO "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss" stays as written;
//                        any other date the local machine's regional settings read (for
//                        example "1/31/2003 2:30 PM") becomes ISO; anything else is refused
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

bool IsLogEntryColumn(std::string_view name);
bool IsSortOrder(std::string_view text);
bool IsServerLogTypeFilter(std::string_view text);
bool IsIdList(std::string_view text, IdSign sign = IdSign::NonNegative);

// The date as the query compares it (ISO text), or nothing when `text` is not a date.
std::optional<std::string> QueryDate(std::string_view text);
// A date literal as generated key queries hold it: "", "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss".
bool IsIsoQueryDate(std::string_view text);

// Which attributes a use of the filter inserts into SQL.
enum class FilterUse {
  KeyQuery,    // the key query: sort, time range and conditions
  Conditions,  // the conditions alone (alert SQL): no sort, no time range
};

// Checks every attribute that `use` inserts into SQL, in the order the text is built, and
// turns dates into their ISO form in place. Returns the name of the first refused attribute,
// nothing when the filter is sound. Absent (empty) condition attributes are not checked; the
// key query requires SortBy. EndDate is read only when StartDate is set, and may be empty.
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

// "(" integer ("," integer)* ")"
bool ParseIdListInParentheses(TokenCursor& cursor, IdSign sign);

}  // namespace tamsel::reports::browse
