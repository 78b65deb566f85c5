// The completeness ledger's procedure. The gap of a pass is judged here, against the row of
// the previous pass of the same log, so every reader of the table sees the same judgement.
#include "database/ledger_procedures.h"

#include <vector>

#include "platform/com/variant.h"
#include "platform/data/ado_constants.h"

namespace tamsel::db {

namespace {

using platform::com::Variant;
using platform::data::Session;

enum Arg {
  kServerId,
  kLogName,
  kPassStart,
  kPassEnd,
  kOutcome,
  kRead,
  kStored,
  kExcluded,
  kNotStored,
  kBackupsKept,
  kFirstRecord,
  kLastRecord,
  kFirstTime,
  kLastTime,
  kCleared,
};

bool IsEmpty(const Variant& value) { return value.IsEmpty() || value.IsNull(); }

std::optional<std::int64_t> OptionalNumber(const Variant& value) {
  if (IsEmpty(value)) return std::nullopt;
  return static_cast<std::int64_t>(value.CDbl());
}

// The record number the previous pass of this log expects next; none for a first pass.
std::optional<std::int64_t> ExpectedNext(Session& session, const Variant& serverId,
                                         const std::string& logName) {
  auto previous = session.Prepare(
      "SELECT NextExpected FROM CollectionLedger WHERE ELServerID = ? AND LogName = ? "
      "ORDER BY CollectionLedgerID DESC LIMIT 1");
  previous.Bind(1, serverId).BindText(2, logName);
  if (!previous.Step() || previous.IsNull(0)) return std::nullopt;
  return previous.Int64(0);
}

void InsertRow(ProcedureCall& call, const std::string& logName) {
  Session& session = call.GetSession();
  LedgerPassFacts facts;
  facts.outcome = call.Arg(kOutcome).CStr();
  facts.first = OptionalNumber(call.Arg(kFirstRecord));
  facts.expected = ExpectedNext(session, call.Arg(kServerId), logName);
  const LedgerGap gap = ClassifyLedgerPass(facts);
  // A log we cleared starts again at record 1; one we did not touch goes on where it was.
  std::optional<std::int64_t> next = facts.expected;
  if (!IsEmpty(call.Arg(kCleared)) && call.Arg(kCleared).CLng() != 0) next = 1;

  auto insert = session.Prepare(
      "INSERT INTO CollectionLedger (ELServerID, LogName, PassStart, PassEnd, Outcome, "
      "RecordsRead, RecordsStored, RecordsExcluded, RecordsNotStored, BackupsKept, FirstRecord, "
      "LastRecord, FirstTime, LastTime, NextExpected, GapKind, GapSize) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, call.Arg(kServerId)).BindText(2, logName);
  for (int arg = kPassStart; arg <= kLastTime; ++arg) insert.Bind(arg + 1, call.Arg(arg));
  if (next) {
    insert.BindInt64(15, *next);
  } else {
    insert.Bind(15, Variant::Null());
  }
  insert.BindText(16, gap.kind).BindInt64(17, gap.size).Run();
}

}  // namespace

LedgerGap ClassifyLedgerPass(const LedgerPassFacts& facts) {
  if (facts.outcome == "offline") return {"offline", 0};
  if (facts.outcome != "read") return {};
  if (!facts.first) return {"silent", 0};
  if (!facts.expected) return {};
  if (*facts.first > *facts.expected) return {"wrapped", *facts.first - *facts.expected};
  if (*facts.first < *facts.expected) return {"cleared", -1};
  return {};
}

int CollectionLedgerAdd(ProcedureCall& call) {
  const std::string logName = IsEmpty(call.Arg(kLogName)) ? "" : call.Arg(kLogName).CStr();
  if (!logName.empty() || std::string(call.Arg(kOutcome).CStr()) != "offline") {
    InsertRow(call, logName);
    return 0;
  }
  std::vector<std::string> known;
  auto logs = call.GetSession().Prepare(
      "SELECT DISTINCT LogName FROM CollectionLedger WHERE ELServerID = ? AND LogName <> '' "
      "ORDER BY LogName");
  logs.Bind(1, call.Arg(kServerId));
  while (logs.Step()) known.push_back(logs.Text(0));
  if (known.empty()) known.emplace_back();
  for (const std::string& log : known) InsertRow(call, log);
  return 0;
}

void RegisterLedgerProcedures() {
  using namespace platform::data;  // the ADO type numbers read best unqualified here
  auto in = [](const char* name, long type) { return ProcedureParameter{name, type, false}; };
  ProcedureDefinition add{
      "CollectionLedgerAdd",
      {in("@ELServerID", adInteger), in("@LogName", adVarChar), in("@PassStart", adVarChar),
       in("@PassEnd", adVarChar), in("@Outcome", adVarChar), in("@RecordsRead", adInteger),
       in("@RecordsStored", adInteger), in("@RecordsExcluded", adInteger),
       in("@RecordsNotStored", adInteger), in("@BackupsKept", adInteger),
       in("@FirstRecord", adBigInt), in("@LastRecord", adBigInt), in("@FirstTime", adVarChar),
       in("@LastTime", adVarChar), in("@Cleared", adInteger)},
      CollectionLedgerAdd};
  add.writesAlways = true;  // one row per log and pass, every call
  ProcedureCatalog::Global().Register(std::move(add));
}

}  // namespace tamsel::db

namespace tamsel::db {

const char* const kLedgerStatusQuery =
    "SELECT COALESCE(s.ELServerName, '(deleted server ' || CAST(l.ELServerID AS TEXT) || ')') "
    "AS ServerName, "
    "l.LogName AS LogName, l.PassStart AS PassStart, l.PassEnd AS PassEnd, "
    "l.Outcome AS Outcome, CAST(l.RecordsRead AS TEXT) AS RecordsRead, "
    "CAST(l.RecordsStored AS TEXT) AS RecordsStored, "
    "CAST(l.RecordsExcluded AS TEXT) AS RecordsExcluded, "
    "CAST(l.RecordsNotStored AS TEXT) AS RecordsNotStored, "
    "CAST(l.BackupsKept AS TEXT) AS BackupsKept, "
    "COALESCE(CAST(l.FirstRecord AS TEXT), '') AS FirstRecord, "
    "COALESCE(CAST(l.LastRecord AS TEXT), '') AS LastRecord, "
    "COALESCE(l.FirstTime, '') AS FirstTime, COALESCE(l.LastTime, '') AS LastTime, "
    "l.GapKind AS GapKind, CAST(l.GapSize AS TEXT) AS GapSize, "
    "COALESCE((SELECT MAX(o.LastTime) FROM CollectionLedger o WHERE o.ELServerID = l.ELServerID "
    "AND o.LogName = l.LogName), '') AS NewestRecordTime, "
    "CAST((SELECT COALESCE(SUM(g.GapSize), 0) FROM CollectionLedger g WHERE g.ELServerID = "
    "l.ELServerID AND g.LogName = l.LogName AND g.GapSize > 0) AS TEXT) AS LostRecords, "
    "CAST(l.ELServerID AS TEXT) AS ServerID, "
    "CASE WHEN s.ELServerID IS NULL THEN '0' ELSE '1' END AS ServerKnown "
    "FROM CollectionLedger l LEFT JOIN ELServer s ON s.ELServerID = l.ELServerID "
    "WHERE l.CollectionLedgerID = (SELECT MAX(m.CollectionLedgerID) FROM CollectionLedger m "
    "WHERE m.ELServerID = l.ELServerID AND m.LogName = l.LogName) "
    "ORDER BY ServerName, l.LogName";

}  // namespace tamsel::db
