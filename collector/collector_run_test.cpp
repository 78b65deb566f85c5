// Tests of the work loop: when passes run against the 5-second ticks, the state counter, the
// event when a pass cannot reach the database, and stopping after the tick.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/collector_service.h"
#include "service/service_clock.h"
#include "service/test_support.h"

namespace tamsel::collector {
namespace {

using service::testing::ApplicationEvents;
using ::testing::ElementsAre;

// Logs passes ("P") and ticks ("T") and stops after a given number of ticks.
class LoopService : public CCollectorService {
 public:
  LoopService() : CCollectorService("Tamsel") {}
  int CollectAll() override {
    timeline += "P";
    return passResult;
  }
  std::string timeline;
  int passResult = 0;
};

class CollectorRunTest : public ::testing::Test {
 protected:
  // Runs the loop for `ticks` sleeps; the stop arrives during the last one.
  void RunTicks(int ticks) {
    int slept = 0;
    service::ScopedSleeper sleeper([&](std::uint32_t milliseconds) {
      EXPECT_EQ(milliseconds, 5000u);
      service_.timeline += "T";
      if (++slept == ticks) service_.running_ = service::FALSE;
    });
    service_.running_ = service::TRUE;
    service_.Run();
  }

  service::testing::ServiceTestEnvironment environment_;
  LoopService service_;
};

TEST_F(CollectorRunTest, FirstPassAtOnceThenOncePerPeriod) {
  service_.refreshRate_ = 15000;
  RunTicks(7);
  EXPECT_EQ(service_.timeline, "PTTTPTTTPT");
}

TEST_F(CollectorRunTest, ZeroRateRunsAPassEveryTick) {
  service_.refreshRate_ = 0;
  RunTicks(3);
  EXPECT_EQ(service_.timeline, "PTPTPT");
}

TEST_F(CollectorRunTest, RateBetweenTicksWaitsForTheNextWholeTick) {
  service_.refreshRate_ = 7000;
  RunTicks(5);
  EXPECT_EQ(service_.timeline, "PTTPTTPT");
}

TEST_F(CollectorRunTest, DefaultRateSleeps180TicksBetweenPasses) {
  service_.refreshRate_ = 900000;
  RunTicks(361);
  EXPECT_EQ(service_.timeline, "P" + std::string(180, 'T') + "P" + std::string(180, 'T') + "PT");
}

TEST_F(CollectorRunTest, CounterGrowsByTheIncrementEveryTick) {
  service_.refreshRate_ = 900000;
  service_.stateCounter_ = 10;
  service_.stateIncrement_ = 3;
  RunTicks(4);
  EXPECT_EQ(service_.stateCounter_, 22);
  // It wraps rather than overflowing.
  service_.stateCounter_ = 2147483647;
  service_.stateIncrement_ = 1;
  RunTicks(1);
  EXPECT_EQ(service_.stateCounter_, -2147483647 - 1);
}

TEST_F(CollectorRunTest, UnreadableServerListReportsEvent109) {
  service_.refreshRate_ = 5000;
  service_.passResult = -1;
  RunTicks(2);
  auto events = ApplicationEvents();
  ASSERT_EQ(events.size(), 2u);
  for (const auto& event : events) {
    EXPECT_EQ(event.id, service::EVMSG_WARNING);
    EXPECT_EQ(event.type, service::EVENTLOG_ERROR_TYPE);
    EXPECT_THAT(event.strings, ElementsAre(kCannotWriteText));
  }
  // An empty server list ends the pass quietly.
  service_.passResult = 1;
  RunTicks(2);
  EXPECT_EQ(ApplicationEvents().size(), 2u);
}

TEST_F(CollectorRunTest, LargestRateDoesNotOverflowTheElapsedTime) {
  service_.refreshRate_ = 2147483647;
  RunTicks(3);
  EXPECT_EQ(service_.timeline, "PTTT");
}

}  // namespace
}  // namespace tamsel::collector
