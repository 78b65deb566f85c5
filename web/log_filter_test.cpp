// The log browser's filter: what reaches the component is built only from checked numbers
// and dates, links reproduce the view, and alert metadata carries the filter both ways.
#include "web/log_filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

namespace tamsel::web {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

QueryParams Params(std::initializer_list<std::pair<const std::string, std::string>> pairs) {
  return QueryParams(pairs);
}

std::map<std::string, std::string> FilterAttributes(const LogFilter& filter) {
  pugi::xml_document document;
  EXPECT_TRUE(
      document.load_string(filter.ReportFilterXml(std::chrono::system_clock::now()).c_str()));
  std::map<std::string, std::string> attributes;
  for (auto attribute : document.document_element().attributes()) {
    attributes[attribute.name()] = attribute.value();
  }
  return attributes;
}

TEST(LogFilterTest, ReportFilterHoldsOnlyCheckedValues) {
  struct Case {
    const char* name;
    QueryParams params;
    std::map<std::string, std::string> expected;
    std::size_t problems;
  };
  const std::vector<Case> cases = {
      {"defaults", Params({}), {{"SortBy", "TimeGenerated"}, {"SortOrder", "DESC"}}, 0},
      {"server and log",
       Params({{"server", "2"}, {"log", "3"}, {"sort", "EventID"}, {"order", "asc"}}),
       {{"SortBy", "EventID"},
        {"SortOrder", "ASC"},
        {"ServerLogTypeFilter", "(ELServerID=2 AND LogTypeID=3)"}},
       0},
      {"lists",
       Params({{"type", "1"},
               {"type", "2"},
               {"source", "7"},
               {"category", "4"},
               {"eventid", "100, -5,101"},
               {"eventidmode", "exclude"}}),
       {{"SortBy", "TimeGenerated"},
        {"SortOrder", "DESC"},
        {"EventType", "1,2"},
        {"ELSource", "7"},
        {"EventCategory", "4"},
        {"EventID", "100,-5,101"},
        {"EventIDExclude", "exclude"}},
       0},
      {"injection attempts are dropped",
       Params({{"server", "1 OR 1=1"},
               {"type", "1);DELETE FROM LogEntry;--"},
               {"sort", "LEID; DROP TABLE LogEntry"},
               {"order", "desc'"},
               {"eventid", "100,1 OR 1=1"},
               {"range", "custom"},
               {"from", "2024-01-01' OR '1"}}),
       {{"SortBy", "TimeGenerated"},
        {"SortOrder", "DESC"},
        {"EventID", "100"},
        {"EventIDExclude", "include"}},
       4},
      {"custom range with an open end",
       Params({{"range", "custom"}, {"from", "2024-02-29T13:05"}}),
       {{"SortBy", "TimeGenerated"},
        {"SortOrder", "DESC"},
        {"StartDate", "2024-02-29 13:05:00"},
        {"EndDate", "9999-12-31 23:59:59"}},
       0},
      {"custom range of whole days",
       Params({{"range", "custom"}, {"from", "2024-01-01"}, {"to", "2024-01-31"}}),
       {{"SortBy", "TimeGenerated"},
        {"SortOrder", "DESC"},
        {"StartDate", "2024-01-01 00:00:00"},
        {"EndDate", "2024-01-31 23:59:59"}},
       0},
  };
  for (const Case& c : cases) {
    const LogFilter filter = LogFilter::Parse(c.params);
    EXPECT_EQ(FilterAttributes(filter), c.expected) << c.name;
    EXPECT_THAT(filter.problems, SizeIs(c.problems)) << c.name;
  }
}

TEST(LogFilterTest, ReportFilterNamesOfMailLinksAreRead) {
  const LogFilter filter =
      LogFilter::Parse(Params({{"ServerLogTypeFilter", "(ELServerID=3 AND LogTypeID=1)"},
                               {"EventType", "1,2"},
                               {"EventID", "7031"},
                               {"EventIDExclude", "exclude"},
                               {"StartDate", "2026-12-07 08:00:00"},
                               {"EndDate", "2026-12-07 09:00:00"},
                               {"SortBy", "TimeGenerated"},
                               {"SortOrder", "DESC"}}));
  EXPECT_EQ(filter.Query(),
            "server=3&log=1&range=custom&from=2026-12-07T08%3A00%3A00&"
            "to=2026-12-07T09%3A00%3A00&type=1&type=2&eventid=7031&"
            "eventidmode=exclude");
  EXPECT_THAT(filter.problems, IsEmpty());
  const LogFilter raw = LogFilter::Parse(
      Params({{"ServerLogTypeFilter", "ELServerID>0 OR 1=1"}, {"EventType", "1) OR (1=1"}}));
  EXPECT_EQ(raw.ServerLogTypeFilter(), "");
  EXPECT_THAT(raw.types, IsEmpty());
  EXPECT_THAT(raw.problems, SizeIs(2));
}

TEST(LogFilterTest, PresetRangesEndInTheFuture) {
  for (const char* range : {"1h", "24h", "7d"}) {
    auto attributes = FilterAttributes(LogFilter::Parse(Params({{"range", range}})));
    EXPECT_EQ(attributes["StartDate"].size(), 19u) << range;
    EXPECT_EQ(attributes["EndDate"], "9999-12-31 23:59:59") << range;
  }
}

TEST(LogFilterTest, QueryReproducesTheFilter) {
  const LogFilter filter = LogFilter::Parse(Params({{"server", "1"},
                                                    {"range", "custom"},
                                                    {"from", "2024-01-01T08:00"},
                                                    {"type", "4"},
                                                    {"type", "1"},
                                                    {"eventid", "7"},
                                                    {"eventidmode", "exclude"},
                                                    {"sort", "EventID"},
                                                    {"order", "asc"},
                                                    {"size", "25"},
                                                    {"page", "3"}}));
  QueryParams again;
  std::string query = filter.Query(true);
  for (std::size_t at = 0; at < query.size();) {
    std::size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(at, end - at);
    std::size_t equals = pair.find('=');
    std::string value = pair.substr(equals + 1);
    for (std::size_t p; (p = value.find("%3A")) != std::string::npos;) value.replace(p, 3, ":");
    again.emplace(pair.substr(0, equals), value);
    at = end + 1;
  }
  const LogFilter copy = LogFilter::Parse(again);
  EXPECT_EQ(copy.Query(true), query);
  EXPECT_EQ(copy.page, 3);
  EXPECT_EQ(copy.size, 25);
  EXPECT_EQ(filter.QueryForPage(1).find("page="), std::string::npos);
}

TEST(LogFilterTest, PageSizeOutsideTheChoicesKeepsTheDefault) {
  EXPECT_EQ(LogFilter::Parse(Params({{"size", "100000"}})).size, 50);
  EXPECT_EQ(LogFilter::Parse(Params({{"page", "0"}})).page, 1);
}

TEST(LogFilterTest, AlertMetadataCarriesConditionsAndQuery) {
  const LogFilter filter = LogFilter::Parse(
      Params({{"server", "2"}, {"type", "1"}, {"eventid", "100"}, {"eventidmode", "exclude"}}));
  pugi::xml_document document;
  ASSERT_TRUE(
      document.load_string(("<MetaData>" + filter.AlertMetadata() + "</MetaData>").c_str()));
  auto value = [&](const char* name) {
    return std::string(document.select_node((std::string("//INPUT[@name='") + name + "']").c_str())
                           .node()
                           .attribute("value")
                           .value());
  };
  EXPECT_EQ(value("hServerLogTypeFilter"), "ELServerID=2");
  EXPECT_EQ(value("hEventType"), "1");
  EXPECT_EQ(value("hELSource"), "All");
  EXPECT_EQ(value("chk_EventID"), "on");
  EXPECT_EQ(value("radio_EventIDExclude"), "exclude");
  EXPECT_EQ(value("txtEventID"), "100");
  EXPECT_EQ(QueryFromAlertMetadata(filter.AlertMetadata()), filter.Query());
  EXPECT_THAT(QueryFromAlertMetadata("<not-closed"), IsEmpty());
}

TEST(LogFilterTest, IsoDateTimeAcceptsOnlyRealDates) {
  const std::vector<std::tuple<std::string, bool, std::string>> cases = {
      {"2024-03-01", false, "2024-03-01 00:00:00"},
      {"2024-03-01", true, "2024-03-01 23:59:59"},
      {"2024-03-01T07:08", true, "2024-03-01 07:08:00"},
      {"2024-03-01 07:08:09", false, "2024-03-01 07:08:09"},
      {"2024-13-01", false, ""},
      {"2024-02-30", false, ""},
      {"2024-03-01T25:00", false, ""},
      {"2024-03-01x", false, ""},
      {"03/01/2024", false, ""},
      {"", false, ""},
  };
  for (const auto& [text, endOfDay, expected] : cases) {
    EXPECT_EQ(IsoDateTime(text, endOfDay), expected) << text;
  }
}

}  // namespace
}  // namespace tamsel::web
