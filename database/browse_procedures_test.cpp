// Tests of the log browser's procedures through the ADO path: the key list of
// LogEntryPageDetailsGet and its columns, the navigation rows, the two-field list marks, and
// the saved report store.
#include "database/browse_procedures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "platform/com/com_error.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"
#include "platform/data/provider_error.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using namespace platform::data;  // ADO's constants, as the callers spell them
using ::testing::ElementsAre;

class BrowseProceduresTest : public EngineDatabaseTest {
 protected:
  void SetUp() override {
    EngineDatabaseTest::SetUp();
    if (IsSkipped()) return;
    conn_.Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'beta'), (2, 'Alpha');"
        "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System'), (2, 'Application');"
        "INSERT INTO ELServerLogType VALUES (1, 1), (1, 2), (2, 1);"
        "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (3, 'Disk');"
        "INSERT INTO LogEntry (LEID, ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
        "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID) VALUES "
        "(10, 1, 1, 1, '2003-01-01 00:00:00', '2003-01-01 00:00:00', 7, 1, 1, 1, 3),"
        "(11, 2, 1, 1, '2003-01-01 00:00:01', '2003-01-01 00:00:01', -3, 2, 1, 1, 3);"
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) VALUES "
        "(1, 'alice', 'x', 2);",
        adExecuteNoRecords);
  }

  Recordset Call(const char* name, std::vector<Variant> values = {}) {
    Command command;
    command.SetActiveConnection(conn_);
    command.SetCommandType(adCmdStoredProc);
    command.SetCommandText(name);
    const ProcedureDefinition* procedure = ProcedureCatalog::Global().Find(name);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const ProcedureParameter& declared = procedure->parameters[i];
      command.GetParameters().Append(
          command.CreateParameter(declared.name, declared.adoType,
                                  declared.output ? adParamOutput : adParamInput, 0, values[i]));
    }
    return command.Execute();
  }

  std::vector<std::string> Column(Recordset rows, long column) {
    std::vector<std::string> values;
    for (; !rows.IsEOF(); rows.MoveNext()) values.push_back(rows[column].CStr());
    return values;
  }

  HRESULT ErrorOf(const char* name, std::vector<Variant> values) {
    try {
      Call(name, std::move(values));
    } catch (const platform::com::ComError& error) {
      return error.Number();
    }
    return 0;
  }
};

TEST_P(BrowseProceduresTest, PageDetailsByKeyListWithEveryColumn) {
  Recordset rows = Call("LogEntryPageDetailsGet", {Variant("11, 10,99")});
  ASSERT_EQ(rows.GetFields().Count(), 14);
  std::vector<std::string> names;
  for (long i = 0; i < 14; ++i) names.push_back(rows.GetFields().Item(i).Name());
  EXPECT_THAT(names, ElementsAre("LEID", "ELServerName", "LogTypeName", "RecordNumber",
                                 "TimeGenerated", "EventID", "EventTypeCode", "EventTypeName",
                                 "EventCategoryID", "EventCategoryName", "ELUserName",
                                 "ELSourceName", "FullMessage", "CreatedAt"));
  EXPECT_THAT(Column(rows, 0), ElementsAre("10", "11"));
  EXPECT_THAT(Column(Call("LogEntryPageDetailsGet", {Variant("11")}), 5), ElementsAre("-3"));
}

TEST_P(BrowseProceduresTest, PageDetailsRefuseWhatIsNotAKeyList) {
  for (const char* ids : {"", "10,", "10) OR (1=1", "10;DELETE FROM LogEntry", "1.5", "a"}) {
    EXPECT_EQ(ErrorOf("LogEntryPageDetailsGet", {Variant(ids)}), kCantConvertValue) << ids;
  }
  EXPECT_EQ(ErrorOf("LogEntryPageDetailsGet", {Variant::Null()}), kCantConvertValue);
  std::string many = "1";
  while (many.size() <= kIdsSize) many += ",1";
  EXPECT_EQ(ErrorOf("LogEntryPageDetailsGet", {Variant(many)}), kErrorsInCommand);
  EXPECT_EQ(conn_.Execute("SELECT COUNT(*) FROM LogEntry")[0L].CLng(), 2);
}

TEST_P(BrowseProceduresTest, MenuRowsKeepEachServerTogether) {
  Recordset rows = Call("MenuServerListGet");
  EXPECT_THAT(Column(rows, 1), ElementsAre("Alpha", "beta", "beta"));
  EXPECT_THAT(Column(Call("MenuServerListGet"), 2), ElementsAre("System", "Application", "System"));
}

