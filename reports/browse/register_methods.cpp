// Installs the log browser's methods into the Reports class.
#include "reports/browse/browse_methods.h"

namespace tamsel::reports::browse {

void RegisterMethods(MethodRegistry& registry) {
  registry.Add<&SqlQueryGenerate>("Reports.SqlQueryGenerate");
  registry.Add<&TextSqlMake>("Reports.TextSqlMake");
}

}  // namespace tamsel::reports::browse
