// The log browser's filter as the page's GET form carries it (so every view is a link), and
// what the component is given for it: the report filter document, whose values the web
// application builds only from numbers and dates it has checked itself, the page request, and
// the alert metadata.
//
// Query parameters (all optional):
//   server=ID  log=ID            a server, a log type, or a log of a server (the tree's nodes)
//   range=1h|24h|7d|custom       time range; custom reads from= and to= (yyyy-mm-dd, or
//                                yyyy-mm-ddThh:mm); no range means all times
//   type=ID  source=ID  category=ID    event types, sources, categories; repeatable
//   eventid=100,101  eventidmode=include|exclude
//   sort=COLUMN  order=asc|desc  page=N  size=10|25|50|100|200  live=1
// Links made from report-filter attributes (the alert mails' links) are read too:
// EventType, ELSource, EventCategory, EventID, EventIDExclude, StartDate, EndDate, SortBy,
// SortOrder, and ServerLogTypeFilter when it is one of the forms this filter writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tamsel::web {

using QueryParams = std::multimap<std::string, std::string>;

struct LogFilter {
  std::int32_t server = 0;  // 0: every server
  std::int32_t log = 0;     // 0: every log
  std::string range;        // "", "1h", "24h", "7d" or "custom"
  std::string from, to;     // the custom range as the form sent it
  std::vector<std::int32_t> types, sources, categories;
  std::vector<std::int32_t> eventIds;
  bool excludeEventIds = false;
  std::string sort = "TimeGenerated";
  bool descending = true;
  std::int32_t page = 1;
  std::int32_t size = 50;
  bool live = false;
  // What the form held that could not be used, in the user's terms.
  std::vector<std::string> problems;

  static LogFilter Parse(const QueryParams& params);

  // The report filter document for SqlQueryGenerate; times relative to `now` (local time).
  std::string ReportFilterXml(std::chrono::system_clock::time_point now) const;
  // The page request for LogEntryPageIdsGetFromDB.
  std::string PageRequestXml(std::int32_t pageLinks = 10) const;
  // The alert metadata: the fields SqlForAlertGenerate reads, plus the whole query.
  std::string AlertMetadata() const;
  // The filter as a query string without page (and, with `withPaging`, with page and size),
  // in a fixed order, so equal filters give equal links.
  std::string Query(bool withPage = false) const;
  // The same with another page.
  std::string QueryForPage(std::int32_t page) const;

  // The server-and-log fragment ("" for every log of every server).
  std::string ServerLogTypeFilter() const;

 private:
  void ReadReportFilterNames(const QueryParams& params);
};

// The query kept in alert metadata by AlertMetadata(), or "" when there is none.
std::string QueryFromAlertMetadata(const std::string& metadata);

// The sort columns the form offers: column name and label.
const std::vector<std::pair<std::string, std::string>>& SortColumns();
const std::vector<std::int32_t>& PageSizes();

// "yyyy-mm-dd", "yyyy-mm-ddThh:mm[:ss]" or "yyyy-mm-dd hh:mm[:ss]" as "yyyy-mm-dd hh:mm:ss";
// a date alone takes `endOfDay` 23:59:59 or else 00:00:00. Empty for anything else.
std::string IsoDateTime(const std::string& text, bool endOfDay);

// Percent-encoding of one query component.
std::string UrlEncode(const std::string& text);

}  // namespace tamsel::web
