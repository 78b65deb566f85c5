// The CSV export: RFC 4180 fields, messages as plain text, and every entry of the key query
// in its order, across batches.
#include "web/csv_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/database_file.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"
#include "web/web_app.h"

namespace tamsel::web {
namespace {

TEST(CsvFieldTest, QuotesOnlyWhatNeedsIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"line\nfeed", "\"line\nfeed\""},
      {"Größe ü", "Größe ü"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(CsvField(text), expected) << text;
  EXPECT_EQ(CsvLine({"a", "b,c", ""}), "a,\"b,c\",\r\n");
}

TEST(CsvFieldTest, FormulasStayText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"+1", "'+1"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"  \t=1", "'  \t=1"},
      {"=1,2", "\"'=1,2\""},
      {"a=1", "a=1"},
      {"x-y", "x-y"},
      {"   ", "   "},
      {"\n=1", "\"\n=1\""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(CsvField(text), expected) << text;
}

TEST(MessageTextTest, LineBreaksOfStoredMessages) {
  EXPECT_EQ(MessageText("one<br>two<BR>three"), "one\r\ntwo\r\nthree");
  EXPECT_EQ(MessageText("<script>x</script>"), "<script>x</script>");
  EXPECT_THAT(MessageLines("a<br>"), ::testing::ElementsAre("a", ""));
}

class CsvExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp_.Path() / "network");
    platform::network::Network::Current().CreateMachineFolder("WEBHOST");
    const std::filesystem::path file = db::LocalCatalogFile(db::kDefaultCatalog);
    std::filesystem::create_directories(file.parent_path());
    db::CreateDatabase(file);
    auto db = platform::data::Session::Open(file);
    db->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01');"
        "INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application');"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (50, 'Shop');");
    for (int i = 1; i <= 5; ++i) {
      db->Prepare(
            "INSERT INTO LogEntry (LEID, ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
            "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, "
            "FullMessage) VALUES (?, 1, 1, ?, ?, ?, 100, 4, 1, 1, 50, ?)")
          .BindInt64(1, 10 + i)
          .BindInt64(2, i)
          .BindText(3, "2024-01-0" + std::to_string(i) + " 10:00:00")
          .BindText(4, "2024-01-0" + std::to_string(i) + " 10:00:00")
          .BindText(5, i == 3 ? "Disk \"D:\", full<br>clean up" : "entry " + std::to_string(i))
          .Run();
    }
  }
  static std::string Connection() {
    return "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=TamselDB;"
           "TRUSTED_CONNECTION=YES";
  }
  tamsel::testing::ScopedTempDir temp_;
  tamsel::testing::ScopedEnv network_{"TAMSEL_NETWORK", (temp_.Path() / "network").string()};
  tamsel::testing::ScopedEnv machine_{"TAMSEL_MACHINE", "WEBHOST"};
};

TEST_F(CsvExportTest, WritesEveryEntryInKeyOrderAcrossBatches) {
  CsvExport csv(Connection(),
                "SELECT LEID,TimeGenerated FROM LogEntry WHERE  EventID IN(100) "
                "ORDER BY TimeGenerated DESC");
  std::string out;
  int calls = 0;
  while (csv.Next(out, 2)) ++calls;
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(csv.RowsWritten(), 5);
  ASSERT_EQ(out.rfind("\xEF\xBB\xBF"
                      "Entry,Time generated,Server",
                      0),
            0u);
  const std::size_t e15 = out.find("\r\n15,"), e13 = out.find("\r\n13,"), e11 = out.find("\r\n11,");
  ASSERT_NE(e15, std::string::npos);
  EXPECT_LT(e15, e13);
  EXPECT_LT(e13, e11);
  EXPECT_NE(out.find(",\"Disk \"\"D:\"\", full\r\nclean up\"\r\n"), std::string::npos);
}

TEST_F(CsvExportTest, NoMatchGivesTheHeaderAlone) {
  CsvExport csv(Connection(),
                "SELECT LEID,EventID FROM LogEntry WHERE  EventID IN(9) "
                "ORDER BY EventID ASC");
  std::string out;
  EXPECT_FALSE(csv.Next(out, 100));
  EXPECT_EQ(csv.RowsWritten(), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

}  // namespace
}  // namespace tamsel::web
