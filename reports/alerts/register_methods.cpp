// Installs the alert methods into their slots of the Reports class.
#include "reports/alerts/alert_methods.h"

namespace tamsel::reports::alerts {

void RegisterMethods(MethodRegistry& registry) {
  registry.Add<&AlertHdrUpdate>("Reports.AlertHdrUpdate");
  registry.Add<&AlertListGet>("Reports.AlertListGet");
  registry.Add<&AlertHdrSetStatus>("Reports.AlertHdrSetStatus");
  registry.Add<&AlertDelete>("Reports.AlertDelete");
  registry.Add<&AlertHdrGet>("Reports.AlertHdrGet");
  registry.Add<&AlertRecipientUpdate>("Reports.AlertRecipientUpdate");
  registry.Add<&AlertScheduleGet>("Reports.AlertScheduleGet");
  registry.Add<&AlertRecipientRemove>("Reports.AlertRecipientRemove");
  registry.Add<&SqlForAlertGenerate>("Reports.SqlForAlertGenerate");
}

}  // namespace tamsel::reports::alerts
