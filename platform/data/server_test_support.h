// Test support for the server engine: a fresh schema of database "TamselDB" on the test
// program's throwaway cluster, reached through the data-source alias "PGTEST" in the local
// machine's registry (the test network must exist first). Engine is the parameter of tests
// that run on both engines.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "platform/data/data_source.h"
#include "platform/data/sql_dialect.h"
#include "testing/postgres_cluster.h"

namespace tamsel::platform::data {

inline constexpr const char* kServerAlias = "PGTEST";

// Makes a new empty schema and points the alias at it; false when there is no cluster.
inline bool PrepareServerAlias(std::string* why = nullptr) {
  auto* cluster = tamsel::testing::PostgresCluster::Shared();
  if (cluster == nullptr) {
    if (why != nullptr) *why = tamsel::testing::PostgresCluster::SkipReason();
    return false;
  }
  // Test programs running at once race to make these: one that loses tries again.
  static const bool made = [cluster] {
    for (int attempt = 0; attempt < 5; ++attempt) {
      cluster->Psql("CREATE DATABASE \"TamselDB\"");
      if (cluster->Psql("CREATE EXTENSION IF NOT EXISTS citext SCHEMA public", "TamselDB")) {
        return true;
      }
      usleep(200000);
    }
    return false;
  }();
  static std::atomic<int> counter{0};
  const std::string schema = "t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  if (!made ||
      !cluster->Psql("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema,
                     "TamselDB")) {
    if (why != nullptr) *why = "cannot prepare a schema on the test cluster";
    return false;
  }
  // A test whose alias is missing would open nothing it meant to: a failed write is a failure.
  if (!WriteAlias(kServerAlias, "host=" + cluster->SocketFolder().string() +
                                    " user=tamsel options='-c search_path=" + schema +
                                    ",public'")) {
    throw std::runtime_error("cannot write the test alias " + std::string(kServerAlias));
  }
  return true;
}

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::Embedded ? "Embedded" : "Server";
}

}  // namespace tamsel::platform::data
