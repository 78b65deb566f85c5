// RecordQueue: the bounded hand-over of records from the thread that reads and resolves a
// backup to the thread that stores them. Bounded by records and by bytes, so a pass holds no
// more than a fixed amount of records whatever the size of the log. Records go over in
// batches, so the two threads wake each other once per batch, not once per record. Records
// the taker is done with come back to the pusher for the next records, so the storing thread,
// the slower of the two, spends no time freeing them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "collector/log_record.h"

namespace tamsel::collector {

// The bytes a record holds beside its fixed part: its texts, SID and insertion strings.
std::size_t RecordBytes(const CLogRecord& record);

class RecordQueue {
 public:
  using Batch = std::vector<std::unique_ptr<CLogRecord>>;

  // The taker is woken once `batchRecords` records wait, or when the queue is full or closed.
  RecordQueue(std::size_t maxRecords, std::size_t maxBytes, std::size_t batchRecords = 64);

  // Waits while the queue is full. A record larger than the byte bound still goes, alone.
  // False, with the record dropped, once the queue is closed.
  bool Push(std::unique_ptr<CLogRecord> record);
  // Waits for a batch, then moves every queued record into `batch`, oldest first. The records
  // `batch` held before are done with: they are kept for Spare. False once the queue is
  // closed and drained.
  bool Take(Batch& batch);
  // An empty record for the pusher to fill: one the taker is done with, or a new one.
  std::unique_ptr<CLogRecord> Spare();
  // No record follows: Take drains what is queued, Push refuses.
  void Close();

 private:
  bool Full(std::size_t moreBytes) const;

  const std::size_t maxRecords_;
  const std::size_t maxBytes_;
  const std::size_t batchRecords_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<CLogRecord>> records_;
  std::vector<std::unique_ptr<CLogRecord>> spares_;  // at most maxRecords_
  std::size_t bytes_ = 0;
  bool pusherWaiting_ = false;
  bool closed_ = false;
};

}  // namespace tamsel::collector
