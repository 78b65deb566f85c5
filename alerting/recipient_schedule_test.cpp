// When a recipient is due: weekday bits numbered from Sunday = 1, windows within a day, over
// midnight, open-ended and whole-day.
#include "alerting/recipient_schedule.h"

#include <gtest/gtest.h>

namespace tamsel::alerting {
namespace {

constexpr int kSunday = 1 << 1, kMonday = 1 << 2, kTuesday = 1 << 3, kSaturday = 1 << 7;

std::tm At(int weekday, int hour, int minute) {
  std::tm local{};
  local.tm_wday = weekday;  // 0 = Sunday
  local.tm_hour = hour;
  local.tm_min = minute;
  return local;
}

struct Case {
  const char* what;
  RecipientSchedule schedule;
  std::tm now;
  bool due;
};

TEST(RecipientScheduleTest, DueInsideItsDaysAndWindow) {
  const Case cases[] = {
      {"whole day, listed day", {kMonday, {}, {}}, At(1, 3, 0), true},
      {"whole day, other day", {kMonday, {}, {}}, At(2, 3, 0), false},
      {"bit 1 is Sunday", {kSunday, {}, {}}, At(0, 12, 0), true},
      {"bit 7 is Saturday", {kSaturday, {}, {}}, At(6, 12, 0), true},
      {"bit 0 means nothing", {1, {}, {}}, At(0, 12, 0), false},
      {"no days", {0, {}, {}}, At(3, 12, 0), false},
      {"window start is inside", {kMonday, 8 * 60, 17 * 60}, At(1, 8, 0), true},
      {"window end is outside", {kMonday, 8 * 60, 17 * 60}, At(1, 17, 0), false},
      {"before the window", {kMonday, 8 * 60, 17 * 60}, At(1, 7, 59), false},
      {"window on another day", {kMonday, 8 * 60, 17 * 60}, At(2, 9, 0), false},
      {"start only runs to midnight", {kMonday, 20 * 60, {}}, At(1, 23, 59), true},
      {"start only, before it", {kMonday, 20 * 60, {}}, At(1, 19, 0), false},
      {"equal start and end is the whole day", {kMonday, 9 * 60, 9 * 60}, At(1, 2, 0), true},
      {"over midnight, evening of its day", {kMonday, 22 * 60, 6 * 60}, At(1, 23, 0), true},
      {"over midnight, morning after its day", {kMonday, 22 * 60, 6 * 60}, At(2, 5, 59), true},
      {"over midnight, morning of its own day", {kMonday, 22 * 60, 6 * 60}, At(1, 5, 0), false},
      {"over midnight, end is outside", {kMonday, 22 * 60, 6 * 60}, At(2, 6, 0), false},
      {"over midnight, midday", {kMonday | kTuesday, 22 * 60, 6 * 60}, At(2, 12, 0), false},
      {"over midnight from Saturday into Sunday", {kSaturday, 22 * 60, 6 * 60}, At(0, 1, 0), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsDue(c.schedule, c.now), c.due) << c.what;
  }
}

}  // namespace
}  // namespace tamsel::alerting
