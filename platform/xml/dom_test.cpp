// Tests of the DOM: loading, the absent document element, selection, attributes, building
// documents and their XML text.
#include "platform/xml/dom.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/com/com_error.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::xml {
namespace {

using com::ComError;
using com::Variant;

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ComError& error) {
    return error.Number();
  }
  return 0;
}

TEST(DomLoadTest, TextThatDoesNotParseLeavesNoDocumentElementAndRaises91OnUse) {
  Document doc;
  for (std::string bad :
       {"", "<a>", "not xml", "<a/><b/>", "text<a/>", "<a x='1' x='2'/>", "<a><b y='' y=''/></a>",
        "<a>\x01</a>", "<a x='&#1;'/>", "<a>&#xFFFE;</a>", "<a x='\x1F'/>", "<!--\x02--><a/>",
        "<a/><?xml version='1.0'?>", "<!-- c --><?xml version='1.0'?><a/>"}) {
    EXPECT_FALSE(doc.LoadXml(bad)) << bad;
    EXPECT_FALSE(doc.ParseErrorReason().empty()) << bad;
    Element root = doc.DocumentElement();
    EXPECT_TRUE(root.IsNothing()) << bad;
    EXPECT_EQ(ErrorNumberOf([&] { root.GetAttribute("SortBy"); }), 91) << bad;
    EXPECT_EQ(ErrorNumberOf([&] { root.SelectNodes("NODE"); }), 91) << bad;
  }
}

TEST(DomLoadTest, FailedReloadDropsTheEarlierTreeAndItsHandles) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<ROOT><NODE ServerID=\"1\"/></ROOT>"));
  Element node = doc.DocumentElement().SelectSingleNode("NODE");
  ASSERT_FALSE(node.IsNothing());
  EXPECT_FALSE(doc.LoadXml("<ROOT>"));
  EXPECT_TRUE(doc.DocumentElement().IsNothing());
  EXPECT_EQ(ErrorNumberOf([&] { node.GetAttribute("ServerID"); }), 91);
  EXPECT_EQ(doc.Xml(), "");
}

TEST(DomLoadTest, FileLoadIsSynchronousAndReportsMissingOrMalformedFiles) {
  testing::ScopedTempDir dir;
  Document doc;
  EXPECT_FALSE(doc.Load(dir.Path() / "AppConfig.xml"));

  std::ofstream(dir.Path() / "bad.xml") << "<config><DATABASE DBServer=\"x\"></config>";
  EXPECT_FALSE(doc.Load(dir.Path() / "bad.xml"));

  std::ofstream(dir.Path() / "AppConfig.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<config>\r\n"
         "  <DATABASE DBServer=\"SQL01\" DBName=\"TamselDB\"/>\r\n  <LOGFILE LogFilePath=\"\"/>\r\n"
         "</config>\r\n";
  ASSERT_TRUE(doc.Load(dir.Path() / "AppConfig.xml"));
  Element database = doc.DocumentElement().SelectSingleNode("DATABASE");
  EXPECT_EQ(database.GetAttribute("DBServer"), Variant("SQL01"));
  EXPECT_TRUE(database.GetAttribute("DBPassword").IsNull());
  EXPECT_EQ(doc.DocumentElement().SelectSingleNode("LOGFILE").GetAttribute("LogFilePath"),
            Variant(""));
  EXPECT_TRUE(doc.DocumentElement().SelectSingleNode("MISSING").IsNothing());
}

TEST(DomSelectTest, PathsOfTheComponentSelectInDocumentOrder) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml(
      "<MetaData><form><INPUT name='hELSource' value='3,4'/>"
      "<div><INPUT name='txtEventID' value='7'/><INPUT name='hELSource' value='9'/></div>"
      "</form></MetaData>"));
  Element root = doc.DocumentElement();
  EXPECT_EQ(root.SelectSingleNode("//INPUT[@name='hELSource']").GetAttribute("value"),
            Variant("3,4"));
  EXPECT_EQ(root.SelectSingleNode("//INPUT[@name='txtEventID']").GetAttribute("value"),
            Variant("7"));
  EXPECT_TRUE(root.SelectSingleNode("//INPUT[@name='chk_EventID']").IsNothing());
  EXPECT_EQ(root.SelectNodes("//INPUT").Length(), 3u);
  EXPECT_EQ(root.SelectNodes("form/INPUT").Length(), 1u);
  EXPECT_TRUE(root.SelectNodes("//INPUT").Item(3).IsNothing());
  EXPECT_EQ(ErrorNumberOf([&] { root.SelectNodes("//INPUT["); }), com::E_FAIL);
}

TEST(DomBuildTest, ElementsAppendedThenFilledShowInTheDocumentText) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<USERLIST />"));
  for (int id : {1, 2}) {
    Element user = doc.CreateElement("USER");
    doc.DocumentElement().AppendChild(user);
    user.SetAttribute("AppUserID", std::to_string(id));
    user.SetAttribute("AppUserName", id == 1 ? "a&b" : "<\"q\">");
  }
  EXPECT_EQ(doc.Xml(),
            "<USERLIST><USER AppUserID=\"1\" AppUserName=\"a&amp;b\"/>"
            "<USER AppUserID=\"2\" AppUserName=\"&lt;&quot;q&quot;>\"/></USERLIST>");
}

