// The stored procedures of TamselDB, one function each. Each takes its arguments in the
// order it declares them (see catalog.cpp) and returns its RETURN value.
#pragma once

#include "platform/data/procedure_catalog.h"

namespace tamsel::db {

using platform::data::ProcedureCall;

// Registers every procedure in the provider's catalog (done once when the library is
// linked; calling it again changes nothing).
void RegisterProcedures();

// The collector's writer.
int LogEntryInsert(ProcedureCall& call);
int LogEntryExclusionCheck(ProcedureCall& call);
// One row, BackupKnown: 1 when records of that backup file of the server's log are stored
// (a new backup must then take another name), else 0.
int LogBackupCheck(ProcedureCall& call);

// The component's heartbeat.
int VersionInfoGet(ProcedureCall& call);

}  // namespace tamsel::db
