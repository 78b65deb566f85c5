// Tests of the alert procedures through the ADO path: headers and items, status, deletion,
// recipients with their stored windows and the twelve-hour split of the schedule list.
#include "database/alert_procedures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using namespace platform::data;  // ADO's constants, as the callers spell them
using ::testing::ElementsAre;
using ::testing::Optional;

TEST(ScheduleMinuteOfDayTest, ReadsTheClockFormsThePagesWrite) {
  EXPECT_THAT(ScheduleMinuteOfDay("08:00"), Optional(480));
  EXPECT_THAT(ScheduleMinuteOfDay("17:30"), Optional(1050));
  EXPECT_THAT(ScheduleMinuteOfDay(" 8:05:59 "), Optional(485));
  EXPECT_THAT(ScheduleMinuteOfDay("08:00 AM"), Optional(480));
  EXPECT_THAT(ScheduleMinuteOfDay("5:00pm"), Optional(1020));
  EXPECT_THAT(ScheduleMinuteOfDay("12:00 AM"), Optional(0));
  EXPECT_THAT(ScheduleMinuteOfDay("12:15 PM"), Optional(735));
  EXPECT_THAT(ScheduleMinuteOfDay("11 PM"), Optional(1380));
  EXPECT_THAT(ScheduleMinuteOfDay("23:59"), Optional(1439));
  for (const char* bad : {"", "8", "24:00", "13:00 PM", "0:30 AM", "8:7", "8:60", "8:00 XM", "noon",
                          "08:00:5", "1:00 AM PM"}) {
    EXPECT_EQ(ScheduleMinuteOfDay(bad), std::nullopt) << bad;
  }
}

class AlertProceduresTest : public EngineDatabaseTest {
 protected:
  void SetUp() override {
    EngineDatabaseTest::SetUp();
    if (IsSkipped()) return;
    conn_.Execute(
        "INSERT INTO AppUser (AppUserID, AppUserName, AppUserPassword, AppRoleID) "
        "VALUES (3, 'alice', 'x', 2)",
        adExecuteNoRecords);
  }

  // Runs a procedure with the return value first and `values` as inputs (the first as
  // input/output when `firstInOut`); returns the return value.
  int Call(const char* name, std::vector<Variant> values, Recordset* rows = nullptr,
           bool firstInOut = false, Variant* firstOut = nullptr) {
    Command command;
    command.SetActiveConnection(conn_);
    command.SetCommandType(adCmdStoredProc);
    command.SetCommandText(name);
    Parameters& p = command.GetParameters();
    p.Append(command.CreateParameter("lngRetVal", adInteger, adParamReturnValue, 0));
    for (std::size_t i = 0; i < values.size(); ++i) {
      long direction = i == 0 && firstInOut ? adParamInputOutput : adParamInput;
      p.Append(command.CreateParameter("@p" + std::to_string(i),
                                       IsText(values[i]) ? adVarChar : adInteger, direction, 50,
                                       values[i]));
    }
    Recordset result = command.Execute(rows ? adOptionUnspecified : adExecuteNoRecords);
    if (rows) *rows = result;
    if (firstOut) *firstOut = p.Item(1L).Value();
    return p.Item(0L).Value().CLng();
  }
  static bool IsText(const Variant& v) { return v.Type() == platform::com::VarType::BStr; }

  std::int32_t NewAlert(const std::string& description) {
    Variant id;
    EXPECT_EQ(Call("AlertHdrUpdate", {Variant::Null(), Variant(3), Variant(description)}, nullptr,
                   true, &id),
              0);
    return id.CLng();
  }

  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    for (Recordset rs = conn_.Execute(sql); !rs.IsEOF(); rs.MoveNext()) {
      values.push_back(rs[0L].IsNull() ? "NULL" : rs[0L].CStr());
    }
    return values;
  }
};

