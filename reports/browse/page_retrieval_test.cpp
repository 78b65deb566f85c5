// Tests of Reports.LogEntryPageIdsGetFromDB and Reports.LogEntryPageDetailsGetFromDB through
// the public interface: page documents compared with a walk over every key, the details on
// their elements, each failure code, and key queries and keys that are refused unexecuted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "platform/com/com_error.h"
#include "platform/data/procedure_catalog.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_test_support.h"

namespace tamsel::reports::browse {
namespace {

namespace com = platform::com;
namespace xml = platform::xml;
using testing::BrowseTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kByTime =
    "SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated DESC";

std::string Request(int pageSize, int pageOfPagesSize, int selectedPage) {
  return "<PageRequest PageSize=\"" + std::to_string(pageSize) + "\" PageOfPagesSize=\"" +
         std::to_string(pageOfPagesSize) + "\" SelectedPage=\"" + std::to_string(selectedPage) +
         "\" Report=\"r1\"/>";
}

class PageRetrievalTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
    env_.Exec(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV1'), (2, 'SRV2');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application'), (2, 'System');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (3, 'Service Control Manager'),"
        " (4, 'Disk');"
        "INSERT INTO ELUser (ELUserID, ELUserName) VALUES (5, 'NT AUTHORITY\\SYSTEM');");
  }

  // `count` entries, one a minute from 2003-01-01 00:00, alternating servers and sources.
  void AddEntries(int count) {
    env_.Exec("BEGIN");
    for (int i = 0; i < count; ++i) {
      char time[32];
      std::snprintf(time, sizeof time, "2003-01-%02d %02d:%02d:00", 1 + i / 1440, i / 60 % 24,
                    i % 60);
      env_.Exec(
          "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
          "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, "
          "FullMessage, CreatedAt) VALUES (" +
          std::to_string(1 + i % 2) + ", 1, " + std::to_string(i + 1) + ", '" + time + "', '" +
          time + "', " + std::to_string(7000 + i % 3) + ", 4, 1, 5, " + std::to_string(3 + i % 2) +
          ", 'Message <" + std::to_string(i) + "> & more', '2003-02-01 10:00:00')");
    }
    env_.Exec("COMMIT");
  }

  std::int32_t PageIds(const std::string& sql, com::Variant& sXml, bool transactional = true) {
    com::Arguments args{com::Variant(sql), sXml};
    std::int32_t code = CallReports("LogEntryPageIdsGetFromDB", args, transactional).CLng();
    sXml = args[1].value;
    return code;
  }
  std::int32_t Details(com::Variant& sXml) {
    com::Arguments args{sXml};
    std::int32_t code = CallReports("LogEntryPageDetailsGetFromDB", args).CLng();
    sXml = args[0].value;
    return code;
  }

  // The page document as the walk over every row of the key query makes it.
  std::string WalkedDocument(const std::string& sql, int n, int w, int s) {
    std::vector<std::string> keys;
    platform::data::Statement rows = env_.Db().Prepare(sql);
    while (rows.Step()) keys.push_back(rows.Text(0));
    xml::Document doc;
    doc.LoadXml(Request(n, w, s));
    xml::Element root = doc.DocumentElement();
    xml::Element links = root.AppendChild(doc.CreateElement("PageLinks"));
    long g = w * (s / w);
    if (s % w == 0) g -= w;
    long i = 0;
    bool prev = false, next = false;
    auto link = [&](long page, const std::string& text, const char* show) {
      xml::Element e = links.AppendChild(doc.CreateElement("PageLink"));
      e.SetAttribute("PageNumber", std::to_string(page));
      e.SetAttribute("PageNumberText", text);
      e.SetAttribute("ShowLink", show);
    };
    for (std::size_t r = 0; r < keys.size(); ++r) {
      if (r % n == 0) {
        ++i;
        if (g < i && i <= g + w) {
          link(i, std::to_string(i), i == s ? "0" : "1");
        } else if (i < g && !prev) {
          link(g, "Prev", "1");
          prev = true;
        } else if (i > g + w && !next) {
          link(g + w + 1, "Next", "1");
          next = true;
        }
      }
      if (i == s) root.AppendChild(doc.CreateElement("LogEntry")).SetAttribute("LEID", keys[r]);
    }
    root.SetAttribute("PageCount", std::to_string(i));
    root.SetAttribute("RecordCount", std::to_string(keys.size()));
    return doc.Xml();
  }

  BrowseTestEnvironment env_{GetParam()};
};

