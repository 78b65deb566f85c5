// CLogRecord: one event-log record on its way from a backup file to the database. One object
// serves every record of a file: it is reset before each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel::collector {

class CLogRecord {
 public:
  CLogRecord() = default;
  virtual ~CLogRecord();
  CLogRecord(const CLogRecord&) = delete;
  CLogRecord& operator=(const CLogRecord&) = delete;

  // Every string empty, every number 0, no insertion strings and no SID.
  void Reset();

  int elServerId_ = 0;
  std::string computerName_;  // the machine that logged the event
  std::string logName_;
  std::uint32_t recordNumber_ = 0;
  std::uint32_t timeGenerated_ = 0;  // seconds since 1970-01-01 00:00 UTC
  std::uint32_t timeWritten_ = 0;
  std::uint32_t eventId_ = 0;  // all 32 bits
  std::uint16_t eventType_ = 0;
  std::uint16_t category_ = 0;
  std::string categoryName_;
  std::vector<std::uint8_t> userSid_;  // empty: the record has no SID
  std::string userName_;               // "DOMAIN\account", or empty
  std::string sourceName_;
  std::vector<std::string> insertionStrings_;  // in order, empty ones kept in place
  std::string description_;
  std::string categoryMessageFile_;
  std::string eventMessageFile_;
  // The backup file the record was read from ("D:\EvtBak\Application_….evt"): with the
  // record number it is the record's identity in the database.
  std::string backupFile_;
};

}  // namespace tamsel::collector
