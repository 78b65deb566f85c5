// The storing thread's loop on the server engine: records are gathered into batches that
// the database takes in a few statements (db::LogEntryBatch), committed every
// recordsPerTransaction_ records as on the embedded engine. A batch the database refuses
// as a whole is stored again one record at a time, so only the records at fault are lost
// to the pass (and kept in their backup).
#include "collector/collector_service.h"
#include "collector/database_writer.h"
#include "collector/record_queue.h"
#include "database/log_entry_batch.h"
#include "platform/data/connection.h"

namespace tamsel::collector {

namespace data = platform::data;

namespace {

// Records per merge: large enough that the statements of a merge cost little per record,
// small enough that the records held for a retry stay a few megabytes.
constexpr size_t kRecordsPerBatch = 5000;

constexpr std::int64_t kLowestShort = -32768, kHighestShort = 32767;

// The values LogEntryInsert would be given for the record (see InsertLogEntry).
db::EntryValues ValuesOf(const CLogRecord& record, const std::string& generated,
                         const std::string& written) {
  db::EntryValues values;
  values.server = record.elServerId_;
  values.logName = record.logName_;
  values.recordNumber = static_cast<std::int32_t>(record.recordNumber_);
  values.timeGenerated = generated;
  values.timeWritten = written;
  values.eventId = static_cast<std::int16_t>(record.eventId_ & 0xFFFF);
  values.eventType = static_cast<std::int16_t>(record.eventType_);
  values.categoryNumber = static_cast<std::int16_t>(record.category_);
  values.categoryName = record.categoryName_;
  values.userName = record.userName_;
  values.sourceName = record.sourceName_;
  values.message = record.description_;
  values.backupFile = record.backupFile_;
  return values;
}

}  // namespace

int CCollectorService::InsertLogEntryAlone(const CLogRecord& record) {
  if (!inTransaction_) return InsertLogEntry(record);
  try {
    connection_->Execute("SAVEPOINT tamsel_record", data::adExecuteNoRecords);
  } catch (const std::exception&) {
    return -1;
  }
  const int inserted = InsertLogEntry(record);
  try {
    connection_->Execute(inserted == 0 ? "RELEASE tamsel_record"
                                       : "ROLLBACK TO tamsel_record; RELEASE tamsel_record",
                         data::adExecuteNoRecords);
  } catch (const std::exception&) {
    transactionBroken_ = true;
  }
  return inserted;
}

void CCollectorService::StoreRecordsInBatches(RecordQueue& queue, StoreTally& tally) {
  long pending = 0;  // passed to the database, waiting for the commit
  // The records of the batch being gathered, and of the one the server is merging meanwhile.
  std::vector<std::unique_ptr<CLogRecord>> held, merging;
  db::LogEntryBatch batch;
  auto commit = [&] { CommitPending(pending, tally); };
  auto one = [&](const CLogRecord& record) {
    const int inserted = InsertLogEntryAlone(record);
    if (inserted == 0) {
      ++pending;
    } else {
      ++tally.notStored;
      tally.result = inserted;
    }
  };
  // Whatever the transaction held went with the connection; a new one takes the rest.
  auto lose = [&](size_t records) {
    tally.notStored += static_cast<long>(records) + pending;
    tally.result = -1;
    pending = 0;
    CommitRecords();
    BeginRecords();
  };
  // A batch the database refused as a whole is stored again one record at a time.
  auto refusedWhole = [&](std::vector<std::unique_ptr<CLogRecord>>& records) {
    if (connection_->Lost()) {
      lose(records.size());
    } else {
      for (const auto& record : records) one(*record);
    }
  };
  // Waits for the batch the server is merging; the transaction ends once it holds enough.
  auto settle = [&] {
    if (merging.empty()) return;
    try {
      const long refused = batch.Finish();
      pending += static_cast<long>(merging.size()) - refused;
      tally.notStored += refused;
      if (refused != 0) tally.result = -1;
    } catch (const std::exception&) {
      refusedWhole(merging);
    }
    merging.clear();
    if (pending >= recordsPerTransaction_) {
      commit();
      BeginRecords();
    }
  };
  // Sends the gathered records; the server merges them while the next ones are gathered.
  auto flush = [&] {
    settle();
    if (held.empty()) return;
    if (OpenDatabase() != 0) {
      batch = db::LogEntryBatch();
      lose(held.size());
    } else {
      try {
        batch.Start(connection_->GetSession());
        merging = std::move(held);
      } catch (const std::exception&) {
        refusedWhole(held);
      }
    }
    held.clear();
  };
  // Whether the records gathered are due: a full batch, or the rest of the transaction. A
  // batch in flight that fills the transaction leaves the gathered ones to the next.
  auto due = [&] {
    if (held.size() >= kRecordsPerBatch) return true;
    const long open = pending + static_cast<long>(merging.size());
    const long gathered = static_cast<long>(held.size());
    return open >= recordsPerTransaction_ ? gathered >= recordsPerTransaction_
                                          : open + gathered >= recordsPerTransaction_;
  };
  BeginRecords();
  RecordQueue::Batch taken;
  while (queue.Take(taken)) {
    for (std::unique_ptr<CLogRecord>& record : taken) {
      if (record->elServerId_ < kLowestShort || record->elServerId_ > kHighestShort) {
        ++tally.notStored;  // the procedure's parameter could not carry it either
        tally.result = -1;
        continue;
      }
      const std::string generated = FormatIsoRecordTime(record->timeGenerated_);
      const std::string written = FormatIsoRecordTime(record->timeWritten_);
      const db::EntryValues values = ValuesOf(*record, generated, written);
      if (!db::LogEntryBatch::Takes(values)) {
        flush();
        settle();
        one(*record);
        continue;
      }
      batch.Add(values);
      held.push_back(std::move(record));
      if (due()) flush();
    }
  }
  flush();
  settle();
  commit();
}

}  // namespace tamsel::collector
