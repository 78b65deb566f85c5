// End-to-end support for the collector: a fresh machine of a test network made with the
// `tamsel` tool, the TamselCollector program and the tool run in it, and the machine's registry
// and Application log read back.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "testing/temp_dir.h"

namespace tamsel::e2e {

class CollectorTest : public ::testing::Test {
 protected:
  CollectorTest() : network_(platform::network::Network(Root(), "SRV01")) {
    auto created = Tamsel("net create SRV01");
    EXPECT_EQ(created.exitCode, 0) << created.output;
  }

  std::filesystem::path Root() const { return temp_.Path() / "net"; }
  std::filesystem::path DebugLog() const { return temp_.Path() / "debug.log"; }
  std::string Collector() const {
    return (tamsel::testing::BuildDir() / "collector/TamselCollector").string();
  }

  std::string Environment() const {
    return "TAMSEL_NETWORK='" + Root().string() + "' TAMSEL_MACHINE=SRV01 TAMSEL_DEBUG_LOG='" +
           DebugLog().string() + "' ";
  }
  tamsel::testing::CommandResult Run(const std::string& program, const std::string& args,
                                     bool mergeStderr = false) const {
    return tamsel::testing::RunCommand(Environment() + "'" + program + "' " + args, mergeStderr);
  }
  // TamselCollector with the arguments (each already quoted for the shell as needed).
  tamsel::testing::CommandResult Program(const std::string& args) const {
    return Run(Collector(), args);
  }
  tamsel::testing::CommandResult Tamsel(const std::string& args, bool mergeStderr = false) const {
    return Run((tamsel::testing::BuildDir() / "tools/tamsel").string(), args, mergeStderr);
  }

  // The Application log of SRV01 as `tamsel event query` renders it, oldest first.
  nlohmann::json Events() const {
    auto result = Tamsel("event query --machine SRV01 --log Application --json");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return nlohmann::json::parse(result.output, nullptr, false);
  }

  // A value of the service's key, or nullopt.
  std::optional<std::uint32_t> Dword(const std::string& subKey, const std::string& name) const {
    namespace reg = platform::registry;
    reg::RegistryKey key;
    std::uint32_t value = 0;
    if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\Tamsel" + subKey,
                               reg::KEY_READ, key) != 0 ||
        key.GetDword(name, value) != 0) {
      return std::nullopt;
    }
    return value;
  }
  std::optional<std::string> String(const std::string& subKey, const std::string& name) const {
    namespace reg = platform::registry;
    reg::RegistryKey key;
    std::string value;
    if (reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\Tamsel" + subKey,
                               reg::KEY_READ, key) != 0 ||
        key.GetString(name, value) != 0) {
      return std::nullopt;
    }
    return value;
  }

  tamsel::testing::ScopedTempDir temp_;
  platform::network::ScopedCurrentNetwork network_;
};

}  // namespace tamsel::e2e
