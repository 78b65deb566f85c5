// CLogRecord: reset between records.
#include "collector/log_record.h"

namespace tamsel::collector {

CLogRecord::~CLogRecord() { Reset(); }

void CLogRecord::Reset() {
  elServerId_ = 0;
  computerName_.clear();
  logName_.clear();
  recordNumber_ = 0;
  timeGenerated_ = 0;
  timeWritten_ = 0;
  eventId_ = 0;
  eventType_ = 0;
  category_ = 0;
  categoryName_.clear();
  std::vector<std::uint8_t>().swap(userSid_);  // frees the buffer, not only empties it
  userName_.clear();
  sourceName_.clear();
  insertionStrings_.clear();
  description_.clear();
  categoryMessageFile_.clear();
  eventMessageFile_.clear();
  backupFile_.clear();
}

}  // namespace tamsel::collector