TEST(DomBuildTest, CreatedButUnappendedElementsStayOutOfTheDocument) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<ROOT/>"));
  Element loose = doc.CreateElement("NODE");
  loose.SetAttribute("Field0", "1");
  EXPECT_EQ(doc.Xml(), "<ROOT/>");
  EXPECT_EQ(doc.DocumentElement().NodeName(), "ROOT");
  EXPECT_EQ(loose.Xml(), "<NODE Field0=\"1\"/>");
  Document other;
  ASSERT_TRUE(other.LoadXml("<X/>"));
  EXPECT_NE(ErrorNumberOf([&] { other.DocumentElement().AppendChild(loose); }), 0);
  EXPECT_EQ(ErrorNumberOf([&] { doc.DocumentElement().AppendChild(Element()); }), 91);
}

TEST(DomAttributeTest, SetReplacesInPlaceAndKeepsOrderAndTheLoadedDeclaration) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<?xml version=\"1.0\"?><UserInfo AppUserName=\"x\" AppRoleID=\"2\"/>"));
  Element root = doc.DocumentElement();
  root.SetAttribute("AppUserID", "17");
  root.SetAttribute("AppUserName", "y");
  EXPECT_EQ(
      doc.Xml(),
      "<?xml version=\"1.0\"?><UserInfo AppUserName=\"y\" AppRoleID=\"2\" AppUserID=\"17\"/>");
  root.RemoveAttribute("AppRoleID");
  EXPECT_TRUE(root.GetAttribute("AppRoleID").IsNull());
  EXPECT_EQ(root.GetAttribute("AppUserID").CLng(), 17);
}

TEST(DomAttributeTest, EntitiesAndWhitespaceInAttributesFollowXmlRules) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<f ServerLogTypeFilter=\"ELServerID &lt; 3 AND&#10;x\" t='a\tb'/>"));
  Element root = doc.DocumentElement();
  EXPECT_EQ(root.GetAttribute("ServerLogTypeFilter").CStr(), "ELServerID < 3 AND\nx");
  EXPECT_EQ(root.GetAttribute("t").CStr(), "a b");
  EXPECT_EQ(root.Text(), "");
  ASSERT_TRUE(doc.LoadXml("<a>x<b>y</b><![CDATA[z]]></a>"));
  EXPECT_EQ(doc.DocumentElement().Text(), "xyz");
}

TEST(DomLoadTest, CommentsInstructionsAndDeclarationStayInTheText) {
  Document doc;
  const std::string request =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- page 3 --><?page-style x?>"
      "<PageRequest PageSize=\"10\"><!-- keep --><?pi a?></PageRequest><!-- tail -->";
  ASSERT_TRUE(doc.LoadXml(request));
  EXPECT_EQ(doc.DocumentElement().NodeName(), "PageRequest");
  doc.DocumentElement().AppendChild(doc.CreateElement("PageLinks"));
  EXPECT_EQ(doc.Xml(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- page 3 --><?page-style x?>"
            "<PageRequest PageSize=\"10\"><!-- keep --><?pi a?><PageLinks/></PageRequest>"
            "<!-- tail -->");
  EXPECT_TRUE(doc.DocumentElement().SelectSingleNode("LogEntry").IsNothing());
}

TEST(DomLoadTest, InvalidUtf8ReadsAsReplacementAndAttributesStayWellFormed) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<s ELServerName=\"U\xFF\xFE\"/>"));
  EXPECT_EQ(doc.DocumentElement().GetAttribute("ELServerName").CStr(), "U\xEF\xBF\xBD\xEF\xBF\xBD");
  struct Case {
    const char* value;
    const char* written;
  } cases[] = {{"a\x01"
                "b",
                "a\xEF\xBF\xBD"
                "b"},
               {"\xC3", "\xEF\xBF\xBD"},
               {"\xEF\xBF\xBF", "\xEF\xBF\xBD"},
               {"t\tn\nr\r", "t&#09;n&#10;r&#13;"},
               {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(doc.LoadXml("<R/>"));
    doc.DocumentElement().SetAttribute("v", c.value);
    EXPECT_EQ(doc.Xml(), std::string("<R v=\"") + c.written + "\"/>") << c.value;
    // What the DOM writes, it loads again.
    Document again;
    EXPECT_TRUE(again.LoadXml(doc.Xml())) << c.value;
  }
}

// Nesting and width cost time in proportion to the text and never exhaust the stack.
TEST(DomLoadTest, HostileShapesLoadOrFailWithoutCrashing) {
  auto nested = [](std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "<a>";
    for (std::size_t i = 0; i < depth; ++i) text += "</a>";
    return text;
  };
  Document doc;
  EXPECT_TRUE(doc.LoadXml(nested(kMaxElementDepth)));
  EXPECT_EQ(doc.DocumentElement().Text(), "");
  EXPECT_FALSE(doc.LoadXml(nested(kMaxElementDepth + 1)));
  EXPECT_FALSE(doc.LoadXml(nested(75000)));
  EXPECT_TRUE(doc.DocumentElement().IsNothing());

  std::string wide = "<a";
  for (int i = 0; i < 80000; ++i) wide += " n" + std::to_string(i) + "=''";
  EXPECT_TRUE(doc.LoadXml(wide + "/>"));
  EXPECT_FALSE(doc.LoadXml(wide + " n79999=''/>"));
  EXPECT_FALSE(doc.LoadXml(std::string(kMaxDocumentBytes + 1, ' ')));
}

}  // namespace
}  // namespace tamsel::platform::xml
