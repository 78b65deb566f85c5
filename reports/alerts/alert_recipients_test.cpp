// Tests of the recipients through the public interface: the composed displays and day mask,
// the 16-bit identifiers, every refusal before the procedure runs, the schedule list and
// removal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/engine_test_support.h"
#include "reports/alerts/alerts_test_support.h"
#include "reports/alerts/recipient_schedule.h"

namespace tamsel::reports::alerts {
namespace {

namespace com = platform::com;
using testing::AlertsTestEnvironment;
using testing::CallReports;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class AlertRecipientsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
    env_.Exec("INSERT INTO AlertHdr (AlertHdrID, AppUserID, AlertDesc) VALUES (5, 3, 'a')");
  }

  std::int32_t Update(const std::string& xml) {
    com::Arguments args{Variant(xml)};
    return CallReports("AlertRecipientUpdate", args);
  }

  // The "->Executing" line of the last call, or "" when the procedure never ran.
  std::string ExecutingLine() {
    for (const std::string& text : env_.NewTraceTexts()) {
      if (text.rfind("->Executing", 0) == 0) return text;
    }
    return "";
  }

  std::vector<std::string> Stored() {
    return env_.Rows(
        "SELECT COALESCE(Email, 'NULL'), COALESCE(ScheduleStartTime, 'NULL'), "
        "COALESCE(ScheduleEndTime, 'NULL'), ScheduleTimeDisplay, ScheduleDaysMeta, "
        "ScheduleDaysDisplay FROM AlertRecipient ORDER BY AlertRecipientID");
  }

  AlertsTestEnvironment env_{GetParam()};
};

TEST_P(AlertRecipientsTest, DisplaysAndDayMaskAreComposedFromTheDocument) {
  ASSERT_EQ(Update("<R AlertRecipientID=\"\" AlertHdrID=\"5\" Email=\"ops@x.org\" "
                   "ScheduleStartTime=\"08:00\" ScheduleEndTime=\"17:00\">"
                   "<SCHEDULEDAY DayName=\"Monday\" DayValue=\"1\"/><other/>"
                   "<SCHEDULEDAY DayName=\"Friday\" DayValue=\"5\"/></R>"),
            0);
  EXPECT_EQ(ExecutingLine(),
            "->Executing AlertRecipientUpdate, , 5, ops@x.org, 08:00, 17:00, 08:00 - 17:00, 34, "
            "Monday, Friday");

  // Both times empty: both NULL, the whole day; no day at all: mask 0, empty display.
  ASSERT_EQ(Update("<R AlertRecipientID=\"\" AlertHdrID=\"5\" Email=\"a@x\" "
                   "ScheduleStartTime=\"\" ScheduleEndTime=\"\"/>"),
            0);
  EXPECT_EQ(ExecutingLine(), "->Executing AlertRecipientUpdate, , 5, a@x, , , 24 hours, 0, ");

  // Only an end: "24 hours - " and the end; the same day twice adds its power twice; an
  // absent Email is NULL.
  ASSERT_EQ(Update("<R AlertRecipientID=\"\" AlertHdrID=\"5\" ScheduleStartTime=\"\" "
                   "ScheduleEndTime=\"5:00 PM\"><SCHEDULEDAY DayName=\"Monday\" DayValue=\"1\"/>"
                   "<SCHEDULEDAY DayName=\"Monday\" DayValue=\"1\"/></R>"),
            0);
  EXPECT_EQ(ExecutingLine(),
            "->Executing AlertRecipientUpdate, , 5, , , 5:00 PM, 24 hours - 5:00 PM, 4, Monday, "
            "Monday");

  EXPECT_THAT(Stored(), ElementsAre("ops@x.org|08:00|17:00|08:00 - 17:00|34|Monday, Friday",
                                    "a@x|NULL|NULL|24 hours|0|",
                                    "NULL|NULL|5:00 PM|24 hours - 5:00 PM|4|Monday, Monday"));

  // A recipient named by its id is changed, not added.
  std::string first = env_.Rows("SELECT MIN(AlertRecipientID) FROM AlertRecipient")[0];
  ASSERT_EQ(Update("<R AlertRecipientID=\"" + first +
                   "\" AlertHdrID=\"5\" Email=\"new@x\" "
                   "ScheduleStartTime=\"9:00 AM\" ScheduleEndTime=\"\"/>"),
            0);
  EXPECT_EQ(Stored().front(), "new@x|9:00 AM|NULL|9:00 AM|0|");
}

