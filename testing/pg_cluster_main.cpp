// The ctest fixture programs' entry: "start" and "stop" the build folder's shared cluster;
// "target" prints its libpq target for the browser tests, which reach it from outside the
// test programs (exit 1 when it is not running).
#include <cstdio>
#include <string>
#include <string_view>

#include "testing/postgres_cluster.h"

int main(int argc, char** argv) {
  const std::string_view action = argc > 1 ? argv[1] : "";
  if (action == "start") {
    tamsel::testing::PostgresCluster::StartShared();
  } else if (action == "stop") {
    tamsel::testing::PostgresCluster::StopShared();
  } else if (action == "target") {
    const std::string target = tamsel::testing::PostgresCluster::SharedTarget();
    if (target.empty()) {
      std::fprintf(stderr, "the build folder's PostgreSQL cluster is not running\n");
      return 1;
    }
    std::printf("%s\n", target.c_str());
  } else {
    std::fprintf(stderr, "usage: tamsel_pg_cluster start|stop|target\n");
    return 2;
  }
  return 0;
}
