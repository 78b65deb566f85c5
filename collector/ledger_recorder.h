// The completeness ledger as the collector keeps it during one log's pass: what was read,
// stored, excluded and not stored, the backups kept, the first and last record of the live
// log; written as one ledger row when the log's pass ends. Noting a record is a flag test and
// two stores; bench/ledger_cost.sh counts what the ledger adds to a pass.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/data/connection.h"

namespace tamsel::collector {

class LedgerRecorder {
 public:
  void Begin(int serverId, const std::string& logName, std::time_t now);
  // Records of the log's own archive (not of backups an earlier pass left) set first and last.
  void SetLive(bool live) { live_ = live && enabled_; }
  void NoteRecord(std::uint32_t number, std::uint32_t timeWritten) {
    if (!live_) return;
    if (!haveRecords_) {
      haveRecords_ = true;
      first_ = number;
      firstTime_ = timeWritten;
    }
    last_ = number;
    lastTime_ = timeWritten;
  }
  void AddCounts(long stored, long excluded, long notStored);
  void NoteCleared() { cleared_ = true; }
  void NoteBackupKept() { ++backupsKept_; }

  // A recorder switched off notes nothing and writes no row: the benchmark's baseline of a pass
  // without the ledger.
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // Writes the row; outcome "read" or "not archived". A ledger that cannot be written is
  // traced by the caller and never fails the pass. True when the row was written.
  bool Write(const platform::data::Connection& connection, const std::string& outcome,
             std::time_t now) const;
  // One "offline" row per log the server had (the procedure expands the empty log name).
  static bool WriteOffline(const platform::data::Connection& connection, int serverId,
                           std::time_t now);

 private:
  bool enabled_ = true;
  int serverId_ = 0;
  std::string logName_;
  std::time_t start_ = 0;
  bool live_ = false;
  bool cleared_ = false;
  bool haveRecords_ = false;
  std::uint32_t first_ = 0;
  std::uint32_t last_ = 0;
  std::uint32_t firstTime_ = 0;
  std::uint32_t lastTime_ = 0;
  long stored_ = 0;
  long excluded_ = 0;
  long notStored_ = 0;
  long backupsKept_ = 0;
};

// Seconds since 1970 as the ledger's UTC text, "YYYY-MM-DD HH:MM:SS".
std::string LedgerTime(std::time_t seconds);

}  // namespace tamsel::collector