TEST_P(AlertRecipientsTest, ScheduleDaysMaskIsFloatingPointRoundedBack) {
  ScheduleDays days;
  days.Add("Sunday", 0);
  days.Add("Saturday", 6);
  EXPECT_EQ(days.Mask(), 65);
  EXPECT_EQ(days.Display(), "Sunday, Saturday");
  days.Add("half", -1);  // 65.5 rounds to the even 66
  EXPECT_EQ(days.Mask(), 66);
  ScheduleDays high;
  high.Add("top", 30);
  EXPECT_EQ(high.Mask(), 1 << 30);
  EXPECT_THROW(high.Add("top", 30), com::ComError);
  EXPECT_EQ(ScheduleTimeDisplay("", ""), "24 hours");
  EXPECT_EQ(ScheduleTimeDisplay("08:00", ""), "08:00");
}

TEST_P(AlertRecipientsTest, RefusalsComeBeforeTheProcedureRuns) {
  const std::string full =
      "AlertRecipientID=\"\" AlertHdrID=\"5\" ScheduleStartTime=\"\" ScheduleEndTime=\"\"";
  auto without = [&](const std::string& attribute) {
    std::string attributes = full;
    std::size_t at = attributes.find(attribute + "=");
    attributes.erase(at, attributes.find('"', attributes.find('"', at) + 1) + 1 - at);
    return "<R " + attributes + "/>";
  };
  const std::pair<std::string, std::int32_t> cases[] = {
      {"<R AlertHdrID=\"5\"", 91},
      {"", 91},
      {without("AlertRecipientID"), 94},
      {without("AlertHdrID"), 94},
      {without("ScheduleStartTime"), 94},
      {without("ScheduleEndTime"), 94},
      {"<R AlertRecipientID=\"\" AlertHdrID=\"\" ScheduleStartTime=\"\" ScheduleEndTime=\"\"/>",
       13},
      {"<R AlertRecipientID=\"\" AlertHdrID=\"five\" ScheduleStartTime=\"\" "
       "ScheduleEndTime=\"\"/>",
       13},
      {"<R AlertRecipientID=\"x1\" " + full.substr(full.find("AlertHdrID")) + "/>", 13},
      {"<R AlertRecipientID=\"40000\" " + full.substr(full.find("AlertHdrID")) + "/>", 6},
      {"<R AlertRecipientID=\"\" AlertHdrID=\"-32769\" ScheduleStartTime=\"\" "
       "ScheduleEndTime=\"\"/>",
       6},
      {"<R " + full + "><SCHEDULEDAY DayValue=\"1\"/></R>", 94},
      {"<R " + full + "><SCHEDULEDAY DayName=\"Monday\"/></R>", 94},
      {"<R " + full + "><SCHEDULEDAY DayName=\"Monday\" DayValue=\"Mon\"/></R>", 13},
      {"<R " + full + "><SCHEDULEDAY DayName=\"Bad\" DayValue=\"31\"/></R>", 6},
  };
  for (const auto& [xml, code] : cases) {
    EXPECT_EQ(Update(xml), code) << xml;
    std::vector<std::string> texts = env_.NewTraceTexts();
    EXPECT_THAT(texts, Not(Contains(HasSubstr("->Executing")))) << xml;
    EXPECT_EQ(texts.back().rfind("*** ->Reports.AlertRecipientUpdate error: lngRetVal=" +
                                     std::to_string(code) + "; Err.Description= ",
                                 0),
              0u)
        << xml;
  }
  EXPECT_THAT(Stored(), IsEmpty());

  // -32768 and 32767 are still 16-bit values: they reach the procedure, which knows no such
  // alert.
  EXPECT_EQ(Update("<R AlertRecipientID=\"32767\" AlertHdrID=\"-32768\" ScheduleStartTime=\"\" "
                   "ScheduleEndTime=\"\"/>"),
            1);
  EXPECT_EQ(ExecutingLine(),
            "->Executing AlertRecipientUpdate, 32767, -32768, , , , 24 hours, 0, ");
}

