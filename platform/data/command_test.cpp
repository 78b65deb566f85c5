// Tests of commands on the embedded provider: SQL text, recordsets, and stored procedures
// bound by position with return value, output and input/output parameters.
#include "platform/data/command.h"

#include <gtest/gtest.h>

#include "platform/com/com_error.h"
#include "platform/data/data_test_support.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

using com::Variant;

// TestEcho(@A int, @B varchar, @Doubled int OUTPUT, @Text varchar OUTPUT) RETURN 7: doubles
// A into its output, appends "!" to the in/out text and returns A and B as a row.
int TestEcho(ProcedureCall& call) {
  call.SetOutput(2, call.Arg(0).IsNull() ? Variant::Null() : Variant(call.Arg(0).CLng() * 2));
  call.SetOutput(3, Variant(call.Arg(3).IsNull() ? std::string("null") : call.Arg(3).CStr() + "!"));
  call.SetRows({{"A", "B"}, {{call.Arg(0), call.Arg(1)}}});
  return 7;
}

int TestSmall(ProcedureCall& call) { return call.Arg(0).CInt(); }

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcedureCatalog::Global().Register({"TestEcho",
                                         {{"@A", adInteger},
                                          {"@B", adVarChar},
                                          {"@Doubled", adInteger, true},
                                          {"@Text", adVarChar, true}},
                                         TestEcho});
    ProcedureCatalog::Global().Register({"TestSmall", {{"@S", adSmallInt}}, TestSmall});
    net_.CreateDatabase("Cat",
                        "CREATE TABLE Server (ID INTEGER, Name TEXT);"
                        "INSERT INTO Server VALUES (1, 'SRV01'), (2, NULL), (3, 'SRV03');");
    conn_.Open("Provider=sqloledb;Data Source=(local);Initial Catalog=Cat;User Id=sa;Password=;");
  }

  Command Procedure(const std::string& name) { return ProcedureCommand(conn_, name); }

  TestNetwork net_;
  Connection conn_;
};

TEST_F(CommandTest, TextQueriesWalkRowsAndMoveFirstAfterAFullRead) {
  Command command;
  command.SetActiveConnection(conn_);
  command.SetCommandText("SELECT ServerID = ID, ServerName = Name FROM Server ORDER BY ID");
  Recordset rs = command.Execute(0);
  std::vector<std::string> seen;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    seen.push_back(rs["serverid"].CStr() + ":" +
                   (rs["ServerName"].IsNull() ? "NULL" : rs["ServerName"].CStr()));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1:SRV01", "2:NULL", "3:SRV03"}));
  EXPECT_EQ(Hresult([&] { rs.MoveNext(); }), 0x800A0BCDu);
  EXPECT_EQ(Hresult([&] { rs["ServerID"]; }), 0x800A0BCDu);
  rs.MoveFirst();
  EXPECT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs.GetFields().Item(0L).Value().CLng(), 1);
  EXPECT_EQ(rs.GetFields().Item(1L).Name(), "ServerName");
  EXPECT_EQ(Hresult([&] { rs.GetFields().Item("Nope"); }), 0x800A0CC1u);
  rs.Close();
  EXPECT_EQ(rs.State(), adStateClosed);
  EXPECT_EQ(Hresult([&] { rs.IsEOF(); }), 0x800A0E78u);
}

TEST_F(CommandTest, EmptyResultIsAtEofAndNoRecordsOptionGivesAClosedRecordset) {
  Recordset empty = conn_.Execute("SELECT ID FROM Server WHERE ID > 100");
  EXPECT_EQ(empty.State(), adStateOpen);
  EXPECT_TRUE(empty.IsEOF());
  EXPECT_TRUE(empty.BOF());
  Recordset none = conn_.Execute("UPDATE Server SET Name = 'X' WHERE ID = 1", adExecuteNoRecords);
  EXPECT_EQ(none.State(), adStateClosed);
  EXPECT_EQ(conn_.Execute("SELECT Name FROM Server WHERE ID = 1")["Name"].CStr(), "X");
}

TEST_F(CommandTest, SqlErrorsCarryTheServerNumbers) {
  EXPECT_EQ(Hresult([&] { conn_.Execute("SELEC ID FROM Server"); }), 0x80040E14u);
  EXPECT_EQ(Hresult([&] { conn_.Execute("SELECT ID FROM NoTable"); }), 0x80040E37u);
  EXPECT_EQ(Hresult([&] { conn_.Execute("SELECT Nope FROM Server"); }), 0x80040E14u);
  Connection closed;
  Command command;
  command.SetActiveConnection(closed);
  command.SetCommandText("SELECT 1");
  EXPECT_EQ(Hresult([&] { command.Execute(); }), 0x800A0E78u);
}