TEST_P(BrowseProceduresTest, OnlyTheListsAreMarkedAsTwoFieldLists) {
  std::vector<std::string> marked;
  for (const std::string& name : ProcedureCatalog::Global().Names()) {
    if (ProcedureCatalog::Global().Find(name)->twoFieldList) marked.push_back(name);
  }
  EXPECT_THAT(marked,
              ::testing::UnorderedElementsAre("ELServerNameListGet", "LogTypeNameListGet",
                                              "ELSourceNameListGet", "EventTypeNameListGet",
                                              "EventCategoryNameListGet", "AppRoleNameListGet"));
  for (const std::string& name : marked) {
    EXPECT_TRUE(ProcedureCatalog::Global().Find(name)->parameters.empty());
    EXPECT_GE(Call(name.c_str()).GetFields().Count(), 2) << name;
  }
  EXPECT_THAT(Column(Call("ELServerNameListGet"), 1), ElementsAre("Alpha", "beta"));
}

TEST_P(BrowseProceduresTest, SavedReportStore) {
  Command make;
  make.SetActiveConnection(conn_);
  make.SetCommandType(adCmdStoredProc);
  make.SetCommandText("SavedReportHdrMake");
  make.GetParameters().Append(make.CreateParameter("@SavedReportHdrID", adInteger, adParamOutput));
  make.GetParameters().Append(
      make.CreateParameter("@AppUserID", adInteger, adParamInput, 4, Variant(std::int32_t{1})));
  make.GetParameters().Append(make.CreateParameter("@SavedReportDescription", adVarChar,
                                                   adParamInput, 255, Variant("header only")));
  make.Execute(adExecuteNoRecords);
  const Variant id = make.GetParameters().Item("@SavedReportHdrID").Value();
  EXPECT_EQ(id.CLng(), 1);

  // A header without items still gives its description back.
  Recordset rows = Call("SavedReportGet", {id});
  EXPECT_THAT(Column(rows, 0), ElementsAre("header only"));
  EXPECT_THAT(Column(Call("SavedReportGet", {id}), 1), ElementsAre(""));

  // Items come back in item order, whatever the order they were added in.
  Call("SavedReportMetaDataAdd", {id, Variant(std::int32_t{1}), Variant("second")});
  Call("SavedReportMetaDataAdd", {id, Variant(std::int32_t{0}), Variant("first")});
  EXPECT_THAT(Column(Call("SavedReportGet", {id}), 1), ElementsAre("first", "second"));
  EXPECT_EQ(ErrorOf("SavedReportMetaDataAdd",
                    {id, Variant(std::int32_t{2}), Variant(std::string(1024, 'x'))}),
            kErrorsInCommand);
  // 1023 characters of two bytes each fit the item.
  std::string wide;
  for (int i = 0; i < 1023; ++i) wide += "\xC3\xA9";
  Call("SavedReportMetaDataAdd", {id, Variant(std::int32_t{2}), Variant(wide)});
  EXPECT_EQ(ErrorOf("SavedReportMetaDataAdd",
                    {Variant(std::int32_t{9}), Variant(std::int32_t{0}), Variant("orphan")}),
            kIntegrityViolation);

  EXPECT_THAT(Column(Call("SavedReportListGet", {Variant(std::int32_t{1})}), 1),
              ElementsAre("header only"));
  Call("SavedReportDelete", {id});
  EXPECT_EQ(conn_.Execute("SELECT COUNT(*) FROM SavedReportItem")[0L].CLng(), 0);
  EXPECT_TRUE(Call("SavedReportListGet", {Variant(std::int32_t{1})}).IsEOF());
}

TEST(CharacterCountTest, CountsUtf16CodeUnitsOfUtf8) {
  EXPECT_EQ(CharacterCount(""), 0u);
  EXPECT_EQ(CharacterCount("abc"), 3u);
  EXPECT_EQ(CharacterCount("\xC3\xA9t\xC3\xA9"), 3u);
  EXPECT_EQ(CharacterCount("\xF0\x9F\x98\x80"), 2u);
}

std::string Repeated(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// The description's 255 characters are 16-bit units, the unit the item split counts in too.
TEST_P(BrowseProceduresTest, DescriptionLengthCountsUtf16Units) {
  struct Case {
    std::string description;
    bool fits;
  } cases[] = {
      {std::string(255, 'a'), true},
      {std::string(256, 'a'), false},
      {Repeated("\xC3\xA9", 255), true},
      {Repeated("\xF0\x9F\x98\x80", 127) + "a", true},
      {Repeated("\xF0\x9F\x98\x80", 128), false},
  };
  for (const Case& c : cases) {
    const bool stored = ErrorOf("SavedReportHdrMake",
                                {Variant(), Variant(std::int32_t{1}), Variant(c.description)}) == 0;
    EXPECT_EQ(stored, c.fits) << c.description.size() << " bytes";
  }
}

TAMSEL_ON_BOTH_ENGINES(BrowseProceduresTest);

}  // namespace
}  // namespace tamsel::db
