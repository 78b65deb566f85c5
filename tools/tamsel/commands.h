// The subcommands of the `tamsel` admin tool. Each takes the arguments after its own name
// and returns the process exit code: 0 on success, 1 on failure (error on stderr).
#pragma once

#include <string>
#include <vector>

namespace tamsel::tools {

using Args = std::vector<std::string>;

int RunNetCommand(const Args& args);
int RunRegCommand(const Args& args);
// `tamsel sc ...`: the service control manager (tools/tamsel/sc_command.cpp).
int RunScCommand(const Args& args);
// `tamsel db ...`: TamselDB files of the local machine (tools/tamsel/db_command.cpp).
int RunDbCommand(const Args& args);
int RunDbAliasCommand(const Args& args);
int RunDbCopyCommand(const Args& args);
// `tamsel net source ...` (event sources); the net command hands the word "source" on.
int RunNetSourceCommand(const Args& args);
// `tamsel event ...`: write, query, clear and back up event logs (tools/tamsel/event_command.cpp).
int RunEventCommand(const Args& args);

// `tamsel com ...`: the component's scripting host (tools/tamsel/com_command.cpp).
int RunComCommand(const Args& args);

// `tamsel alerts ...`: the alert sender's state, a dry run of one alert, the notification
// ledger (tools/tamsel/alerts_command.cpp).
int RunAlertsCommand(const Args& args);

// `tamsel collector status`: the completeness ledger (tools/tamsel/collector_command.cpp).
int RunCollectorCommand(const Args& args);

}  // namespace tamsel::tools
