// Test support for tests that run on both engines: TamselDB made on the engine under test,
// and the connection string that reaches it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "database/database_file.h"
#include "database/schema.h"
#include "platform/data/connection.h"
#include "platform/data/data_test_support.h"
#include "platform/data/server_test_support.h"
#include "platform/data/session.h"

namespace tamsel::db {

using platform::data::Engine;

// Creates TamselDB (schema and seed rows) on `engine` and returns the connection string of
// the component's form; nullopt (with `why`) when the server engine is not available.
inline std::optional<std::string> CreateTestDatabase(Engine engine, std::string& why) {
  if (engine == Engine::Embedded) {
    CreateDatabase(LocalCatalogFile(kDefaultCatalog));
    return "Provider=sqloledb;Data Source=;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;";
  }
  if (!platform::data::PrepareServerAlias(&why)) return std::nullopt;
  auto session = platform::data::Session::OpenServer(
      {*platform::data::ServerAliasTarget(platform::data::kServerAlias), "TamselDB", "", ""});
  UpgradeSchema(*session);
  return std::string("Provider=sqloledb;Data Source=") + platform::data::kServerAlias +
         ";Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;";
}

// A test of TamselDB on the engine of its parameter, through a connection of the component's
// form; skipped when the server engine is not available.
class EngineDatabaseTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    std::string why;
    const auto connection = CreateTestDatabase(GetParam(), why);
    if (!connection) GTEST_SKIP() << why;
    conn_.Open(*connection);
  }

  platform::data::TestNetwork net_;
  platform::data::Connection conn_;
};

#define TAMSEL_ON_BOTH_ENGINES(Suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(                                                                \
      Engines, Suite,                                                                      \
      ::testing::Values(platform::data::Engine::Embedded, platform::data::Engine::Server), \
      platform::data::EngineName)

}  // namespace tamsel::db
