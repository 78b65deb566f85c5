// Tests of the collector's procedures through the full ADO path: LogEntryInsert with its
// twelve parameters and the backup file, LogEntryExclusionCheck and LogBackupCheck.
#include <gtest/gtest.h>

#include <functional>

#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "database/schema.h"
#include "platform/com/com_error.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using namespace platform::data;  // ADO's constants, as the callers spell them

struct Record {
  Variant server = Variant(std::int16_t{1});
  std::string log = "Application";
  std::int32_t recordNumber = 1;
  std::string generated = "06/28/2002 21:40:27";
  std::string written = "06/28/2002 21:40:28";
  std::int16_t eventId = 7036;
  std::int16_t type = 4;
  std::int16_t category = 0;
  std::string categoryName;
  std::string user = "NT AUTHORITY\\SYSTEM";
  std::string source = "Service Control Manager";
  std::string message = "The service entered the running state.";
  Variant backup = Variant::Null();  // the backup file it was read from
};

class LogEntryProceduresTest : public EngineDatabaseTest {
 protected:
  void SetUp() override {
    EngineDatabaseTest::SetUp();
    if (IsSkipped()) return;
    conn_.Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01'), "
        "(2, 'SRV02')",
        adExecuteNoRecords);
  }

  Command Procedure(const char* name) {
    Command command;
    command.SetActiveConnection(conn_);
    command.SetCommandType(adCmdStoredProc);
    command.SetCommandText(name);
    return command;
  }

  // The collector's call: no return-value parameter, twelve inputs, options 0.
  void Insert(const Record& r) {
    Command command = Procedure("LogEntryInsert");
    Parameters& p = command.GetParameters();
    auto add = [&](const char* name, long type, long size, Variant value) {
      p.Append(command.CreateParameter(name, type, adParamInput, size, std::move(value)));
    };
    add("@ELServerID", adInteger, 4, r.server);
    add("@LogTypeName", adVarChar, 127, Variant(r.log));
    add("@RecordNumber", adInteger, 4, Variant(r.recordNumber));
    add("@TimeGenerated", adDBTimeStamp, 255, Variant(r.generated));
    add("@TimeWritten", adDBTimeStamp, 255, Variant(r.written));
    add("@EventID", adInteger, 4, Variant(r.eventId));
    add("@EventTypeID", adInteger, 4, Variant(r.type));
    add("@EventCategoryID", adInteger, 4, Variant(r.category));
    add("@EventCategoryName", adVarChar, 127, Variant(r.categoryName));
    add("@UserName", adVarChar, 255, Variant(r.user));
    add("@SourceName", adVarChar, 127, Variant(r.source));
    add("@DescriptionFullMessage", adVarChar, 1024, Variant(r.message));
    add("@BackupFileName", adVarChar, 260, r.backup);
    command.Execute(0);
  }

  std::int64_t Count(const std::string& sql) { return conn_.Execute(sql)[0L].CLng(); }

  int Excluded(int server, int type) {
    Command command = Procedure("LogEntryExclusionCheck");
    command.GetParameters().Append(command.CreateParameter(
        "@ELServerID", adInteger, adParamInput, 4, Variant(static_cast<std::int16_t>(server))));
    command.GetParameters().Append(command.CreateParameter(
        "@EventTypeID", adInteger, adParamInput, 4, Variant(static_cast<std::int16_t>(type))));
    Recordset rs = command.Execute(0);
    int flag = 0;
    for (; !rs.IsEOF(); rs.MoveNext()) flag = std::atoi(rs["InExclusionList"].CStr().c_str());
    return flag;
  }

  int BackupKnown(int server, const std::string& log, const std::string& file) {
    Command command = Procedure("LogBackupCheck");
    Parameters& p = command.GetParameters();
    p.Append(command.CreateParameter("@ELServerID", adInteger, adParamInput, 4, Variant(server)));
    p.Append(command.CreateParameter("@LogTypeName", adVarChar, adParamInput, 127, Variant(log)));
    p.Append(
        command.CreateParameter("@BackupFileName", adVarChar, adParamInput, 260, Variant(file)));
    Recordset rs = command.Execute(0);
    return rs.IsEOF() ? -1 : static_cast<int>(rs["BackupKnown"].CLng());
  }
};

