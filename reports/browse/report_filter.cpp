// Reading the report filter's attributes from its document element.
#include "reports/browse/report_filter.h"

namespace tamsel::reports::browse {
namespace {

std::string AttributeText(const platform::xml::Element& root, const char* name) {
  platform::com::Variant value = root.GetAttribute(name);
  return value.IsNull() ? std::string() : value.CStr();
}

}  // namespace

ReportFilter ReportFilter::Read(const platform::xml::Element& root) {
  ReportFilter filter;
  filter.sortBy = AttributeText(root, kSortBy);
  filter.sortOrder = AttributeText(root, kSortOrder);
  filter.serverLogTypeFilter = AttributeText(root, kServerLogTypeFilter);
  filter.startDate = AttributeText(root, kStartDate);
  filter.endDate = AttributeText(root, kEndDate);
  filter.elSource = AttributeText(root, kELSource);
  filter.eventType = AttributeText(root, kEventType);
  filter.eventId = AttributeText(root, kEventID);
  filter.eventIdExclude = AttributeText(root, kEventIDExclude);
  filter.eventCategory = AttributeText(root, kEventCategory);
  return filter;
}

}  // namespace tamsel::reports::browse
