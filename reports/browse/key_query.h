// The key query: the SELECT over LogEntry that lists the keys a report filter selects, in its
// sort order. Built from a checked filter, and parsed back when a page hands it in, so only
// a text of exactly this form is ever run:
//
//   SELECT LEID,<column> FROM LogEntry[ WHERE <conditions>] ORDER BY <column> [ASC|DESC]
//
// where the conditions are, joined by AND and in this order, each at most once: a
// server-and-log expression, TimeGenerated BETWEEN '<date>' AND '<date>', ELSourceID IN(...),
// EventTypeID IN(...), EventID [NOT] IN(...), EventCategoryID IN(...). Blanks between tokens,
// the case of keywords and column names, brackets around names and the form of the dates
// (date_literal.h) are free; the query runs with its dates in the stored form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reports/browse/report_filter.h"

namespace tamsel::reports::browse {

// The key query of a checked filter (CheckReportFilter with FilterUse::KeyQuery).
std::string KeyQueryText(const ReportFilter& filter);

struct KeyQuery {
  std::string sortBy;     // as written in the ORDER BY clause
  std::string sortOrder;  // "ASC", "DESC" as written, or ""
  std::string where;      // the text between "FROM LogEntry" and "ORDER BY", as it runs
  std::string text;       // the whole query as it runs
};

// The parts of a key query, or nothing when `sql` is not one.
std::optional<KeyQuery> ParseKeyQuery(std::string_view sql);

// True when `sql` is an alert condition as SqlForAlertGenerate writes it: the key query's
// conditions without the time range and without WHERE, or nothing at all.
bool IsAlertCondition(std::string_view sql);

// "SELECT COUNT(*) FROM LogEntry" + the key query's conditions.
std::string CountQueryText(const KeyQuery& query);
// The key query limited to `count` rows after the first `offset`.
std::string PageQueryText(std::string_view sql, std::int64_t offset, std::int64_t count);

}  // namespace tamsel::reports::browse
