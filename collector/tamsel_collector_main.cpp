// Program entry of TamselCollector: the command line when it names an action, else the service
// dispatcher.
#include "collector/collector_service.h"

int main(int argc, char** argv) {
  tamsel::collector::CCollectorService service("Tamsel");
  if (!service.ProcessCommandLine(argc, argv)) service.RunDispatcher();
  return static_cast<int>(service.status_.dwWin32ExitCode);
}
