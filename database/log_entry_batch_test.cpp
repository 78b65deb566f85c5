// LogEntryBatch against LogEntryInsert: the same records stored one call at a time in one
// database and as one batch in another leave the same rows, keys included, and a batch
// stored again adds nothing, also when the next batch is gathered while one is merged.
#include "database/log_entry_batch.h"

#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using namespace platform::data;

struct Row {
  int server;
  const char* log;
  int number;
  const char* generated;
  int eventId, type;
  const char* category;
  const char* user;
  const char* source;
  const char* message;
  const char* backup;
};

// Repeats, a name in another case, an unknown type, an unknown server, COPY's special
// characters and a second month.
constexpr Row kRows[] = {
    {1, "Application", 1, "2002-06-28 21:40:27", 7036, 4, "", "NT AUTHORITY\\SYSTEM", "Svc", "one",
     "D:\\EvtBak\\Application_1.evt"},
    {1, "application", 2, "2002-06-28 21:40:28", -1, 3, "Disk", "", "SVC", "two\tcols\nlines\\",
     "D:\\EvtBak\\Application_1.evt"},
    {1, "Application", 1, "2002-06-28 21:40:27", 7036, 4, "", "NT AUTHORITY\\SYSTEM", "Svc",
     "one again", "D:\\EvtBak\\Application_1.evt"},
    {1, "Application", 1, "2002-07-01 00:00:00", 7036, 4, "", "", "Svc", "next backup",
     "D:\\EvtBak\\application_2.EVT"},
    {9, "Application", 3, "2002-06-28 21:40:29", 1, 4, "", "", "Nobody's", "unknown server",
     "D:\\EvtBak\\Application_1.evt"},
    {2, "System", 1, "2002-06-29 08:00:00", 6005, 4, "Boot", "", "EventLog", "",
     "D:\\EvtBak\\System_1.evt"},
};

class LogEntryBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Connection* connection : {&single_, &batched_}) {
      std::string why;
      const auto text = CreateTestDatabase(Engine::Server, why);
      if (!text) GTEST_SKIP() << why;
      connection->Open(*text);
      connection->Execute(
          "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'A'), (2, 'B')",
          adExecuteNoRecords);
    }
  }

  // The rows with every name and key, in key order.
  std::string Dump(Connection& connection) {
    Recordset rows = connection.Execute(
        "SELECT e.LEID, e.ELServerID, e.LogTypeID, t.LogTypeName, e.RecordNumber, "
        "e.TimeGenerated, e.TimeWritten, e.EventID, e.EventTypeID, y.EventTypeName, "
        "e.EventCategoryID, c.EventCategoryName, e.CategoryNumber, e.ELUserID, u.ELUserName, "
        "e.ELSourceID, o.ELSourceName, e.FullMessage, e.LogBackupID, b.BackupFileName "
        "FROM LogEntry e JOIN LogType t ON t.LogTypeID = e.LogTypeID "
        "JOIN EventType y ON y.EventTypeID = e.EventTypeID "
        "JOIN EventCategory c ON c.EventCategoryID = e.EventCategoryID "
        "JOIN ELUser u ON u.ELUserID = e.ELUserID JOIN ELSource o ON o.ELSourceID = e.ELSourceID "
        "JOIN LogBackup b ON b.LogBackupID = e.LogBackupID ORDER BY e.LEID");
    std::string dump;
    for (; !rows.IsEOF(); rows.MoveNext()) {
      for (long i = 0; i < rows.GetFields().Count(); ++i) dump += rows[i].CStr() + "|";
      dump += "\n";
    }
    Recordset logs = connection.Execute(
        "SELECT ELServerID, LogTypeID FROM ELServerLogType ORDER BY ELServerID, LogTypeID");
    for (; !logs.IsEOF(); logs.MoveNext()) dump += logs[0L].CStr() + "/" + logs[1L].CStr() + " ";
    return dump;
  }

  TestNetwork network_;  // first: the connections close before it goes
  Connection single_, batched_;
};

// LogEntryInsert of one row; false when the procedure refused it.
bool InsertOne(Connection& connection, const Row& row, const Variant& backup) {
  Command command;
  command.SetActiveConnection(connection);
  command.SetCommandType(adCmdStoredProc);
  command.SetCommandText("LogEntryInsert");
  for (Variant value : {Variant(row.server), Variant(row.log), Variant(row.number),
                        Variant(row.generated), Variant(row.generated), Variant(row.eventId),
                        Variant(row.type), Variant(0), Variant(row.category), Variant(row.user),
                        Variant(row.source), Variant(row.message), backup}) {
    command.GetParameters().Append(command.CreateParameter("", adVarChar, adParamInput, 0, value));
  }
  try {
    command.Execute(0);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

EntryValues ValuesOf(const Row& row) {
  EntryValues values;
  values.server = row.server;
  values.logName = row.log;
  values.recordNumber = row.number;
  values.timeGenerated = values.timeWritten = row.generated;
  values.eventId = row.eventId;
  values.eventType = row.type;
  values.categoryName = row.category;
  values.userName = row.user;
  values.sourceName = row.source;
  values.message = row.message;
  values.backupFile = row.backup;
  return values;
}

TEST_F(LogEntryBatchTest, StoresWhatLogEntryInsertStoresAndNothingTwice) {
  // The last row was stored once before its backup was known; reading it from the backup
  // adopts that row instead of adding one.
  const Row& early = kRows[std::size(kRows) - 1];
  ASSERT_TRUE(InsertOne(single_, early, Variant::Null()));
  ASSERT_TRUE(InsertOne(batched_, early, Variant::Null()));
  long refusedOneByOne = 0;
  for (const Row& row : kRows) {
    if (!InsertOne(single_, row, Variant(row.backup))) ++refusedOneByOne;
  }

  Session& session = batched_.GetSession();
  // First in two batches, the second gathered while the server merges the first, then
  // all again in one.
  session.Execute("BEGIN");
  LogEntryBatch batch;
  long refused = 0;
  for (size_t i = 0; i < std::size(kRows); ++i) {
    if (i == 2) batch.Start(session);
    ASSERT_TRUE(LogEntryBatch::Takes(ValuesOf(kRows[i])));
    batch.Add(ValuesOf(kRows[i]));
    EXPECT_EQ(batch.Merging(), i >= 2);
  }
  refused += batch.Finish();
  refused += batch.Store(session);
  session.Execute("COMMIT");
  EXPECT_EQ(refused, refusedOneByOne);
  for (const Row& row : kRows) batch.Add(ValuesOf(row));
  session.Execute("BEGIN");
  EXPECT_EQ(batch.Store(session), refusedOneByOne);
  session.Execute("COMMIT");

  EXPECT_EQ(refusedOneByOne, 1);
  const std::string expected = Dump(single_);
  EXPECT_EQ(batched_.Execute("SELECT COUNT(*) FROM LogEntry")[0L].CLng(), 4);
  EXPECT_EQ(batched_.Execute("SELECT COUNT(*) FROM LogEntry WHERE LogBackupID IS NULL")[0L].CLng(),
            0);
  EXPECT_EQ(Dump(batched_), expected);
}

}  // namespace
}  // namespace tamsel::db