TEST_F(CommandTest, ProcedureBindsByPositionAndReturnsValuesAndRows) {
  Command command = Procedure("TestEcho");
  Parameters& params = command.GetParameters();
  // Names differ from the declared ones on purpose: binding is by position.
  params.Append(command.CreateParameter("@x", adInteger, adParamInput, 4, Variant("21")));
  params.Append(command.CreateParameter("@y", adVarChar, adParamInput, 10, Variant(3.5)));
  Parameter doubled = command.CreateParameter("@out", adInteger, adParamOutput, 0);
  params.Append(doubled);
  params.Append(command.CreateParameter("@io", adVarChar, adParamInputOutput, 10, Variant("hi")));
  Recordset rs = command.Execute(adOptionUnspecified);
  EXPECT_EQ(params.Item("lngRetVal").Value().CLng(), 7);  // readable before any row is read
  EXPECT_EQ(doubled.Value(), Variant(42));                // the appended object itself was set
  EXPECT_EQ(params.Item(4L).Value(), Variant("hi!"));
  ASSERT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs["A"], Variant(21));
  EXPECT_EQ(rs["B"], Variant("3.5"));
  EXPECT_EQ(params.Count(), 5);
}

TEST_F(CommandTest, NullsTravelBothWays) {
  Command command = Procedure("TestEcho");
  Parameters& params = command.GetParameters();
  params.Append(command.CreateParameter("@A", adInteger, adParamInput, 4, Variant::Null()));
  params.Append(command.CreateParameter("@B", adVarChar, adParamInput, 10));
  params.Append(command.CreateParameter("@C", adInteger, adParamOutput, 0, Variant(5)));
  params.Append(command.CreateParameter("@D", adVarChar, adParamInputOutput, 10, Variant::Null()));
  Recordset rs = command.Execute(adExecuteNoRecords);
  EXPECT_EQ(rs.State(), adStateClosed);
  EXPECT_TRUE(params.Item("@C").Value().IsNull());
  EXPECT_EQ(params.Item("@D").Value(), Variant("null"));
}

TEST_F(CommandTest, ValuesThatDoNotFitTheirTypeFailWithTheConversionError) {
  for (const Variant& bad : {Variant(32768), Variant("40000"), Variant("abc")}) {
    Command command = Procedure("TestSmall");
    command.GetParameters().Append(command.CreateParameter("@S", adSmallInt, adParamInput, 2, bad));
    EXPECT_EQ(Hresult([&] { command.Execute(adExecuteNoRecords); }), 0x80040E07u) << bad.CStr();
  }
  Command date = Procedure("TestSmall");
  date.GetParameters().Append(
      date.CreateParameter("@S", adDBTimeStamp, adParamInput, 8, Variant("not a date")));
  EXPECT_EQ(Hresult([&] { date.Execute(adExecuteNoRecords); }), 0x80040E07u);
  Command fits = Procedure("TestSmall");
  fits.GetParameters().Append(
      fits.CreateParameter("@S", adSmallInt, adParamInput, 2, Variant(-32768)));
  fits.Execute(adExecuteNoRecords);
  EXPECT_EQ(fits.GetParameters().Item(0L).Value(), Variant(-32768));
}

TEST_F(CommandTest, DeleteByNameThenReappendRebindsPositions) {
  Command command = Procedure("TestEcho");
  Parameters& params = command.GetParameters();
  params.Append(command.CreateParameter("@A", adInteger, adParamInput, 4, Variant(1)));
  params.Append(command.CreateParameter("@B", adVarChar, adParamInput, 10, Variant("b")));
  params.Append(command.CreateParameter("@C", adInteger, adParamOutput, 0));
  params.Append(command.CreateParameter("@D", adVarChar, adParamInputOutput, 10, Variant("d")));
  command.Execute(adExecuteNoRecords);
  params.Delete("@a");
  EXPECT_EQ(Hresult([&] { params.Delete("@A"); }), 0x800A0CC1u);
  EXPECT_EQ(Hresult([&] { command.Execute(adExecuteNoRecords); }), 0x80040E10u);
  // Re-appended at the end it binds to the last position now.
  params.Append(command.CreateParameter("@A", adInteger, adParamInput, 4, Variant(9)));
  params.Item("@B").SetValue(Variant(5));
  params.Item("@D").SetValue(Variant("7"));
  Recordset rs = command.Execute();
  // Now @B feeds @A, @C feeds @B, @D feeds @Doubled and @A feeds @Text.
  EXPECT_EQ(rs["A"], Variant(5));
  EXPECT_TRUE(rs["B"].IsNull());
  EXPECT_EQ(params.Item("@D").Value(), Variant(10));
  EXPECT_EQ(params.Item("@A").Value(), Variant(9));  // an input never changes
}

TEST_F(CommandTest, UnknownProceduresAndWrongArgumentCounts) {
  Command missing = Procedure("NoSuchProc");
  EXPECT_EQ(Hresult([&] { missing.Execute(); }), 0x80040E14u);
  Command tooMany = Procedure("TestSmall");
  tooMany.GetParameters().Append(
      tooMany.CreateParameter("@S", adSmallInt, adParamInput, 2, Variant(1)));
  tooMany.GetParameters().Append(
      tooMany.CreateParameter("@T", adSmallInt, adParamInput, 2, Variant(1)));
  EXPECT_EQ(Hresult([&] { tooMany.Execute(); }), 0x80040E14u);
  Command byDboName = Procedure("dbo.TESTSMALL");
  byDboName.GetParameters().Append(
      byDboName.CreateParameter("@S", adSmallInt, adParamInput, 2, Variant(3)));
  byDboName.Execute();
  EXPECT_EQ(byDboName.GetParameters().Item(0L).Value().CLng(), 3);
}

}  // namespace
}  // namespace tamsel::platform::data
