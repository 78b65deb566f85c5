// One collection pass in a process of its own, for scenarios that kill it part way: the
// collector of the local machine (TAMSEL_MACHINE) with Windows authentication on the local
// TamselDB and the backup path given as the one argument. Exits with the pass's result.
#include "collector/collector_service.h"

int main(int argc, char** argv) {
  tamsel::collector::CCollectorService service("Tamsel");
  service.ntAuthentication_ = 1;
  service.backupPath_ = argc > 1 ? argv[1] : "D:\\EvtBak";
  service.recordsPerTransaction_ = 4;  // several batches, so a kill can fall between them
  const int result = service.CollectAll();
  return result < 0 ? 1 : 0;
}
