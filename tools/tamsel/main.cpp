// Entry of the `tamsel` admin tool: global options, then dispatch to a subcommand.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "platform/network/network.h"
#include "tools/tamsel/commands.h"

namespace {

using tamsel::tools::Args;

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {"net", "machines of the network: create, list, offline, online, path, source add",
     tamsel::tools::RunNetCommand},
    {"reg", "registry of a machine, in the manner of reg.exe", tamsel::tools::RunRegCommand},
    {"sc", "services: create, delete, start, stop, control, query", tamsel::tools::RunScCommand},
    {"db", "TamselDB: create, upgrade, info, check, create-admin", tamsel::tools::RunDbCommand},
    {"event", "event logs: write, query, clear, backup", tamsel::tools::RunEventCommand},
    {"com", "the component: register, unregister, call methods by ProgID, batch calls",
     tamsel::tools::RunComCommand},
    {"alerts", "the alert sender: status, test ALERTID (a dry run), history",
     tamsel::tools::RunAlertsCommand},
    {"collector", "the collection ledger: status of every server and log [--json]",
     tamsel::tools::RunCollectorCommand},
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: tamsel [--network DIR] [--machine NAME] COMMAND [ARGS...]\n\n"
               "The network root is TAMSEL_NETWORK (or --network); the local machine is\n"
               "TAMSEL_MACHINE (or --machine), else the host name.\n\ncommands:\n");
  for (const Command& command : kCommands) {
    std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
  }
  std::fprintf(out, "\n'tamsel COMMAND --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  // Global options stand before the command; they set the environment so every layer and
  // any program started from here sees the same network.
  while (args.size() >= 2 && (args[0] == "--network" || args[0] == "--machine")) {
    setenv(args[0] == "--network" ? "TAMSEL_NETWORK" : "TAMSEL_MACHINE", args[1].c_str(), 1);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? 1 : 0;
  }
  try {
    tamsel::platform::network::Network::SetCurrent(
        tamsel::platform::network::Network::FromEnvironment());
    for (const Command& command : kCommands) {
      if (args[0] == command.name) return command.run(Args(args.begin() + 1, args.end()));
    }
    std::fprintf(stderr, "tamsel: unknown command '%s'\n", args[0].c_str());
    PrintUsage(stderr);
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tamsel: %s\n", error.what());
    return 1;
  }
}
