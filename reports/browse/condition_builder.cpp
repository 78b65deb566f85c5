// The condition texts of a report filter, joined in their fixed order.
#include "reports/browse/condition_builder.h"

namespace tamsel::reports::browse {

void ConditionBuilder::Append(std::string_view condition) {
  text_ += leadIn_;
  text_ += separator_;
  text_ += condition;
  leadIn_.clear();
  separator_ = " AND ";
  appended_ = true;
}

void AppendFilterConditions(ConditionBuilder& builder, const ReportFilter& filter,
                            TimeRange timeRange) {
  if (!filter.serverLogTypeFilter.empty()) builder.Append(filter.serverLogTypeFilter);
  if (timeRange == TimeRange::Include && !filter.startDate.empty()) {
    builder.Append(" TimeGenerated BETWEEN '" + filter.startDate + "' AND '" + filter.endDate +
                   "'");
  }
  if (!filter.elSource.empty()) builder.Append(" ELSourceID IN(" + filter.elSource + ")");
  if (!filter.eventType.empty()) builder.Append(" EventTypeID IN(" + filter.eventType + ")");
  if (!filter.eventId.empty()) {
    const char* head = filter.eventIdExclude == "exclude" ? " EventID NOT IN(" : " EventID IN(";
    builder.Append(head + filter.eventId + ")");
  }
  if (!filter.eventCategory.empty()) {
    builder.Append(" EventCategoryID IN(" + filter.eventCategory + ")");
  }
}

}  // namespace tamsel::reports::browse
