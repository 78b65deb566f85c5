// Templates render data HTML-escaped, put a rendered body in the layout as it stands, keep the
// order of long lists, and render alike from many threads at once.
#include "web/templates.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace tamsel::web {
namespace {

class TemplatesTest : public testing::Test {
 protected:
  std::string Render(const std::string& text, const nlohmann::json& data) {
    templates_.Add("t", text);
    return templates_.Render("t", data);
  }
  Templates templates_;
};

TEST_F(TemplatesTest, EscapesValuesButNotTripleMustaches) {
  const struct {
    std::string value;
    std::string escaped;
  } cases[] = {
      {"plain text", "plain text"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&apos;x&apos;)&lt;/script&gt;"},
      {"a & \"b\"", "a &amp; &quot;b&quot;"},
      {"&", "&amp;"},
      {"ends with <", "ends with &lt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Render("[{{v}}]", {{"v", c.value}}), "[" + c.escaped + "]") << c.value;
    EXPECT_EQ(HtmlEscape(c.value), c.escaped);
  }
  EXPECT_EQ(Render("{{{v}}}", {{"v", "<b>"}}), "<b>");
}

TEST_F(TemplatesTest, EmptyTextAndNullCountAsFalse) {
  const std::string text = "{{#v}}yes{{/v}}{{^v}}no{{/v}}";
  EXPECT_EQ(Render(text, {{"v", ""}}), "no");
  EXPECT_EQ(Render(text, {{"v", nullptr}}), "no");
  EXPECT_EQ(Render(text, {{"v", "x"}}), "yes");
  EXPECT_EQ(Render(text, {{"v", false}}), "no");
}

TEST_F(TemplatesTest, LongListsKeepTheirOrderAndNesting) {
  nlohmann::json rows = nlohmann::json::array();
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    rows.push_back({{"n", std::to_string(i)}, {"lines", {"a" + std::to_string(i), "b"}}});
    expected += std::to_string(i) + ":a" + std::to_string(i) + ",b,;";
  }
  EXPECT_EQ(Render("{{#rows}}{{n}}:{{#lines}}{{.}},{{/lines}};{{/rows}}", {{"rows", rows}}),
            expected);

  TemplateData list{TemplateData::type::list};
  for (int i = 0; i < 50; ++i) Append(list, TemplateText(std::to_string(i)));
  TemplateData data{TemplateData::type::object};
  data["l"] = std::move(list);
  templates_.Add("direct", "{{#l}}{{.}} {{/l}}");
  std::string numbers;
  for (int i = 0; i < 50; ++i) numbers += std::to_string(i) + " ";
  EXPECT_EQ(templates_.Render("direct", data), numbers);
}

TEST_F(TemplatesTest, BodyGoesIntoItsSlotAsItStands) {
  templates_.Add("layout", "<title>{{t}}</title>\n<main>\n{{{body}}}\n</main>{{t}}");
  TemplateData data{TemplateData::type::object};
  data["t"] = TemplateText("A&B");
  // Text in the body that looks like a tag is the page's own HTML, never rendered again.
  EXPECT_EQ(templates_.Render("layout", data, "<p>{{t}}</p>"),
            "<title>A&amp;B</title>\n<main>\n<p>{{t}}</p>\n</main>A&amp;B");
  EXPECT_EQ(templates_.Render("layout", data), "<title>A&amp;B</title>\n<main>\n\n</main>A&amp;B");
}

TEST_F(TemplatesTest, BrokenTemplateIsRefusedByName) {
  try {
    templates_.Add("broken", "{{#open}} never closed");
    FAIL() << "a broken template was accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("broken"), std::string::npos);
  }
  EXPECT_THROW(templates_.Render("missing", nlohmann::json::object()), std::out_of_range);
}

TEST_F(TemplatesTest, ManyThreadsRenderTheSameTemplateAlike) {
  templates_.Add("page", "{{#rows}}<li>{{name}}</li>{{/rows}}");
  nlohmann::json rows = nlohmann::json::array();
  for (int i = 0; i < 20; ++i) rows.push_back({{"name", "<" + std::to_string(i) + ">"}});
  const nlohmann::json data{{"rows", rows}};
  const std::string expected = templates_.Render("page", data);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) mismatches[t] += templates_.Render("page", data) != expected;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

}  // namespace
}  // namespace tamsel::web
