// RecordQueue: the bounded hand-over of records between the reading and the storing thread.
#include "collector/record_queue.h"

#include <algorithm>

namespace tamsel::collector {

std::size_t RecordBytes(const CLogRecord& record) {
  std::size_t bytes = record.computerName_.size() + record.logName_.size() +
                      record.categoryName_.size() + record.userSid_.size() +
                      record.userName_.size() + record.sourceName_.size() +
                      record.description_.size() + record.categoryMessageFile_.size() +
                      record.eventMessageFile_.size();
  for (const std::string& text : record.insertionStrings_) bytes += text.size();
  return bytes;
}

RecordQueue::RecordQueue(std::size_t maxRecords, std::size_t maxBytes, std::size_t batchRecords)
    : maxRecords_(std::max<std::size_t>(maxRecords, 1)),
      maxBytes_(maxBytes),
      batchRecords_(std::clamp<std::size_t>(batchRecords, 1, maxRecords_)) {}

bool RecordQueue::Full(std::size_t moreBytes) const {
  return !records_.empty() && (records_.size() >= maxRecords_ || bytes_ + moreBytes > maxBytes_);
}

bool RecordQueue::Push(std::unique_ptr<CLogRecord> record) {
  const std::size_t bytes = RecordBytes(*record);
  std::unique_lock lock(mutex_);
  while (!closed_ && Full(bytes)) {
    // A full queue is a batch however few records it holds: the taker must not wait for more.
    pusherWaiting_ = true;
    changed_.notify_all();
    changed_.wait(lock);
    pusherWaiting_ = false;
  }
  if (closed_) return false;
  records_.push_back(std::move(record));
  bytes_ += bytes;
  if (records_.size() >= batchRecords_) changed_.notify_all();
  return true;
}

bool RecordQueue::Take(Batch& batch) {
  {
    std::lock_guard lock(mutex_);
    for (auto& record : batch) {
      if (record && spares_.size() < maxRecords_) spares_.push_back(std::move(record));
    }
  }
  batch.clear();  // what the pusher cannot use again is freed after all, outside the lock
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return closed_ || records_.size() >= batchRecords_ || (pusherWaiting_ && !records_.empty());
  });
  for (auto& record : records_) batch.push_back(std::move(record));
  records_.clear();
  bytes_ = 0;
  changed_.notify_all();
  return !batch.empty();
}

std::unique_ptr<CLogRecord> RecordQueue::Spare() {
  std::unique_lock lock(mutex_);
  if (spares_.empty()) {
    lock.unlock();
    return std::make_unique<CLogRecord>();
  }
  std::unique_ptr<CLogRecord> record = std::move(spares_.back());
  spares_.pop_back();
  lock.unlock();
  record->Reset();
  return record;
}

void RecordQueue::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

}  // namespace tamsel::collector