TEST_P(PageRetrievalTest, PageDocumentsMatchTheWalkOverEveryKey) {
  AddEntries(83);
  const std::string filtered =
      "SELECT LEID,EventID FROM LogEntry WHERE (ELServerID=1 OR ELServerID=2) AND  "
      "TimeGenerated BETWEEN '2003-01-01 00:05:00' AND '2003-01-01 01:10:00' AND  ELSourceID "
      "IN(3) ORDER BY EventID ASC";
  for (const std::string& sql : {std::string(kByTime), filtered}) {
    for (auto [n, w, s] : {std::tuple{10, 5, 7},
                           {10, 5, 5},
                           {10, 5, 0},
                           {10, 5, 12},
                           {10, 10, 10},
                           {83, 5, 1},
                           {7, 3, 4},
                           {1, 4, 83},
                           {100, 2, 1},
                           {3, 1, 2}}) {
      com::Variant sXml(Request(n, w, s));
      ASSERT_EQ(PageIds(sql, sXml), 0) << sql << " " << n << " " << w << " " << s;
      EXPECT_EQ(sXml.CStr(), WalkedDocument(sql, n, w, s)) << n << " " << w << " " << s;
    }
  }
}

// A bound in any form the database reads compares as a date with the stored text, on both
// sides of midnight: the entry stamped exactly at the end date is in.
TEST_P(PageRetrievalTest, EndDateAtMidnightKeepsTheEntryStampedAtMidnight) {
  env_.Exec(
      "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten, "
      "EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) VALUES "
      "(1, 1, 1, '2003-01-30 12:00:00', '2003-01-30 12:00:00', 1, 4, 1, 5, 3),"
      "(1, 1, 2, '2003-01-31 00:00:00', '2003-01-31 00:00:00', 1, 4, 1, 5, 3),"
      "(1, 1, 3, '2003-01-31 00:00:01', '2003-01-31 00:00:01', 1, 4, 1, 5, 3)");
  struct Case {
    const char* start;
    const char* end;
    const char* records;
  } cases[] = {
      {"2003-01-30", "1/31/2003 12:00:00 AM", "2"},
      {"2003-01-30", "2003-01-31 00:00:00", "2"},
      {"2003-01-30", "2003-01-31", "2"},
      {"2003-01-30", " Jan 31 2003 ", "2"},
      {"2003-01-30", "20030131", "2"},
      {"2003-01-30", "2003-01-31T00:00:00.000", "2"},
      {"2003-01-30", "2003-01-30 23:59:59", "1"},
      {"2003-01-30", "2003-01-31 00:00:01", "3"},
      {"2003-01-31", "2003-01-31 00:00:00", "1"},
      {"2003-01-31 00:00:00.001", "2003-02-01", "1"},
  };
  for (const Case& c : cases) {
    com::Arguments generate{com::Variant(std::string("<F SortBy=\"TimeGenerated\" StartDate=\"") +
                                         c.start + "\" EndDate=\"" + c.end + "\"/>"),
                            com::Variant()};
    ASSERT_EQ(CallReports("SqlQueryGenerate", generate, false).CLng(), 0) << c.end;
    com::Variant sXml(Request(10, 5, 1));
    ASSERT_EQ(PageIds(generate[1].value.CStr(), sXml), 0) << generate[1].value.CStr();
    xml::Document doc;
    ASSERT_TRUE(doc.LoadXml(sXml.CStr()));
    EXPECT_EQ(doc.DocumentElement().GetAttribute("RecordCount").CStr(), c.records)
        << c.start << " .. " << c.end;
  }
  // A key query a page wrote itself, with a date-only end, runs the same way.
  com::Variant sXml(Request(10, 5, 1));
  ASSERT_EQ(PageIds("SELECT LEID,TimeGenerated FROM LogEntry WHERE TimeGenerated BETWEEN "
                    "'2003-01-30' AND '2003-01-31' ORDER BY TimeGenerated",
                    sXml),
            0);
  EXPECT_NE(sXml.CStr().find("RecordCount=\"2\""), std::string::npos) << sXml.CStr();
}

