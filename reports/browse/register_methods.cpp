// Installs the log browser's methods into the Reports class.
#include "reports/browse/browse_methods.h"

namespace tamsel::reports::browse {

void RegisterMethods(MethodRegistry& registry) {
  registry.Add<&SqlQueryGenerate>("Reports.SqlQueryGenerate");
  registry.Add<&TextSqlMake>("Reports.TextSqlMake");
  registry.Add<&LogEntryPageIdsGetFromDB>("Reports.LogEntryPageIdsGetFromDB");
  registry.Add<&LogEntryPageDetailsGetFromDB>("Reports.LogEntryPageDetailsGetFromDB");
  registry.Add<&MenuXmlGet>("Reports.MenuXmlGet");
  registry.Add<&TwoFieldListFromDBGet>("Reports.TwoFieldListFromDBGet");
  registry.Add<&ServerLogTypeFilterListGet>("Reports.ServerLogTypeFilterListGet");
  registry.Add<&EventSourceListGet>("Reports.EventSourceListGet");
  registry.Add<&EventTypeListGet>("Reports.EventTypeListGet");
  registry.Add<&EventCategoryListGet>("Reports.EventCategoryListGet");
  registry.Add<&LogReportSave>("Reports.LogReportSave");
  registry.Add<&SavedReportListGet>("Reports.SavedReportListGet");
  registry.Add<&SavedReportDelete>("Reports.SavedReportDelete");
  registry.Add<&SavedReportGet>("Reports.SavedReportGet");
}

}  // namespace tamsel::reports::browse
