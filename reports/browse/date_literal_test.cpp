// Tests of date literals: every form the database reads becomes the stored form, the bounds
// of a range keep the entries the database keeps, and anything else is refused.
#include "reports/browse/date_literal.h"

#include <gtest/gtest.h>

namespace tamsel::reports::browse {
namespace {

TEST(DateLiteralTest, EveryFormTheDatabaseReadsTakesTheStoredForm) {
  struct Case {
    const char* text;
    const char* stored;
  } cases[] = {
      {"2003-01-31", "2003-01-31 00:00:00"},
      {"  2003-01-31\t", "2003-01-31 00:00:00"},
      {"2003-1-31", "2003-01-31 00:00:00"},
      {"2003-01-3", "2003-01-03 00:00:00"},
      {"2003/01/31", "2003-01-31 00:00:00"},
      {"2003.01.31", "2003-01-31 00:00:00"},
      {"20030131", "2003-01-31 00:00:00"},
      {"20030131 14:30", "2003-01-31 14:30:00"},
      {"2003-01-31T14:30:05", "2003-01-31 14:30:05"},
      {"2003-01-31 14:30:00.000", "2003-01-31 14:30:00"},
      {"2003-01-31 2:30 PM", "2003-01-31 14:30:00"},
      {"2003-01-31 12:00:00 AM", "2003-01-31 00:00:00"},
      {"2003-01-31 2PM", "2003-01-31 14:00:00"},
      {"Jan 31 2003", "2003-01-31 00:00:00"},
      {"January 31, 2003", "2003-01-31 00:00:00"},
      {"31 January 2003", "2003-01-31 00:00:00"},
      {"2003 jan 31", "2003-01-31 00:00:00"},
      {"JANUARY 2003", "2003-01-01 00:00:00"},
      {"Jan 31 2003 2:30:05 PM", "2003-01-31 14:30:05"},
      {"1/31/2003", "2003-01-31 00:00:00"},
      {"1/31/2003 12:00:00 AM", "2003-01-31 00:00:00"},
      {"1/31/2003 2:30:05 PM", "2003-01-31 14:30:05"},
      {"2004-02-29 23:59:59", "2004-02-29 23:59:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StoredDate(c.text, DateBound::Lower), c.stored) << c.text;
    EXPECT_EQ(StoredDate(c.text, DateBound::Upper), c.stored) << c.text;
  }
}

// Stored times are whole seconds: a fraction moves a lower bound up and cuts an upper one.
TEST(DateLiteralTest, FractionsOfASecondKeepTheEntriesTheDatabaseKeeps) {
  EXPECT_EQ(StoredDate("2003-01-31 14:30:00.5", DateBound::Lower), "2003-01-31 14:30:01");
  EXPECT_EQ(StoredDate("2003-01-31 14:30:00.5", DateBound::Upper), "2003-01-31 14:30:00");
  EXPECT_EQ(StoredDate("2003-12-31 23:59:59.001", DateBound::Lower), "2004-01-01 00:00:00");
  EXPECT_EQ(StoredDate("2003-12-31 23:59:59.000", DateBound::Lower), "2003-12-31 23:59:59");
}

TEST(DateLiteralTest, TextThatIsNoDateIsRefused) {
  for (const char* text : {"",
                           "  ",
                           "2003-02-30",
                           "2003-13-01",
                           "2003-01-31' OR '1'='1",
                           "yesterday",
                           "1/31/2003 25:00",
                           "2003-01-31 24:00:00",
                           "2003-01-31T",
                           "2003-01-31 14:30:00.",
                           "2003-01-31 14:3",
                           "2003-01/31",
                           "200301311",
                           "Foo 31 2003",
                           "31 Jan",
                           "Jan 31 2003 x",
                           "Jan Feb 2003",
                           "1752-12-31",
                           "2003-01-31 13:00 PM",
                           "2003-01-31 14:30:00 ; --",
                           "January 312, 2003"}) {
    EXPECT_FALSE(StoredDate(text, DateBound::Lower).has_value()) << text;
  }
}

TEST(DateLiteralTest, StoredFormIsRecognised) {
  EXPECT_TRUE(IsStoredDate("2003-01-31 00:00:00"));
  EXPECT_FALSE(IsStoredDate("2003-01-31"));
  EXPECT_FALSE(IsStoredDate("2003-02-30 00:00:00"));
}

}  // namespace
}  // namespace tamsel::reports::browse
