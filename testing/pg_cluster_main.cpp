// The ctest fixture programs' entry: "start" and "stop" the build folder's shared cluster.
#include <cstdio>
#include <string_view>

#include "testing/postgres_cluster.h"

int main(int argc, char** argv) {
  const std::string_view action = argc > 1 ? argv[1] : "";
  if (action == "start") {
    tamsel::testing::PostgresCluster::StartShared();
  } else if (action == "stop") {
    tamsel::testing::PostgresCluster::StopShared();
  } else {
    std::fprintf(stderr, "usage: tamsel_pg_cluster start|stop\n");
    return 2;
  }
  return 0;
}