TEST_P(LogEntryProceduresTest, StoresARecordWithEveryNameMappedAndTimesAsIsoText) {
  Record r;
  r.categoryName = "Logon";
  r.category = 2;
  Insert(r);
  Recordset rs = conn_.Execute(
      "SELECT s.ELServerName, lt.LogTypeName, le.RecordNumber, le.TimeGenerated, "
      "le.TimeWritten, le.EventID, et.EventTypeName, ec.EventCategoryName, le.CategoryNumber, "
      "u.ELUserName, src.ELSourceName, le.FullMessage FROM LogEntry le "
      "JOIN ELServer s ON s.ELServerID = le.ELServerID "
      "JOIN LogType lt ON lt.LogTypeID = le.LogTypeID "
      "JOIN EventType et ON et.EventTypeID = le.EventTypeID "
      "JOIN EventCategory ec ON ec.EventCategoryID = le.EventCategoryID "
      "JOIN ELUser u ON u.ELUserID = le.ELUserID "
      "JOIN ELSource src ON src.ELSourceID = le.ELSourceID");
  ASSERT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs["ELServerName"].CStr(), "SRV01");
  EXPECT_EQ(rs["LogTypeName"].CStr(), "Application");
  EXPECT_EQ(rs["TimeGenerated"].CStr(), "2002-06-28 21:40:27");
  EXPECT_EQ(rs["TimeWritten"].CStr(), "2002-06-28 21:40:28");
  EXPECT_EQ(rs["EventID"].CLng(), 7036);
  EXPECT_EQ(rs["EventTypeName"].CStr(), "Information");
  EXPECT_EQ(rs["EventCategoryName"].CStr(), "Logon");
  EXPECT_EQ(rs["CategoryNumber"].CLng(), 2);
  EXPECT_EQ(rs["ELUserName"].CStr(), "NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(rs["ELSourceName"].CStr(), "Service Control Manager");
  EXPECT_EQ(rs["FullMessage"].CStr(), r.message);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ELServerLogType WHERE ELServerID = 1"), 1);
}

TEST_P(LogEntryProceduresTest, NamesAreReusedCaseInsensitivelyAndEmptyNamesHaveTheirOwnRow) {
  Record a;
  a.user = "";
  a.categoryName = "";
  Insert(a);
  Record b = a;
  b.recordNumber = 2;
  b.log = "APPLICATION";
  b.source = "service control manager";
  Insert(b);
  Record c = a;
  c.recordNumber = 3;
  c.log = "System";
  c.server = Variant(std::int16_t{2});
  Insert(c);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 3);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogType"), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ELSource"), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ELUser"), 1);  // the seeded empty name
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry le JOIN ELUser u ON u.ELUserID = le.ELUserID "
                  "JOIN EventCategory ec ON ec.EventCategoryID = le.EventCategoryID "
                  "WHERE u.ELUserName = '' AND ec.EventCategoryName = ''"),
            3);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ELServerLogType"), 2);
}

TEST_P(LogEntryProceduresTest, NegativeEventIdsAndUnknownTypesAreStoredAsGiven) {
  Record r;
  r.eventId = -1;  // low 16 bits all ones
  r.type = 3;
  Insert(r);
  EXPECT_EQ(Count("SELECT EventID FROM LogEntry"), -1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry le JOIN EventType et "
                  "ON et.EventTypeID = le.EventTypeID WHERE et.EventTypeID = 3"),
            1);
}

TEST_P(LogEntryProceduresTest, StoringTheSameRecordTwiceKeepsOneRow) {
  Record r;
  Insert(r);
  Insert(r);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 1);
  Record later = r;
  later.generated = "06/28/2002 21:40:29";  // same number after a clear: a new record
  Insert(later);
  Record otherLog = r;
  otherLog.log = "System";
  Insert(otherLog);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 3);
  // Consecutive clears may give two records the same number and second of generation;
  // another write time or event id still makes them two records.
  Record sameSecond = r;
  sameSecond.written = "06/28/2002 21:41:00";
  Insert(sameSecond);
  Record otherEvent = r;
  otherEvent.eventId = r.eventId + 1;
  Insert(otherEvent);
  Insert(otherEvent);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 5);
}

TEST_P(LogEntryProceduresTest, AMonthWhoseFirstEntriesWereRolledBackIsMadeAgain) {
  Record r;
  conn_.Execute("BEGIN TRANSACTION", adExecuteNoRecords);
  Insert(r);
  conn_.Execute("ROLLBACK TRANSACTION", adExecuteNoRecords);
  conn_.Execute("BEGIN TRANSACTION", adExecuteNoRecords);
  Insert(r);
  conn_.Execute("COMMIT TRANSACTION", adExecuteNoRecords);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 1);
  // On the server the entry lies in its month's partition, not in the default one.
  if (GetParam() == Engine::Server) {
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry_2002_06"), 1);
  }
}

TEST_P(LogEntryProceduresTest, ARecordOfABackupIsKnownByTheBackupAndItsNumber) {
  const Variant first("D:\\EvtBak\\Application_20020628214027.evt");
  const Variant second("D:\\EvtBak\\Application_20020628214028.evt");
  Record r;
  r.backup = first;
  Insert(r);
  Insert(r);  // the backup read again
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 1);
  // The next generation of the log: same number, seconds and event id, another backup.
  Record next = r;
  next.backup = second;
  next.message = "second";
  Insert(next);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 2);
  // Names compare as Windows file names do.
  Record shouted = next;
  shouted.backup = Variant("d:\\EVTBAK\\APPLICATION_20020628214028.EVT");
  Insert(shouted);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogBackup"), 2);
  EXPECT_EQ(BackupKnown(1, "application", "D:\\EvtBak\\Application_20020628214027.evt"), 1);
  EXPECT_EQ(BackupKnown(2, "Application", "D:\\EvtBak\\Application_20020628214027.evt"), 0);
  EXPECT_EQ(BackupKnown(1, "System", "D:\\EvtBak\\Application_20020628214027.evt"), 0);
  EXPECT_EQ(BackupKnown(1, "Application", "D:\\EvtBak\\Application_20020628214029.evt"), 0);
}

