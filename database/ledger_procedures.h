// The collector's completeness ledger: a row per server, log and pass, and the judgement of
// whether records went missing between two passes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/data/procedure_catalog.h"

namespace tamsel::db {

using platform::data::ProcedureCall;

// What a pass saw of one log, as far as gaps go.
struct LedgerPassFacts {
  std::string outcome;                   // "read", "not archived" or "offline"
  std::optional<std::int64_t> first;     // first record number read from the live log
  std::optional<std::int64_t> expected;  // where the previous pass said the log would go on
};

struct LedgerGap {
  std::string kind;  // "", "wrapped", "cleared", "silent" or "offline"
  // Records missing before the first one read; -1 when records went missing but their number
  // cannot be told (the log's numbering went back below where it had reached).
  std::int64_t size = 0;
};

LedgerGap ClassifyLedgerPass(const LedgerPassFacts& facts);

// CollectionLedgerAdd: one pass of one log. An offline server is given with an empty log
// name and becomes one row per log it had before (or one row without a log name).
int CollectionLedgerAdd(ProcedureCall& call);

void RegisterLedgerProcedures();

}  // namespace tamsel::db

namespace tamsel::db {

// The newest ledger row of every server and log, every column as text (empty for none), in
// the order ServerName, LogName, PassStart, PassEnd, Outcome, RecordsRead, RecordsStored,
// RecordsExcluded, RecordsNotStored, BackupsKept, FirstRecord, LastRecord, FirstTime,
// LastTime, GapKind, GapSize, NewestRecordTime (the last record time of any pass), LostRecords
// (records missing over every pass). The status command and the status page show it. After
// these, ServerID and ServerKnown ("0" once the server was deleted). A deleted server's rows
// stay; its ServerName is then "(deleted server N)", so that no reader shows a bare id.
extern const char* const kLedgerStatusQuery;
inline constexpr int kLedgerStatusColumns = 18;

}  // namespace tamsel::db