// The page document is the request with the additions: its declaration, comments and
// processing instructions stay, through the key listing and the details alike.
TEST_P(PageRetrievalTest, RequestContentBesideTheRootStaysInThePageDocument) {
  AddEntries(2);
  com::Variant sXml(
      "<?xml version=\"1.0\"?><!-- saved view --><PageRequest PageSize=\"10\" "
      "PageOfPagesSize=\"5\" SelectedPage=\"1\"><?page-hint a?><!-- note --></PageRequest>");
  ASSERT_EQ(PageIds(kByTime, sXml), 0);
  EXPECT_EQ(sXml.CStr(),
            "<?xml version=\"1.0\"?><!-- saved view --><PageRequest PageSize=\"10\" "
            "PageOfPagesSize=\"5\" SelectedPage=\"1\" PageCount=\"1\" RecordCount=\"2\">"
            "<?page-hint a?><!-- note --><PageLinks><PageLink PageNumber=\"1\" "
            "PageNumberText=\"1\" ShowLink=\"0\"/></PageLinks><LogEntry LEID=\"2\"/>"
            "<LogEntry LEID=\"1\"/></PageRequest>");
  ASSERT_EQ(Details(sXml), 0);
  EXPECT_EQ(sXml.CStr().rfind("<?xml version=\"1.0\"?><!-- saved view --><PageRequest ", 0), 0u)
      << sXml.CStr();
  EXPECT_NE(sXml.CStr().find("<?page-hint a?><!-- note --><PageLinks>"), std::string::npos);
}

TEST_P(PageRetrievalTest, WorkedExampleOfEightyThreeRowsAndItsTrace) {
  AddEntries(83);
  com::Variant sXml(Request(10, 5, 7));
  ASSERT_EQ(PageIds(kByTime, sXml), 0);
  xml::Document doc;
  ASSERT_TRUE(doc.LoadXml(sXml.CStr()));
  xml::Element root = doc.DocumentElement();
  EXPECT_EQ(root.GetAttribute("PageCount").CStr(), "9");
  EXPECT_EQ(root.GetAttribute("RecordCount").CStr(), "83");
  EXPECT_EQ(root.SelectSingleNode("PageLinks").Xml(),
            "<PageLinks><PageLink PageNumber=\"5\" PageNumberText=\"Prev\" ShowLink=\"1\"/>"
            "<PageLink PageNumber=\"6\" PageNumberText=\"6\" ShowLink=\"1\"/>"
            "<PageLink PageNumber=\"7\" PageNumberText=\"7\" ShowLink=\"0\"/>"
            "<PageLink PageNumber=\"8\" PageNumberText=\"8\" ShowLink=\"1\"/>"
            "<PageLink PageNumber=\"9\" PageNumberText=\"9\" ShowLink=\"1\"/></PageLinks>");
  // Newest first: rows 60 to 69 of the key query are entries 23 down to 14.
  xml::NodeList entries = root.SelectNodes("LogEntry");
  ASSERT_EQ(entries.Length(), 10u);
  EXPECT_EQ(entries.Item(0).GetAttribute("LEID").CStr(), "23");
  EXPECT_EQ(entries.Item(9).GetAttribute("LEID").CStr(), "14");
  // The root keeps its own attributes first; PageLinks comes before the entries.
  EXPECT_EQ(sXml.CStr().rfind("<PageRequest PageSize=\"10\" PageOfPagesSize=\"5\" SelectedPage="
                              "\"7\" Report=\"r1\" PageCount=\"9\" RecordCount=\"83\"><PageLinks>",
                              0),
            0u);

  std::vector<std::string> texts = env_.TraceTexts();
  EXPECT_EQ(texts.front(), ">>>Reports.LogEntryPageIdsGetFromDB");
  EXPECT_THAT(texts, Contains(std::string("->Executing ") + kByTime));
  EXPECT_THAT(texts, Contains("<PageRequest PageSize=\"10\" PageOfPagesSize=\"5\" "
                              "SelectedPage=\"7\" Report=\"r1\"><PageLinks/></PageRequest>"));
  EXPECT_THAT(texts, Contains("sXml " + sXml.CStr()));
  EXPECT_EQ(texts.back(), "Reports.LogEntryPageIdsGetFromDB no errors - lngRetVal=0");
}

TEST_P(PageRetrievalTest, NoRowsGives203AndLeavesTheRequest) {
  com::Variant sXml(Request(10, 5, 1));
  EXPECT_EQ(PageIds(kByTime, sXml), 203);
  EXPECT_EQ(sXml.CStr(), Request(10, 5, 1));
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.LogEntryPageIdsGetFromDB error: lngRetVal=203; Err.Description= ");
  // Without rows the zero sizes are never divided by.
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant(Request(0, 0, 1))), 203);
}

