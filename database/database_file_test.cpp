// Tests of creating, upgrading, inspecting and checking database files, and of the first
// administrator's password hash.
#include "database/database_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "database/password_hash.h"
#include "database/schema.h"
#include "platform/data/data_test_support.h"

namespace tamsel::db {
namespace {

using platform::data::Session;

std::int64_t Rows(const DatabaseInfo& info, const std::string& table) {
  for (const auto& [name, rows] : info.tables) {
    if (name == table) return rows;
  }
  return -1;
}

TEST(DatabaseFileTest, CreateBuildsSchemaAndSeedsAndNeverOverwrites) {
  platform::data::TestNetwork net;
  const auto file = LocalCatalogFile(kDefaultCatalog);
  EXPECT_EQ(file, net.DataFolder() / "TamselDB.db");
  CreateDatabase(file);
  const DatabaseInfo info = ReadDatabaseInfo(file);
  EXPECT_EQ(info.version, kSchemaVersion);
  EXPECT_EQ(Rows(info, "EventType"), 6);
  EXPECT_EQ(Rows(info, "AppRole"), 2);
  EXPECT_EQ(Rows(info, "LogEntry"), 0);
  for (const char* table :
       {"ELServer", "LogEntry", "LogType", "EventType", "EventCategory", "ELUser", "ELSource",
        "ELServerLogType", "EventExclusion", "AppUser", "AppRole", "SavedReportHdr",
        "SavedReportItem", "AlertHdr", "AlertItem", "AlertRecipient", "VersionInfo"}) {
    EXPECT_GE(Rows(info, table), 0) << table;
  }
  EXPECT_TRUE(CheckDatabase(file).empty());
  {
    auto session = Session::Open(file);
    session->Execute("INSERT INTO ELServer (ELServerName) VALUES ('KEEP')");
  }
  EXPECT_THROW(CreateDatabase(file), std::runtime_error);
  EXPECT_EQ(Rows(ReadDatabaseInfo(file), "ELServer"), 1);  // the existing data survived
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
    EXPECT_EQ(entry.path().string().find(".creating"), std::string::npos);
  }
}

TEST(DatabaseFileTest, UpgradeTakesAnOlderDatabaseToTheCurrentSchema) {
  platform::data::TestNetwork net;
  const auto file = net.DataFolder() / "Old.db";
  {
    auto session = Session::Open(file, true);
    std::vector<SchemaStep> first(SchemaSteps().begin(), SchemaSteps().begin() + 1);
    EXPECT_EQ(UpgradeSchema(*session, first), 0);
    EXPECT_EQ(SchemaVersionOf(*session), 1);
    session->Execute("INSERT INTO ELServer (ELServerName) VALUES ('SRV01')");
  }
  EXPECT_FALSE(CheckDatabase(file).empty());  // reports the old version
  EXPECT_EQ(UpgradeDatabase(file), 1);
  const DatabaseInfo info = ReadDatabaseInfo(file);
  EXPECT_EQ(info.version, kSchemaVersion);
  EXPECT_EQ(Rows(info, "ELServer"), 1);
  EXPECT_EQ(Rows(info, "AppRole"), 2);
  EXPECT_EQ(UpgradeDatabase(file), kSchemaVersion);  // nothing left to do
  EXPECT_TRUE(CheckDatabase(file).empty());
}

TEST(DatabaseFileTest, UpgradeKeepsEveryStoredRecord) {
  platform::data::TestNetwork net;
  const auto file = net.DataFolder() / "Stored.db";
  {
    auto session = Session::Open(file, true);
    std::vector<SchemaStep> third(SchemaSteps().begin(), SchemaSteps().begin() + 3);
    UpgradeSchema(*session, third);
    session->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01');"
        "INSERT INTO LogType (LogTypeName) VALUES ('Application');"
        "INSERT INTO ELSource (ELSourceName) VALUES ('App');"
        "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten,"
        " EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) VALUES"
        " (1, 1, 1, '2002-06-28 21:40:27', '2002-06-28 21:40:27', 7, 4, 1, 1, 1),"
        " (1, 1, 1, '2002-06-28 21:40:27', '2002-06-28 21:40:27', 8, 4, 1, 1, 1),"
        " (1, 1, 2, '2002-06-28 21:40:27', '2002-06-28 21:40:27', 7, 4, 1, 1, 1)");
  }
  EXPECT_EQ(UpgradeDatabase(file), 3);
  EXPECT_EQ(Rows(ReadDatabaseInfo(file), "LogEntry"), 3);
}