TEST_P(LogEntryProceduresTest, ARowStoredWithoutABackupStandsForOneRecordOfABackup) {
  Record old;  // stored before backups were known
  Insert(old);
  Record reread = old;
  reread.backup = Variant("D:\\EvtBak\\Application_20020628214027.evt");
  Insert(reread);
  Insert(reread);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry WHERE LogBackupID IS NOT NULL"), 1);
  Record other = old;  // taken already: another backup's record is a record of its own
  other.backup = Variant("D:\\EvtBak\\Application_20020628214028.evt");
  Insert(other);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 2);
}

// Inside the collector's transaction a call takes the keys earlier calls found; whatever
// else the connection does in between must not leave it with a key that is gone or an answer
// that changed.
TEST_P(LogEntryProceduresTest, CallsInATransactionSeeWhatElseTheConnectionDid) {
  Record first;
  first.source = "Late Source";
  first.backup = Variant("D:\\EvtBak\\Application_1.evt");
  Record second = first;
  second.recordNumber = 2;
  Record unbacked = first;  // stored without a backup, then read again from one
  unbacked.recordNumber = 3;
  unbacked.backup = Variant::Null();
  Record adopting = unbacked;
  adopting.backup = first.backup;
  auto run = [&](const char* sql) { conn_.Execute(sql, adExecuteNoRecords); };
  struct Case {
    const char* name;
    std::function<void()> steps;
    std::int64_t entries, backed;
  };
  const Case cases[] = {
      {"a record read twice", [&] { Insert(first), Insert(second), Insert(first); }, 2, 2},
      {"a savepoint rolled back over new names and backup",
       [&] {
         run("SAVEPOINT before_first");
         Insert(first);
         run("ROLLBACK TO SAVEPOINT before_first");
         run("RELEASE SAVEPOINT before_first");
         Insert(first);
       },
       1, 1},
      {"rows deleted by another statement",
       [&] {
         Insert(first);
         run("DELETE FROM LogEntry");
         run("DELETE FROM LogBackup");
         Insert(second);
       },
       1, 1},
      {"a transaction rolled back",
       [&] {
         Insert(first);
         run("ROLLBACK TRANSACTION");
         run("BEGIN TRANSACTION");
         Insert(first);
       },
       1, 1},
      {"a row without a backup stored meanwhile",
       [&] { Insert(first), Insert(second), Insert(unbacked), Insert(adopting); }, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run("BEGIN TRANSACTION");
    EXPECT_NO_THROW(c.steps());
    run("COMMIT TRANSACTION");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), c.entries);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry WHERE LogBackupID IS NOT NULL"), c.backed);
    run("DELETE FROM LogEntry");
    run("DELETE FROM LogBackup");
    run("DELETE FROM ELSource WHERE ELSourceName = 'Late Source'");
  }
}

TEST_P(LogEntryProceduresTest, BadValuesAreRefusedWithoutStoringAnything) {
  auto hresult = [&](Record r) -> std::uint32_t {
    try {
      Insert(r);
    } catch (const platform::com::ComError& error) {
      return static_cast<std::uint32_t>(error.Number());
    }
    return 0;
  };
  Record badTime;
  badTime.generated = "13/45/2002 99:00:00";
  EXPECT_EQ(hresult(badTime), 0x80040E07u);
  Record nullServer;
  nullServer.server = Variant::Null();
  EXPECT_EQ(hresult(nullServer), 0x80040E2Fu);
  Record unknownServer;
  unknownServer.server = Variant(std::int16_t{99});
  EXPECT_EQ(hresult(unknownServer), 0x80040E2Fu);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM LogEntry"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM ELSource"), 0);  // the failed calls left no names
}

TEST_P(LogEntryProceduresTest, ExclusionCheckAnswersOneRowWithTheFlag) {
  conn_.Execute("INSERT INTO EventExclusion (ELServerID, EventTypeID) VALUES (1, 8)",
                adExecuteNoRecords);
  EXPECT_EQ(Excluded(1, 8), 1);
  EXPECT_EQ(Excluded(1, 4), 0);
  EXPECT_EQ(Excluded(2, 8), 0);
  EXPECT_EQ(Excluded(77, 8), 0);
}

TEST_P(LogEntryProceduresTest, VersionInfoGetFillsItsOutputParameter) {
  Command command = Procedure("VersionInfoGet");
  Parameters& p = command.GetParameters();
  p.Append(command.CreateParameter("lngRetVal", adInteger, adParamReturnValue, 0));
  p.Append(
      command.CreateParameter("@VersionInfoDesc", adVarChar, adParamOutput, 255, Variant::Null()));
  command.Execute(adExecuteNoRecords);
  EXPECT_EQ(p.Item("lngRetVal").Value(), Variant(0));
  EXPECT_EQ(p.Item("@VersionInfoDesc").Value().CStr(), VersionText());
}

TAMSEL_ON_BOTH_ENGINES(LogEntryProceduresTest);

}  // namespace
}  // namespace tamsel::db
