// The file clock of tests and the local time texts it reads.
#include "alerting/alert_clock.h"

#include <gtest/gtest.h>

#include <fstream>

#include "testing/temp_dir.h"

namespace tamsel::alerting {
namespace {

TEST(AlertClockTest, FileClockReadsLocalTimeEachCallAndFallsBackToTheSystemClock) {
  tamsel::testing::ScopedTempDir temp;
  const std::string path = (temp.Path() / "now").string();
  FileClock clock(path);
  const std::time_t before = std::time(nullptr);
  EXPECT_GE(clock.Now(), before);  // no file yet: the system clock

  std::ofstream(path) << "2026-03-01 07:59:30\n";
  EXPECT_EQ(FormatLocalTime(clock.Now()), "2026-03-01 07:59:30");
  std::ofstream(path) << "2026-03-01 08:00:00";
  EXPECT_EQ(FormatLocalTime(clock.Now()), "2026-03-01 08:00:00");

  for (const char* bad :
       {"", "2026-13-01 08:00:00", "2026-03-01", "2026-03-01 08:00:00x", "yesterday"}) {
    EXPECT_FALSE(ParseLocalTime(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace tamsel::alerting
