// Reports.HeartBitCheck: tells a page that the component, its configuration and the
// database answer.
#pragma once

#include <string>

namespace tamsel::reports {

// "Database connection: OK<br>" followed by the database's version text; the description of
// the error caught (or "") when anything fails.
std::string HeartBitCheck();

}  // namespace tamsel::reports
