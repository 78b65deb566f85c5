// A stored record is known by the backup file it was read from and its number in it:
// records of successive clears that share number, seconds and event id are all kept, and a
// backup read again stores nothing twice.
#include <gmock/gmock.h>

#include "collector/backup_files.h"
#include "collector/message_texts.h"
#include "platform/eventlog/event_clock.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::time_t kPass = 1025300427;  // 2002-06-28 21:40:27 (UTC)

class CollectionIdentityTest : public CollectionTest {
 protected:
  // Every record is written, and every pass runs, within the same second.
  CollectionIdentityTest()
      : passClock_([] { return kPass; }),
        eventClock_([] { return static_cast<std::uint32_t>(kPass); }) {
    AddServer(1, "SRV01");
    AddSource("SRV01", "Application", "App", "");
  }

  std::vector<std::string> Messages() {
    std::vector<std::string> messages;
    for (const StoredRow& row : Stored("e.LEID")) messages.push_back(row.message);
    return messages;
  }
  static std::string Text(const std::string& insertion) {
    return collector::FallbackDescription({insertion});
  }

  collector::ScopedCollectorClock passClock_;
  platform::eventlog::ScopedEventClock eventClock_;
};

TEST_F(CollectionIdentityTest, EachClearOfOneSecondKeepsItsRecords) {
  // Each pass clears the log, so each "id 7" is record 1 of its log, written in the same
  // second as the others.
  for (const char* text : {"first", "second", "third"}) {
    Write("SRV01", "App", 4, 7, 0, {text});
    ASSERT_EQ(collector_.CollectAll(), 0);
  }
  EXPECT_THAT(Messages(), ElementsAre(Text("first"), Text("second"), Text("third")));
  for (const StoredRow& row : Stored()) EXPECT_EQ(row.recordNumber, 1);
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
  EXPECT_THAT(CollectorEvents(), IsEmpty());
}

TEST_F(CollectionIdentityTest, ABackupReadAgainMapsToTheSameRows) {
  Write("SRV01", "App", 4, 7, 0, {"a"});
  Write("SRV01", "App", 4, 7, 0, {"b"});
  std::string backup;
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  ASSERT_EQ(collector_.ReadArchivedLog("SRV01", 1, "Application", backup), 0);
  ASSERT_EQ(collector_.ReadArchivedLog("SRV01", 1, "Application", backup), 0);
  EXPECT_THAT(Messages(), ElementsAre(Text("a"), Text("b")));

  // Its name is taken: the next clear in the same second names its backup a second later,
  // and a pass reads the kept one (again) and the new one.
  Write("SRV01", "App", 4, 7, 0, {"c"});
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  EXPECT_EQ(backup, "D:\\EvtBak\\Application_20020628214028.evt");
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(Messages(), ElementsAre(Text("a"), Text("b"), Text("c")));
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), IsEmpty());
}

}  // namespace
}  // namespace tamsel::e2e
