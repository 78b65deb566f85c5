// The log browser's filter: form parameters in, component documents and links out.
#include "web/log_filter.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <pugixml.hpp>
#include <sstream>

namespace tamsel::web {

namespace {

// Far enough ahead that "up to now" also covers clocks of monitored servers that run ahead.
constexpr const char* kEndOfTime = "9999-12-31 23:59:59";
constexpr const char* kStartOfTime = "1900-01-01 00:00:00";

bool ParseInt(std::string_view text, std::int32_t& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::int32_t> Ids(const QueryParams& params, const std::string& name,
                              std::vector<std::string>& problems) {
  std::vector<std::int32_t> ids;
  auto [first, last] = params.equal_range(name);
  for (auto it = first; it != last; ++it) {
    std::int32_t id = 0;
    if (it->second.empty()) continue;
    if (ParseInt(it->second, id) && id >= 0) {
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    } else {
      problems.push_back("Ignored " + name + " \"" + it->second + "\": not an identifier.");
    }
  }
  return ids;
}

std::string One(const QueryParams& params, const std::string& name) {
  auto it = params.find(name);
  return it == params.end() ? std::string() : it->second;
}

std::string Join(const std::vector<std::int32_t>& ids, const char* separator = ",") {
  std::string text;
  for (std::int32_t id : ids) {
    if (!text.empty()) text += separator;
    text += std::to_string(id);
  }
  return text;
}

std::string LocalIso(std::chrono::system_clock::time_point when) {
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

void AddInput(pugi::xml_node root, const char* name, const std::string& value) {
  pugi::xml_node input = root.append_child("INPUT");
  input.append_attribute("name") = name;
  input.append_attribute("value") = value.c_str();
}

std::string XmlText(const pugi::xml_document& document, bool wholeDocument = true) {
  std::ostringstream out;
  if (wholeDocument) {
    document.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  } else {
    for (pugi::xml_node child : document.first_child().children()) {
      child.print(out, "", pugi::format_raw);
    }
  }
  return out.str();
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& SortColumns() {
  static const std::vector<std::pair<std::string, std::string>> columns = {
      {"TimeGenerated", "Time generated"},
      {"EventID", "Event ID"},
      {"EventTypeID", "Type"},
      {"ELSourceID", "Source"},
      {"EventCategoryID", "Category"},
      {"ELServerID", "Server"},
      {"LogTypeID", "Log"},
      {"RecordNumber", "Record number"},
      {"ELUserID", "User"},
      {"CreatedAt", "Stored at"},
      {"LEID", "Entry key"}};
  return columns;
}

const std::vector<std::int32_t>& PageSizes() {
  static const std::vector<std::int32_t> sizes = {10, 25, 50, 100, 200};
  return sizes;
}

std::string UrlEncode(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string IsoDateTime(const std::string& text, bool endOfDay) {
  int year, month, day, hour = endOfDay ? 23 : 0, minute = endOfDay ? 59 : 0,
                        second = endOfDay ? 59 : 0;
  if (!Digits(text, 0, 4, year) || text.size() < 10 || text[4] != '-' || text[7] != '-' ||
      !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)) {
    return {};
  }
  if (text.size() > 10) {
    if ((text[10] != 'T' && text[10] != ' ') || text.size() < 16 || text[13] != ':' ||
        !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute)) {
      return {};
    }
    second = 0;
    if (text.size() != 16 &&
        (text.size() != 19 || text[16] != ':' || !Digits(text, 17, 2, second))) {
      return {};
    }
  }
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > days[month - 1] || hour > 23 ||
      minute > 59 || second > 59) {
    return {};
  }
  char out[64];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return out;
}

LogFilter LogFilter::Parse(const QueryParams& params) {
  LogFilter filter;
  auto number = [&](const std::string& name, std::int32_t& target, std::int32_t lowest) {
    const std::string text = One(params, name);
    if (text.empty()) return;
    std::int32_t value = 0;
    if (ParseInt(text, value) && value >= lowest) {
      target = value;
    } else {
      filter.problems.push_back("Ignored " + name + " \"" + text + "\".");
    }
  };
  number("server", filter.server, 0);
  number("log", filter.log, 0);
  number("page", filter.page, 1);
  std::int32_t size = filter.size;
  number("size", size, 1);
  if (std::find(PageSizes().begin(), PageSizes().end(), size) != PageSizes().end()) {
    filter.size = size;
  }
  const std::string range = One(params, "range");
  if (range == "1h" || range == "24h" || range == "7d" || range == "custom") filter.range = range;
  if (filter.range == "custom") {
    filter.from = One(params, "from");
    filter.to = One(params, "to");
    if (!filter.from.empty() && IsoDateTime(filter.from, false).empty()) {
      filter.problems.push_back("Ignored the start \"" + filter.from + "\": not a date.");
      filter.from.clear();
    }
    if (!filter.to.empty() && IsoDateTime(filter.to, true).empty()) {
      filter.problems.push_back("Ignored the end \"" + filter.to + "\": not a date.");
      filter.to.clear();
    }
  }
  filter.types = Ids(params, "type", filter.problems);
  filter.sources = Ids(params, "source", filter.problems);
  filter.categories = Ids(params, "category", filter.problems);
  const std::string eventIds = One(params, "eventid");
  std::string item;
  std::istringstream list(eventIds);
  while (std::getline(list, item, ',')) {
    if (item.find_first_not_of(' ') == std::string::npos) continue;
    std::int32_t id = 0;
    if (ParseInt(item, id) && id >= -32768 && id <= 65535) {
      filter.eventIds.push_back(id);
    } else {
      filter.problems.push_back("Ignored event id \"" + item + "\": not a number.");
    }
  }
  filter.excludeEventIds = One(params, "eventidmode") == "exclude";
  const std::string sort = One(params, "sort");
  for (const auto& [column, label] : SortColumns()) {
    if (column == sort) filter.sort = column;
  }
  const std::string order = One(params, "order");
  if (order == "asc") filter.descending = false;
  filter.live = One(params, "live") == "1";
  filter.ReadReportFilterNames(params);
  return filter;
}

namespace {

// "1,2,3" as identifiers; false when any item is not one.
bool IdList(const std::string& text, std::vector<std::int32_t>& ids, bool allowNegative) {
  std::vector<std::int32_t> parsed;
  std::istringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    std::int32_t id = 0;
    if (!ParseInt(item, id) || (!allowNegative && id < 0)) return false;
    parsed.push_back(id);
  }
  ids = std::move(parsed);
  return true;
}

// The server-and-log conditions the web application itself writes; nothing else is read.
bool ServerAndLog(std::string text, std::int32_t& server, std::int32_t& log) {
  std::erase(text, ' ');
  if (text.size() > 1 && text.front() == '(' && text.back() == ')') {
    text = text.substr(1, text.size() - 2);
  }
  std::int32_t s = 0, l = 0;
  const std::string serverKey = "ELServerID=", logKey = "LogTypeID=", joint = "AND";
  std::size_t and_ = text.find(joint);
  std::string first = and_ == std::string::npos ? text : text.substr(0, and_);
  std::string second = and_ == std::string::npos ? "" : text.substr(and_ + joint.size());
  auto read = [](const std::string& part, const std::string& key, std::int32_t& value) {
    return part.rfind(key, 0) == 0 && ParseInt(part.substr(key.size()), value) && value > 0;
  };
  if (second.empty()) {
    if (read(first, serverKey, s) || read(first, logKey, l)) {
      server = s;
      log = l;
      return true;
    }
    return false;
  }
  if (!read(first, serverKey, s) || !read(second, logKey, l)) return false;
  server = s;
  log = l;
  return true;
}

}  // namespace

void LogFilter::ReadReportFilterNames(const QueryParams& params) {
  auto text = [&](const char* name) { return One(params, name); };
  auto ids = [&](const char* name, std::vector<std::int32_t>& target, bool negative) {
    const std::string value = text(name);
    if (!value.empty() && target.empty() && !IdList(value, target, negative)) {
      problems.push_back(std::string("Ignored ") + name + " \"" + value + "\".");
    }
  };
  ids("EventType", types, false);
  ids("ELSource", sources, false);
  ids("EventCategory", categories, false);
  ids("EventID", eventIds, true);
  if (text("EventIDExclude") == "exclude") excludeEventIds = true;
  const std::string serverLog = text("ServerLogTypeFilter");
  if (!serverLog.empty() && server == 0 && log == 0 && !ServerAndLog(serverLog, server, log)) {
    problems.push_back("Ignored the server-and-log condition \"" + serverLog + "\".");
  }
  const std::string start = text("StartDate"), end = text("EndDate");
  if (range.empty() && (!start.empty() || !end.empty())) {
    range = "custom";
    // In the form a date field shows ("yyyy-mm-ddThh:mm:ss").
    auto field = [](std::string iso) {
      if (iso.size() > 10) iso[10] = 'T';
      return iso;
    };
    from = field(IsoDateTime(start, false));
    to = field(IsoDateTime(end, true));
  }
  const std::string sortBy = text("SortBy");
  for (const auto& [column, label] : SortColumns()) {
    if (column == sortBy) sort = column;
  }
  if (text("SortOrder") == "ASC" || text("SortOrder") == "asc") descending = false;
}

std::string LogFilter::ServerLogTypeFilter() const {
  if (server > 0 && log > 0) {
    return "(ELServerID=" + std::to_string(server) + " AND LogTypeID=" + std::to_string(log) + ")";
  }
  if (server > 0) return "ELServerID=" + std::to_string(server);
  if (log > 0) return "LogTypeID=" + std::to_string(log);
  return {};
}

std::string LogFilter::ReportFilterXml(std::chrono::system_clock::time_point now) const {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("ReportFilter");
  auto set = [&](const char* name, const std::string& value) {
    if (!value.empty()) root.append_attribute(name) = value.c_str();
  };
  set("SortBy", sort);
  set("SortOrder", descending ? "DESC" : "ASC");
  set("ServerLogTypeFilter", ServerLogTypeFilter());
  std::string start, end;
  using std::chrono::hours;
  if (range == "1h") start = LocalIso(now - hours(1));
  if (range == "24h") start = LocalIso(now - hours(24));
  if (range == "7d") start = LocalIso(now - hours(24 * 7));
  if (!start.empty()) end = kEndOfTime;
  if (range == "custom" && (!from.empty() || !to.empty())) {
    // A range needs both ends: an open end reaches as far as dates go.
    start = from.empty() ? kStartOfTime : IsoDateTime(from, false);
    end = to.empty() ? kEndOfTime : IsoDateTime(to, true);
  }
  set("StartDate", start);
  set("EndDate", end);
  set("ELSource", Join(sources));
  set("EventType", Join(types));
  set("EventID", Join(eventIds));
  if (!eventIds.empty()) set("EventIDExclude", excludeEventIds ? "exclude" : "include");
  set("EventCategory", Join(categories));
  return XmlText(document);
}

std::string LogFilter::PageRequestXml(std::int32_t pageLinks) const {
  return "<PageRequest PageSize=\"" + std::to_string(size) + "\" PageOfPagesSize=\"" +
         std::to_string(pageLinks) + "\" SelectedPage=\"" + std::to_string(page) + "\"/>";
}

std::string LogFilter::AlertMetadata() const {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("MetaData");
  AddInput(root, "hServerLogTypeFilter", ServerLogTypeFilter());
  AddInput(root, "hELSource", sources.empty() ? "All" : Join(sources));
  AddInput(root, "hEventType", types.empty() ? "All" : Join(types));
  if (!eventIds.empty()) {
    AddInput(root, "chk_EventID", "on");
    AddInput(root, "radio_EventIDExclude", excludeEventIds ? "exclude" : "include");
    AddInput(root, "txtEventID", Join(eventIds));
  }
  AddInput(root, "hEventCategory", categories.empty() ? "All" : Join(categories));
  AddInput(root, "query", Query());
  return XmlText(document, false);
}

std::string QueryFromAlertMetadata(const std::string& metadata) {
  pugi::xml_document document;
  if (!document.load_string(("<MetaData>" + metadata + "</MetaData>").c_str())) return {};
  pugi::xml_node input = document.select_node("//INPUT[@name='query']").node();
  return input.attribute("value").value();
}

std::string LogFilter::Query(bool withPage) const {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (server > 0) pairs.emplace_back("server", std::to_string(server));
  if (log > 0) pairs.emplace_back("log", std::to_string(log));
  if (!range.empty()) pairs.emplace_back("range", range);
  if (range == "custom") {
    if (!from.empty()) pairs.emplace_back("from", from);
    if (!to.empty()) pairs.emplace_back("to", to);
  }
  for (std::int32_t id : types) pairs.emplace_back("type", std::to_string(id));
  for (std::int32_t id : sources) pairs.emplace_back("source", std::to_string(id));
  for (std::int32_t id : categories) pairs.emplace_back("category", std::to_string(id));
  if (!eventIds.empty()) {
    pairs.emplace_back("eventid", Join(eventIds));
    if (excludeEventIds) pairs.emplace_back("eventidmode", "exclude");
  }
  if (sort != "TimeGenerated") pairs.emplace_back("sort", sort);
  if (!descending) pairs.emplace_back("order", "asc");
  if (size != 50) pairs.emplace_back("size", std::to_string(size));
  if (withPage && page != 1) pairs.emplace_back("page", std::to_string(page));
  if (live) pairs.emplace_back("live", "1");
  std::string text;
  for (const auto& [name, value] : pairs) {
    if (!text.empty()) text += '&';
    text += name + "=" + UrlEncode(value);
  }
  return text;
}

std::string LogFilter::QueryForPage(std::int32_t target) const {
  LogFilter copy = *this;
  copy.page = target;
  return copy.Query(true);
}

}  // namespace tamsel::web
