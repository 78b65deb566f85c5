// The conditions of a report filter as SQL text, written once for the key query (lead-in
// " WHERE ") and the alert SQL (empty lead-in, no time range).
//
//   ConditionBuilder where(" WHERE ");
//   AppendFilterConditions(where, filter, TimeRange::Include);
//   sql += where.Text();   // " WHERE " cond " AND " cond ..., or "" when nothing applies
//
// The values are inserted as they stand: check them first (CheckReportFilter).
#pragma once

#include <string>
#include <string_view>

#include "reports/browse/report_filter.h"

namespace tamsel::reports::browse {

// Joins conditions: lead-in before the first, " AND " before each later one.
class ConditionBuilder {
 public:
  explicit ConditionBuilder(std::string leadIn = {}) : leadIn_(std::move(leadIn)) {}

  void Append(std::string_view condition);
  const std::string& Text() const { return text_; }
  bool HasConditions() const { return appended_; }

 private:
  std::string leadIn_;
  std::string separator_;
  std::string text_;
  bool appended_ = false;
};

enum class TimeRange { Include, Omit };

// Appends, in this order, the conditions of the filter's non-empty attributes:
// ServerLogTypeFilter itself; " TimeGenerated BETWEEN 'start' AND 'end'" (with Include and a
// StartDate); " ELSourceID IN(...)"; " EventTypeID IN(...)"; " EventID IN(...)" or
// " EventID NOT IN(...)" when EventIDExclude is exactly "exclude"; " EventCategoryID IN(...)".
void AppendFilterConditions(ConditionBuilder& builder, const ReportFilter& filter,
                            TimeRange timeRange);

}  // namespace tamsel::reports::browse