TEST_P(AlertRecipientsTest, ScheduleListAndRemoval) {
  // An alert without recipients: the bare root, result 0.
  com::Arguments get{Variant("5"), Variant()};
  ASSERT_EQ(CallReports("AlertScheduleGet", get), 0);
  EXPECT_EQ(get[1].value, Variant("<ALERTSCHEDULE/>"));
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AlertScheduleGet, 5"));
  EXPECT_THAT(texts, Contains("sXml <ALERTSCHEDULE/>"));

  ASSERT_EQ(Update("<R AlertRecipientID=\"\" AlertHdrID=\"5\" Email=\"ops@x.org\" "
                   "ScheduleStartTime=\"08:00 AM\" ScheduleEndTime=\"17:45\">"
                   "<SCHEDULEDAY DayName=\"Monday\" DayValue=\"1\"/></R>"),
            0);
  ASSERT_EQ(Update("<R AlertRecipientID=\"\" AlertHdrID=\"5\" Email=\"b@x\" "
                   "ScheduleStartTime=\"\" ScheduleEndTime=\"\"/>"),
            0);
  std::vector<std::string> ids =
      env_.Rows("SELECT AlertRecipientID FROM AlertRecipient ORDER BY AlertRecipientID");
  ASSERT_EQ(ids.size(), 2u);
  get = {Variant(" 5 "), Variant()};
  ASSERT_EQ(CallReports("AlertScheduleGet", get), 0);
  EXPECT_EQ(get[1].value,
            Variant("<ALERTSCHEDULE><ALERTRECIPIENT AlertHdrID=\"5\" AlertRecipientID=\"" + ids[0] +
                    "\" Email=\"ops@x.org\" ScheduleDaysMeta=\"2\" ScheduleDaysDisplay=\"Monday\" "
                    "StartHour=\"8\" StartMinute=\"00\" StartAmPm=\"AM\" EndHour=\"5\" "
                    "EndMinute=\"45\" EndAmPm=\"PM\" ScheduleTimeDisplay=\"08:00 AM - 17:45\"/>"
                    "<ALERTRECIPIENT AlertHdrID=\"5\" AlertRecipientID=\"" +
                    ids[1] +
                    "\" Email=\"b@x\" ScheduleDaysMeta=\"0\" ScheduleDaysDisplay=\"\" "
                    "StartHour=\"\" StartMinute=\"\" StartAmPm=\"\" EndHour=\"\" EndMinute=\"\" "
                    "EndAmPm=\"\" ScheduleTimeDisplay=\"24 hours\"/></ALERTSCHEDULE>"));

  // Identifiers are 16-bit here too; the list is left as it was.
  for (const auto& [id, code] : {std::pair{"x", 13}, std::pair{"40000", 6}}) {
    com::Arguments bad{Variant(id), Variant("before")};
    EXPECT_EQ(CallReports("AlertScheduleGet", bad), code);
    EXPECT_EQ(bad[1].value, Variant("before"));
  }

  // Removal passes both identifiers unchanged, 40000 included.
  env_.NewTraceTexts();
  com::Arguments remove{Variant(5), Variant(40000)};
  EXPECT_EQ(CallReports("AlertRecipientRemove", remove), 0);
  EXPECT_EQ(ExecutingLine(), "->Executing AlertRecipientRemove, 5, 40000");
  remove = {Variant(5), Variant(std::stoi(ids[0]))};
  EXPECT_EQ(CallReports("AlertRecipientRemove", remove), 0);
  EXPECT_THAT(env_.Rows("SELECT AlertRecipientID FROM AlertRecipient"), ElementsAre(ids[1]));
}

TAMSEL_ON_BOTH_ENGINES(AlertRecipientsTest);

}  // namespace
}  // namespace tamsel::reports::alerts