TEST_P(PageRetrievalTest, KeyListingFailureCodes) {
  AddEntries(5);
  com::Variant sXml("<R PageOfPagesSize=\"5\" SelectedPage=\"1\"/>");
  EXPECT_EQ(PageIds(kByTime, sXml), 94);
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant("<R PageSize=\"ten\" PageOfPagesSize=\"5\" "
                                                 "SelectedPage=\"1\"/>")),
            13);
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant("not xml")), 91);
  EXPECT_EQ(sXml.CStr(), "not xml");
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant(Request(10, 0, 1))), 11);
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant(Request(0, 5, 1))), 11);
  EXPECT_EQ(PageIds(kByTime, sXml = com::Variant(Request(10, 5, 1)), false), -102);
  EXPECT_EQ(sXml.CStr(), Request(10, 5, 1));
  // The provider's error: a database without the LogEntry table.
  env_.Exec("DROP TABLE LogEntry");
  const std::int32_t code = PageIds(kByTime, sXml);
  EXPECT_LT(code, 0);
  EXPECT_THAT(env_.TraceTexts().back(),
              HasSubstr("*** ->Reports.LogEntryPageIdsGetFromDB error: lngRetVal=" +
                        std::to_string(code) + "; Err.Description= "));
}

TEST_P(PageRetrievalTest, KeyQueriesThatAreNotKeyQueriesAreRefusedUnexecuted) {
  AddEntries(5);
  for (const std::string& sql :
       {std::string("SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated; DELETE FROM "
                    "LogEntry"),
        std::string("SELECT AppUserID,AppUserPassword FROM AppUser ORDER BY AppUserPassword"),
        std::string("SELECT LEID,TimeGenerated FROM ELUser ORDER BY TimeGenerated"),
        std::string("SELECT LEID,TimeGenerated FROM LogEntry WHERE  ELSourceID IN(1) OR (1=1) "
                    "ORDER BY TimeGenerated"),
        std::string("SELECT LEID,TimeGenerated FROM LogEntry ORDER BY TimeGenerated")
            .insert(0, "DELETE FROM LogEntry; ")}) {
    com::Variant sXml(Request(10, 5, 1));
    EXPECT_EQ(PageIds(sql, sXml), 5) << sql;
    EXPECT_EQ(sXml.CStr(), Request(10, 5, 1));
    std::vector<std::string> texts = env_.NewTraceTexts();
    // No connection was opened: the failure path's closing finds nothing to close.
    EXPECT_THAT(texts, ElementsAre(">>>Reports.LogEntryPageIdsGetFromDB",
                                   "Call function CommonMethods.DBConnectionClose",
                                   "CommonMethods.DBConnectionClose no errors",
                                   "*** ->Reports.LogEntryPageIdsGetFromDB error: lngRetVal=5; "
                                   "Err.Description= Invalid procedure call or argument: sql"));
  }
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM LogEntry"), 5);
}

TEST_P(PageRetrievalTest, DetailsAreWrittenOntoTheirElements) {
  AddEntries(3);
  com::Variant sXml(Request(10, 5, 1));
  ASSERT_EQ(PageIds(kByTime, sXml), 0);
  env_.NewTraceTexts();
  ASSERT_EQ(Details(sXml), 0);
  xml::Document doc;
  ASSERT_TRUE(doc.LoadXml(sXml.CStr()));
  xml::NodeList entries = doc.DocumentElement().SelectNodes("LogEntry");
  ASSERT_EQ(entries.Length(), 3u);
  EXPECT_EQ(entries.Item(0).Xml(),
            "<LogEntry LEID=\"3\" ELServerName=\"SRV1\" LogTypeName=\"Application\" "
            "RecordNumber=\"3\" TimeGenerated=\"2003-01-01 00:02:00\" EventID=\"7002\" "
            "EventTypeCode=\"I\" EventTypeName=\"Information\" EventCategoryID=\"1\" "
            "EventCategoryName=\"\" ELUserName=\"NT AUTHORITY\\SYSTEM\" "
            "ELSourceName=\"Service Control Manager\" FullMessage=\"Message &lt;2> &amp; "
            "more\" CreatedAt=\"2003-02-01 10:00:00\"/>");
  EXPECT_EQ(entries.Item(2).GetAttribute("ELServerName").CStr(), "SRV1");
  EXPECT_EQ(entries.Item(1).GetAttribute("ELSourceName").CStr(), "Disk");
  EXPECT_THAT(
      env_.NewTraceTexts(),
      ElementsAre(">>>Reports.LogEntryPageDetailsGetFromDB", ::testing::_, ::testing::_,
                  ::testing::_, ::testing::_, ::testing::_, ::testing::_, ::testing::_,
                  "->Executing LogEntryPageDetailsGet, 3,2,1", "sXml " + sXml.CStr(), ::testing::_,
                  ::testing::_, "Reports.LogEntryPageDetailsGetFromDB no errors - lngRetVal=0"));
}

