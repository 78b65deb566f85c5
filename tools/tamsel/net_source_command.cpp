// `tamsel net source`: event sources of a machine. A placeholder until the event source
// commands land; it only reports that they are not there yet.
#include <cstdio>

#include "tools/tamsel/commands.h"

namespace tamsel::tools {

int RunNetSourceCommand(const Args&) {
  std::fprintf(stderr, "tamsel net source: not available\n");
  return 1;
}

}  // namespace tamsel::tools
