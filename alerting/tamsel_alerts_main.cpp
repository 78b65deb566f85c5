// Program entry of TamselAlerts: the command line when it names an action, else the service
// dispatcher.
#include "alerting/alerts_service.h"

int main(int argc, char** argv) {
  tamsel::alerting::CAlertsService service;
  if (!service.ProcessCommandLine(argc, argv)) service.RunDispatcher();
  return static_cast<int>(service.status_.dwWin32ExitCode);
}