TEST_P(PageRetrievalTest, DuplicateKeysGetTheirDetailsOnTheFirstElementOnly) {
  AddEntries(2);
  com::Variant sXml(
      "<P><LogEntry LEID=\"2\"/><LogEntry LEID=\"1\"/><LogEntry LEID=\"2\" Mark=\"x\"/></P>");
  ASSERT_EQ(Details(sXml), 0);
  xml::Document doc;
  ASSERT_TRUE(doc.LoadXml(sXml.CStr()));
  xml::NodeList entries = doc.DocumentElement().SelectNodes("LogEntry");
  ASSERT_EQ(entries.Length(), 3u);
  // Rows come back in key order; the document keeps its own order.
  EXPECT_EQ(entries.Item(0).GetAttribute("RecordNumber").CStr(), "2");
  EXPECT_EQ(entries.Item(1).GetAttribute("RecordNumber").CStr(), "1");
  EXPECT_EQ(entries.Item(2).Xml(), "<LogEntry LEID=\"2\" Mark=\"x\"/>");
}

// The procedure reads a key with blanks around it; its details find the element all the same.
TEST_P(PageRetrievalTest, KeysWithBlanksAroundThemGetTheirDetails) {
  AddEntries(2);
  com::Variant sXml("<P><LogEntry LEID=\" 2 \"/><LogEntry LEID=\"1  \"/></P>");
  env_.NewTraceTexts();
  ASSERT_EQ(Details(sXml), 0);
  EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing LogEntryPageDetailsGet, 2,1"));
  xml::Document doc;
  ASSERT_TRUE(doc.LoadXml(sXml.CStr()));
  xml::NodeList entries = doc.DocumentElement().SelectNodes("LogEntry");
  ASSERT_EQ(entries.Length(), 2u);
  EXPECT_EQ(entries.Item(0).GetAttribute("LEID").CStr(), " 2 ");
  EXPECT_EQ(entries.Item(0).GetAttribute("RecordNumber").CStr(), "2");
  EXPECT_EQ(entries.Item(1).GetAttribute("RecordNumber").CStr(), "1");
}

TEST_P(PageRetrievalTest, DetailsFailureCodes) {
  AddEntries(2);
  // No key: 1, without touching the database or tracing any further line.
  com::Variant sXml("<P PageCount=\"0\"><PageLinks/></P>");
  env_.NewTraceTexts();
  EXPECT_EQ(Details(sXml), 1);
  EXPECT_EQ(sXml.CStr(), "<P PageCount=\"0\"><PageLinks/></P>");
  EXPECT_THAT(env_.NewTraceTexts(), ElementsAre(">>>Reports.LogEntryPageDetailsGetFromDB"));

  EXPECT_EQ(Details(sXml = com::Variant("<P")), 91);
  // A key that comes back in another spelling matches no element: 91, document unchanged.
  EXPECT_EQ(Details(sXml = com::Variant("<P><LogEntry LEID=\"01\"/></P>")), 91);
  EXPECT_EQ(sXml.CStr(), "<P><LogEntry LEID=\"01\"/></P>");
  // More keys than @ids holds: the provider's error at execution.
  std::string many = "<P>";
  for (int i = 0; i < 900; ++i) many += "<LogEntry LEID=\"" + std::to_string(10000 + i) + "\"/>";
  many += "</P>";
  const std::int32_t code = Details(sXml = com::Variant(many));
  EXPECT_LT(code, 0);
  EXPECT_EQ(env_.TraceTexts().back(),
            "*** ->Reports.LogEntryPageDetailsGetFromDB error: lngRetVal=" + std::to_string(code) +
                "; Err.Description= String or binary data would be truncated.");
  // Keys that are not keys are refused before anything runs.
  for (const char* leid : {"1) OR (1=1", "1,2", "", " ", "1 2", "+1", "1; DELETE FROM LogEntry"}) {
    sXml = com::Variant(std::string("<P><LogEntry LEID=\"") + leid + "\"/></P>");
    env_.NewTraceTexts();
    EXPECT_EQ(Details(sXml), 5) << leid;
    EXPECT_THAT(env_.NewTraceTexts(),
                ElementsAre(">>>Reports.LogEntryPageDetailsGetFromDB",
                            "Call function CommonMethods.DBConnectionClose",
                            "CommonMethods.DBConnectionClose no errors",
                            "*** ->Reports.LogEntryPageDetailsGetFromDB error: lngRetVal=5; "
                            "Err.Description= Invalid procedure call or argument: LEID"));
  }
  EXPECT_EQ(env_.Count("SELECT COUNT(*) FROM LogEntry"), 2);
}

TAMSEL_ON_BOTH_ENGINES(PageRetrievalTest);

}  // namespace
}  // namespace tamsel::reports::browse
