// Installs the methods of every folder of the component built into this library
// (reports/core, and reports/browse, reports/alerts, reports/admin when they exist).
#pragma once

#include "reports/core/method_registry.h"

namespace tamsel::reports {

void RegisterModuleMethods(MethodRegistry& registry);

}  // namespace tamsel::reports
