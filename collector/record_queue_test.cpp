// Tests of RecordQueue: order, both bounds held at every moment, an oversize record passing
// alone, batches smaller than asked for when the queue is full or closed, closing, and taken
// records handed back for reuse.
#include "collector/record_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tamsel::collector {
namespace {

std::unique_ptr<CLogRecord> Record(std::uint32_t number, std::size_t bytes) {
  auto record = std::make_unique<CLogRecord>();
  record->recordNumber_ = number;
  record->description_.assign(bytes, 'x');
  return record;
}

TEST(RecordQueueTest, RecordsArriveInOrderAndNeverMoreThanTheBoundsWait) {
  struct Case {
    const char* name;
    std::size_t maxRecords, maxBytes;
    std::vector<std::size_t> sizes;  // bytes of each record pushed
  };
  const Case cases[] = {
      {"bounded by records", 3, 1 << 20, std::vector<std::size_t>(40, 10)},
      {"bounded by bytes", 100, 250, std::vector<std::size_t>(40, 100)},
      {"oversize records pass alone", 100, 250, {10, 400, 10, 10, 1000, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Batches of 8: a queue bounded below that by bytes must still hand over what it holds.
    RecordQueue queue(c.maxRecords, c.maxBytes, 8);
    std::atomic<std::size_t> pushed{0};
    std::thread reader([&] {
      for (std::size_t i = 0; i < c.sizes.size(); ++i) {
        ASSERT_TRUE(queue.Push(Record(static_cast<std::uint32_t>(i), c.sizes[i])));
        ++pushed;
      }
      queue.Close();
    });
    std::size_t popped = 0;
    RecordQueue::Batch batch;
    while (queue.Take(batch)) {
      for (const std::unique_ptr<CLogRecord>& record : batch) {
        EXPECT_EQ(record->recordNumber_, popped);
        ++popped;
      }
      // The reader counts a record once its Push returned, so what it has counted beyond
      // what was taken is at most what the queue holds: never more than the bounds allow,
      // however far ahead the reader runs.
      const std::size_t counted = pushed.load();
      const std::size_t held = counted > popped ? counted - popped : 0;
      EXPECT_LE(held, c.maxRecords);
      std::size_t heldBytes = 0;
      for (std::size_t i = popped; i < popped + held; ++i) heldBytes += c.sizes[i];
      if (held > 1) {
        EXPECT_LE(heldBytes, c.maxBytes);
      }
    }
    reader.join();
    EXPECT_EQ(popped, c.sizes.size());
  }
}

TEST(RecordQueueTest, ClosingDrainsWhatIsQueuedAndRefusesMore) {
  RecordQueue queue(10, 1000);
  ASSERT_TRUE(queue.Push(Record(1, 5)));
  ASSERT_TRUE(queue.Push(Record(2, 5)));
  queue.Close();
  EXPECT_FALSE(queue.Push(Record(3, 5)));
  RecordQueue::Batch batch;
  ASSERT_TRUE(queue.Take(batch));  // fewer than a batch: closing hands them over
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0]->recordNumber_, 1u);
  EXPECT_EQ(batch[1]->recordNumber_, 2u);
  EXPECT_FALSE(queue.Take(batch));
  EXPECT_TRUE(batch.empty());
}

TEST(RecordQueueTest, TakenRecordsComeBackEmptyAndNeverWhileQueuedOrHeld) {
  RecordQueue queue(4, 1000, 2);
  ASSERT_TRUE(queue.Push(Record(1, 50)));
  ASSERT_TRUE(queue.Push(Record(2, 50)));
  RecordQueue::Batch batch;
  ASSERT_TRUE(queue.Take(batch));
  const CLogRecord* first = batch[0].get();
  // Held by the taker: not handed out again.
  std::unique_ptr<CLogRecord> fresh = queue.Spare();
  EXPECT_NE(fresh.get(), first);
  EXPECT_NE(fresh.get(), batch[1].get());
  // A record the taker moved on (as batched storing does) stays with it.
  std::unique_ptr<CLogRecord> kept = std::move(batch[1]);
  ASSERT_TRUE(queue.Push(Record(3, 50)));
  queue.Close();
  ASSERT_TRUE(queue.Take(batch));  // gives the first batch's records back
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(batch[0]->recordNumber_, 3u);
  std::unique_ptr<CLogRecord> spare = queue.Spare();
  EXPECT_EQ(spare.get(), first);
  EXPECT_EQ(spare->recordNumber_, 0u);
  EXPECT_TRUE(spare->description_.empty());
  EXPECT_NE(queue.Spare().get(), kept.get());
  EXPECT_EQ(kept->recordNumber_, 2u);
}

}  // namespace
}  // namespace tamsel::collector
