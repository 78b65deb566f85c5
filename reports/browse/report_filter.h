// The report filter: the attribute set a page sends to describe a selection of log entries,
// read from the root element of its XML document.
#pragma once

#include <string>

#include "platform/xml/dom.h"

namespace tamsel::reports::browse {

// Attribute names, matched exactly (case matters).
inline constexpr const char* kSortBy = "SortBy";
inline constexpr const char* kSortOrder = "SortOrder";
inline constexpr const char* kServerLogTypeFilter = "ServerLogTypeFilter";
inline constexpr const char* kStartDate = "StartDate";
inline constexpr const char* kEndDate = "EndDate";
inline constexpr const char* kELSource = "ELSource";
inline constexpr const char* kEventType = "EventType";
inline constexpr const char* kEventID = "EventID";
inline constexpr const char* kEventIDExclude = "EventIDExclude";
inline constexpr const char* kEventCategory = "EventCategory";

// The attribute values as text; an absent attribute reads as the empty string, which sets no
// condition.
struct ReportFilter {
  std::string sortBy;
  std::string sortOrder;
  std::string serverLogTypeFilter;
  std::string startDate;
  std::string endDate;
  std::string elSource;
  std::string eventType;
  std::string eventId;
  std::string eventIdExclude;
  std::string eventCategory;

  // Reads every attribute from `root`. A Nothing root (text that did not parse) raises 91.
  static ReportFilter Read(const platform::xml::Element& root);
};

}  // namespace tamsel::reports::browse
