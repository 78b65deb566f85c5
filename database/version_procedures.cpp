// The version procedure the component's heartbeat reads.
#include "database/procedures.h"

namespace tamsel::db {

int VersionInfoGet(ProcedureCall& call) {
  auto version =
      call.GetSession().Prepare("SELECT VersionInfoDesc FROM VersionInfo WHERE VersionInfoID = 1");
  call.SetOutput(
      0, version.Step() ? platform::com::Variant(version.Text(0)) : platform::com::Variant::Null());
  return 0;
}

}  // namespace tamsel::db