TEST(DatabaseFileTest, ANewerDatabaseIsNotTouched) {
  platform::data::TestNetwork net;
  const auto file = net.DataFolder() / "New.db";
  CreateDatabase(file);
  {
    auto session = Session::Open(file);
    session->Execute("UPDATE VersionInfo SET SchemaVersion = 99");
  }
  EXPECT_THROW(UpgradeDatabase(file), std::exception);
  EXPECT_EQ(ReadDatabaseInfo(file).version, 99);
}

TEST(DatabaseFileTest, MissingAndCorruptFilesFailClearly) {
  platform::data::TestNetwork net;
  const auto missing = net.DataFolder() / "Missing.db";
  EXPECT_THROW(ReadDatabaseInfo(missing), std::exception);
  EXPECT_FALSE(std::filesystem::exists(missing));
  const auto corrupt = net.DataFolder() / "Corrupt.db";
  std::ofstream(corrupt) << std::string(8192, 'x');
  try {
    ReadDatabaseInfo(corrupt);
    FAIL() << "a corrupt file was read";
  } catch (const std::exception& error) {
    EXPECT_NE(std::string(error.what()).find("corrupt"), std::string::npos) << error.what();
  }
}

TEST(DatabaseFileTest, AdministratorGetsAnArgon2idHashAndUniqueName) {
  platform::data::TestNetwork net;
  const auto file = LocalCatalogFile(kDefaultCatalog);
  CreateDatabase(file);
  const std::int64_t id = CreateAdministrator(file, "admin", "s3cret pass");
  EXPECT_GT(id, 0);
  EXPECT_THROW(CreateAdministrator(file, "ADMIN", "other"), std::runtime_error);
  auto session = Session::Open(file);
  auto row = session->Prepare("SELECT AppUserPassword, AppRoleID FROM AppUser WHERE AppUserID = ?");
  row.BindInt64(1, id);
  ASSERT_TRUE(row.Step());
  const std::string hash = row.Text(0);
  EXPECT_TRUE(hash.starts_with("$argon2id$"));
  EXPECT_EQ(hash.find("s3cret"), std::string::npos);
  EXPECT_EQ(row.Int64(1), 1);
  EXPECT_TRUE(VerifyPassword(hash, "s3cret pass"));
  EXPECT_FALSE(VerifyPassword(hash, "s3cret pas"));
  EXPECT_FALSE(VerifyPassword("s3cret pass", "s3cret pass"));  // plain text is no hash
  EXPECT_NE(HashPassword("same"), HashPassword("same"));       // salted
}

}  // namespace
}  // namespace tamsel::db

namespace tamsel::db {
namespace {

// Every row of every table, as text, in a stable order.
std::vector<std::string> EveryRow(Session& session) {
  std::vector<std::string> rows;
  for (const std::string& table : TableNames(session)) {
    auto select = session.Prepare("SELECT * FROM " + table + " ORDER BY 1");
    while (select.Step()) {
      std::string row = table;
      for (int column = 0; column < select.ColumnCount(); ++column) {
        row += '|' + (select.IsNull(column) ? std::string("NULL") : select.Text(column));
      }
      rows.push_back(row);
    }
  }
  return rows;
}

TEST(DatabaseUpgradeTest, EveryRowOfThePreviousSchemaSurvives) {
  platform::data::TestNetwork net;
  const auto file = net.DataFolder() / "Previous.db";
  std::vector<std::string> before;
  {
    auto session = Session::Open(file, true);
    std::vector<SchemaStep> previous(SchemaSteps().begin(), SchemaSteps().end() - 1);
    UpgradeSchema(*session, previous);
    session->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (1, 'SRV01', 1);"
        "INSERT OR IGNORE INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'Application');"
        "INSERT INTO ELSource (ELSourceName) VALUES ('App');"
        "INSERT INTO AlertWatermark (AlertHdrID, AlertRecipientID, LastLEID) VALUES (3, 4, 5);");
    before = EveryRow(*session);
  }
  EXPECT_EQ(UpgradeDatabase(file), kSchemaVersion - 1);
  auto session = Session::Open(file);
  std::vector<std::string> after = EveryRow(*session);
  // Only the version row changes; every other row is as it was.
  auto withoutVersion = [](std::vector<std::string> rows) {
    std::erase_if(rows, [](const std::string& row) { return row.starts_with("VersionInfo|"); });
    return rows;
  };
  EXPECT_EQ(withoutVersion(after), withoutVersion(before));
  EXPECT_EQ(SchemaVersionOf(*session), kSchemaVersion);
}

}  // namespace
}  // namespace tamsel::db
