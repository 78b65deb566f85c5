// The log browser's page document as the page shows it: page links and first/previous/next/last
// by position, each entry's fields, its message split into lines at every spelling of <br>.
#include "web/page_calls.h"

#include <gtest/gtest.h>

#include "web/web_app.h"

namespace tamsel::web {
namespace {

std::string Text(const TemplateData& data, const std::string& name) {
  const TemplateData* value = data.get(name);
  if (value == nullptr || !value->is_string()) return "";
  return value->string_value();
}

TEST(MessageLinesTest, SplitsAtBreaksOfAnyCaseOnly) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"one", {"one"}},
      {"one<br>two<BR>three<bR>", {"one", "two", "three", ""}},
      {"a<b>c<br", {"a<b>c<br"}},
      {"<br><br>", {"", "", ""}},
      {"x <brr> y", {"x <brr> y"}},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageLines(c.text), c.lines) << c.text;
}

class PageViewTest : public testing::Test {
 protected:
  static std::string PageXml() {
    return "<Page RecordCount=\"120\" PageCount=\"3\"><PageLinks>"
           "<PageLink PageNumber=\"1\" PageNumberText=\"1\" ShowLink=\"1\"/>"
           "<PageLink PageNumber=\"2\" PageNumberText=\"2\" ShowLink=\"0\"/>"
           "<PageLink PageNumber=\"3\" PageNumberText=\"3\" ShowLink=\"1\"/></PageLinks>"
           "<LogEntry LEID=\"7\" TimeGenerated=\"2026-01-02 03:04:05\" ELServerName=\"SRV01\" "
           "LogTypeName=\"System\" EventID=\"7031\" EventTypeCode=\"E\" EventTypeName=\"Error\" "
           "ELSourceName=\"Disk\" EventCategoryName=\"\" FullMessage=\"&lt;b&gt;full&lt;BR&gt;"
           "second\"/>"
           "<LogEntry LEID=\"8\" EventTypeCode=\"AF\"/><LogEntry LEID=\"9\" EventTypeCode=\"W\"/>"
           "<LogEntry LEID=\"10\" EventTypeCode=\"I\"/></Page>";
  }
};

TEST_F(PageViewTest, MiddlePageLinksEveryWay) {
  LogFilter filter;
  filter.page = 2;
  const TemplateData view = PageView(PageXml(), filter);
  EXPECT_EQ(Text(view, "recordCount"), "120");
  EXPECT_EQ(Text(view, "pageCount"), "3");
  EXPECT_EQ(Text(view, "first"), "/logs?");  // page 1 is the default
  EXPECT_EQ(Text(view, "prev"), "/logs?");
  EXPECT_NE(Text(view, "next").find("page=3"), std::string::npos);
  EXPECT_NE(Text(view, "last").find("page=3"), std::string::npos);
  const auto& links = view.get("links")->list_value();
  ASSERT_EQ(links.size(), 3u);
  EXPECT_TRUE(links[1].get("current")->is_true());
  EXPECT_TRUE(links[0].get("current")->is_false());
}

TEST_F(PageViewTest, FirstAndLastPagesDisableTheirEnds) {
  LogFilter filter;
  filter.page = 1;
  TemplateData view = PageView(PageXml(), filter);
  EXPECT_TRUE(view.get("first")->is_false());
  EXPECT_TRUE(view.get("prev")->is_false());
  EXPECT_FALSE(Text(view, "next").empty());
  filter.page = 3;
  view = PageView(PageXml(), filter);
  EXPECT_TRUE(view.get("next")->is_false());
  EXPECT_TRUE(view.get("last")->is_false());
  EXPECT_FALSE(Text(view, "prev").empty());
}

TEST_F(PageViewTest, RowsCarryTheEntryFieldsAndMessageLines) {
  const TemplateData view = PageView(PageXml(), LogFilter{});
  const auto& rows = view.get("rows")->list_value();
  ASSERT_EQ(rows.size(), 4u);
  const TemplateData& row = rows[0];
  EXPECT_EQ(Text(row, "leid"), "7");
  EXPECT_EQ(Text(row, "server"), "SRV01");
  EXPECT_EQ(Text(row, "eventId"), "7031");
  EXPECT_EQ(Text(row, "source"), "Disk");
  EXPECT_TRUE(row.get("category")->is_false());  // empty shows as nothing
  EXPECT_EQ(Text(row, "summary"), "<b>full");    // escaped when rendered, not here
  const auto& lines = row.get("lines")->list_value();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].string_value(), "second");
  const char* classes[] = {"error", "failure", "warning", "info"};
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(Text(rows[i], "typeClass"), classes[i]);
}

}  // namespace
}  // namespace tamsel::web
