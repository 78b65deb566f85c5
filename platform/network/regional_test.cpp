// Regional date and time pictures: formatting and parsing.
#include "platform/network/regional.h"

#include <gtest/gtest.h>

namespace tamsel::platform::network {
namespace {

TEST(RegionalFormat, EnglishUnitedStatesByDefault) {
  RegionalFormats formats;
  EXPECT_EQ(FormatDateTime(BrokenDownTime(2026, 12, 7, 6, 5, 9), formats), "12/7/2026 6:05:09 AM");
  EXPECT_EQ(FormatDateTime(BrokenDownTime(2026, 3, 17, 0, 0, 0), formats), "3/17/2026 12:00:00 AM");
  EXPECT_EQ(FormatDateTime(BrokenDownTime(2026, 3, 17, 12, 30, 0), formats),
            "3/17/2026 12:30:00 PM");
  EXPECT_EQ(FormatDateTime(BrokenDownTime(2026, 3, 17, 23, 59, 59), formats),
            "3/17/2026 11:59:59 PM");
}

TEST(RegionalFormat, PicturesOfOtherSettings) {
  RegionalFormats german{"dd.MM.yyyy", "HH:mm:ss", "", ""};
  std::tm time = BrokenDownTime(2026, 3, 7, 15, 4, 5);
  EXPECT_EQ(FormatDateTime(time, german), "07.03.2026 15:04:05");
  EXPECT_EQ(FormatDate(time, "dddd, MMMM d, yy", german), "Saturday, March 7, 26");
  EXPECT_EQ(FormatDate(time, "ddd MMM", german), "Sat Mar");
  EXPECT_EQ(FormatTime(time, "h 'o''clock' t", RegionalFormats{}), "3 oclock P");
}

TEST(RegionalParse, FollowsTheShortDateOrder) {
  RegionalFormats us;
  auto parsed = ParseDateTime("12/7/2026 6:05:09 PM", us);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tm_year, 126);
  EXPECT_EQ(parsed->tm_mon, 11);
  EXPECT_EQ(parsed->tm_mday, 7);
  EXPECT_EQ(parsed->tm_hour, 18);
  EXPECT_EQ(parsed->tm_wday, 1);  // a Monday
  parsed = ParseDateTime("12/7/2026 12:00:00 AM", us);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tm_hour, 0);

  RegionalFormats german{"dd.MM.yyyy", "HH:mm:ss", "", ""};
  parsed = ParseDateTime("07.12.2026 18:05", german);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tm_mon, 11);
  EXPECT_EQ(parsed->tm_mday, 7);
  EXPECT_EQ(parsed->tm_min, 5);
  // ISO text is read in any setting.
  parsed = ParseDateTime("2026-02-28 23:59:59", german);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tm_mon, 1);
  EXPECT_EQ(parsed->tm_sec, 59);
}

TEST(RegionalParse, RoundTripsItsOwnOutput) {
  for (const RegionalFormats& formats :
       {RegionalFormats{}, RegionalFormats{"yyyy/MM/dd", "HH:mm:ss", "", ""},
        RegionalFormats{"d-M-yy", "h:mm:ss tt", "a.m.", "p.m."}}) {
    std::tm time = BrokenDownTime(2024, 2, 29, 13, 14, 15);
    auto parsed = ParseDateTime(FormatDateTime(time, formats), formats);
    ASSERT_TRUE(parsed) << formats.shortDate;
    EXPECT_EQ(parsed->tm_year, time.tm_year) << formats.shortDate;
    EXPECT_EQ(parsed->tm_mon, time.tm_mon);
    EXPECT_EQ(parsed->tm_mday, time.tm_mday);
    EXPECT_EQ(parsed->tm_hour, time.tm_hour) << formats.timeFormat;
    EXPECT_EQ(parsed->tm_min, time.tm_min);
  }
}

TEST(RegionalParse, RefusesWhatIsNotADate) {
  RegionalFormats us;
  for (const char* text :
       {"", "hello", "2/30/2026", "13/1/2026", "1/1/2026 25:00:00", "1/1/2026 0:30:00 PM",
        "1/1/2026 10:61", "1/1", "1/1/2026 1 2 3 4", "1/1/2026 5:00 XM"}) {
    EXPECT_FALSE(ParseDateTime(text, us)) << text;
  }
  EXPECT_TRUE(ParseDateTime("2/29/2024", us));
  EXPECT_FALSE(ParseDateTime("2/29/2023", us));
}

}  // namespace
}  // namespace tamsel::platform::network
