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
  for (const char* bad : {"", "<a>", "not xml", "<a/><b/>", "text<a/>", "<a x='1' x='2'/>"}) {
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

TEST(DomAttributeTest, SetReplacesInPlaceAndKeepsOrderAndDeclarationIsNotWritten) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<?xml version=\"1.0\"?><UserInfo AppUserName=\"x\" AppRoleID=\"2\"/>"));
  Element root = doc.DocumentElement();
  root.SetAttribute("AppUserID", "17");
  root.SetAttribute("AppUserName", "y");
  EXPECT_EQ(doc.Xml(), "<UserInfo AppUserName=\"y\" AppRoleID=\"2\" AppUserID=\"17\"/>");
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

}  // namespace
}  // namespace tamsel::platform::xml