TEST_P(AlertProceduresTest, UnknownAlertsAreRefusedAndDeletionTakesEverything) {
  std::int32_t id = NewAlert("disk full");
  for (int item = 0; item < 2; ++item) {
    EXPECT_EQ(Call("AlertItemMetaDataAdd", {Variant(id), Variant(item), Variant("<a/>")}), 0);
  }
  EXPECT_EQ(
      Call("AlertRecipientUpdate", {Variant::Null(), Variant(id), Variant("a@b.c"), Variant::Null(),
                                    Variant::Null(), Variant("24 hours"), Variant(0), Variant("")}),
      0);

  // An id that names no alert changes nothing and says so.
  EXPECT_EQ(Call("AlertHdrUpdate", {Variant(id + 1), Variant(3), Variant("x")}, nullptr, true),
            kAlertNotFound);
  EXPECT_EQ(Call("AlertItemMetaDataAdd", {Variant(id + 1), Variant(0), Variant("<a/>")}),
            kAlertNotFound);
  EXPECT_EQ(Call("AlertHdrSetStatus", {Variant(id + 1), Variant("x"), Variant(1)}), kAlertNotFound);
  EXPECT_THAT(Column("SELECT COUNT(*) FROM AlertHdr"), ElementsAre("1"));

  EXPECT_EQ(Call("AlertDelete", {Variant(id)}), 0);
  for (const char* table : {"AlertHdr", "AlertItem", "AlertRecipient"}) {
    EXPECT_THAT(Column(std::string("SELECT COUNT(*) FROM ") + table), ElementsAre("0")) << table;
  }
  EXPECT_EQ(Call("AlertDelete", {Variant(id)}), 0);
}

TEST_P(AlertProceduresTest, ScheduleListSplitsTheStoredWindowsExactly) {
  std::int32_t id = NewAlert("a");
  auto add = [&](Variant recipient, Variant email, Variant start, Variant end) {
    return Call("AlertRecipientUpdate", {recipient, Variant(id), email, start, end,
                                         Variant("shown"), Variant(34), Variant("Monday, Friday")});
  };
  EXPECT_EQ(add(Variant::Null(), Variant("a@b.c"), Variant("08:00 AM"), Variant("17:30")), 0);
  EXPECT_EQ(add(Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null()), 0);
  EXPECT_EQ(add(Variant::Null(), Variant("c@d.e"), Variant("12:00 AM"), Variant("12:05 PM")), 0);

  Recordset rows;
  EXPECT_EQ(Call("AlertScheduleGet", {Variant(id)}, &rows), 0);
  std::vector<std::string> got;
  for (; !rows.IsEOF(); rows.MoveNext()) {
    std::string line;
    for (const char* column :
         {"Email", "ScheduleDaysMeta", "ScheduleDaysDisplay", "StartHour", "StartMinute",
          "StartAmPm", "EndHour", "EndMinute", "EndAmPm", "ScheduleTimeDisplay"}) {
      line += rows[column].CStr() + "|";
    }
    got.push_back(line);
  }
  EXPECT_THAT(got, ElementsAre("a@b.c|34|Monday, Friday|8|00|AM|5|30|PM|shown|",
                               "|34|Monday, Friday|||||||shown|",
                               "c@d.e|34|Monday, Friday|12|00|AM|12|05|PM|shown|"));

  // Changing a recipient names it with its alert.
  std::string recipient = Column("SELECT MIN(AlertRecipientID) FROM AlertRecipient")[0];
  EXPECT_EQ(add(Variant(std::stoi(recipient)), Variant("z@y.x"), Variant("9:15"), Variant::Null()),
            0);
  EXPECT_THAT(Column("SELECT Email || ' ' || StartMinuteOfDay || ' ' || "
                     "COALESCE(CAST(EndMinuteOfDay AS TEXT), 'none') FROM AlertRecipient WHERE "
                     "AlertRecipientID = " +
                     recipient),
              ElementsAre("z@y.x 555 none"));
  EXPECT_EQ(add(Variant(9999), Variant("q"), Variant::Null(), Variant::Null()), kRecipientNotFound);

  // A window time the list could not split is refused and nothing is stored.
  EXPECT_EQ(add(Variant::Null(), Variant("bad@x"), Variant("half past eight"), Variant::Null()),
            kScheduleTimeInvalid);
  EXPECT_THAT(Column("SELECT COUNT(*) FROM AlertRecipient"), ElementsAre("3"));

  EXPECT_EQ(
      Call("AlertRecipientUpdate", {Variant::Null(), Variant(id + 1), Variant("a"), Variant::Null(),
                                    Variant::Null(), Variant("24 hours"), Variant(0), Variant("")}),
      kAlertNotFound);

  EXPECT_EQ(Call("AlertRecipientRemove", {Variant(id + 1), Variant(std::stoi(recipient))}), 0);
  EXPECT_THAT(Column("SELECT COUNT(*) FROM AlertRecipient"), ElementsAre("3"));
  EXPECT_EQ(Call("AlertRecipientRemove", {Variant(id), Variant(std::stoi(recipient))}), 0);
  EXPECT_THAT(Column("SELECT COUNT(*) FROM AlertRecipient"), ElementsAre("2"));
}

TAMSEL_ON_BOTH_ENGINES(AlertProceduresTest);

}  // namespace
}  // namespace tamsel::db
