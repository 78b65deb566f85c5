// The procedure catalog of TamselDB: one registration line per procedure, with the
// parameters it declares, in the order callers bind them.
#include "database/admin_procedures.h"
#include "database/alert_procedures.h"
#include "database/browse_procedures.h"
#include "database/ledger_procedures.h"
#include "database/procedures.h"
#include "platform/data/ado_constants.h"

namespace tamsel::db {
namespace {

using platform::data::ProcedureParameter;

ProcedureParameter In(const char* name, long type) { return {name, type, false}; }
ProcedureParameter Out(const char* name, long type) { return {name, type, true}; }

}  // namespace

void RegisterProcedures() {
  using namespace platform::data;  // the ADO type numbers read best unqualified here
  ProcedureCatalog& catalog = ProcedureCatalog::Global();
  catalog.Register(
      {"LogEntryInsert",
       {In("@ELServerID", adInteger), In("@LogTypeName", adVarChar), In("@RecordNumber", adInteger),
        In("@TimeGenerated", adDBTimeStamp), In("@TimeWritten", adDBTimeStamp),
        In("@EventID", adInteger), In("@EventTypeID", adInteger), In("@EventCategoryID", adInteger),
        In("@EventCategoryName", adVarChar), In("@UserName", adVarChar),
        In("@SourceName", adVarChar), In("@DescriptionFullMessage", adVarChar),
        In("@BackupFileName", adVarChar)},
       LogEntryInsert,
       /*twoFieldList=*/false,
       /*guardWithSavepoint=*/false});
  catalog.Register({"LogEntryExclusionCheck",
                    {In("@ELServerID", adInteger), In("@EventTypeID", adInteger)},
                    LogEntryExclusionCheck});
  catalog.Register({"LogBackupCheck",
                    {In("@ELServerID", adInteger), In("@LogTypeName", adVarChar),
                     In("@BackupFileName", adVarChar)},
                    LogBackupCheck});
  catalog.Register({"VersionInfoGet", {Out("@VersionInfoDesc", adVarChar)}, VersionInfoGet});
  RegisterBrowseProcedures();
  RegisterAlertProcedures();
  RegisterAdminProcedures();
  RegisterLedgerProcedures();
}

}  // namespace tamsel::db

// Linking the database library pulls this file in (see CMakeLists.txt), which registers
// the procedures before main runs.
extern "C" const bool tamsel_db_procedure_anchor = (tamsel::db::RegisterProcedures(), true);
