// Test support for the `tamsel` tool: a fresh network root and a way to run the tool in it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testing/temp_dir.h"

namespace tamsel::tools {

class ToolTest : public ::testing::Test {
 protected:
  // Runs `tamsel ARGS` with the network root of the test and SRV01 as the local machine.
  // `input` is fed to standard input.
  testing::CommandResult Tamsel(const std::string& args, const std::string& input = "",
                                bool mergeStderr = false) const {
    std::string line = "TAMSEL_NETWORK='" + Root().string() + "' TAMSEL_MACHINE=SRV01 '" +
                       (testing::BuildDir() / "tools/tamsel").string() + "' " + args;
    if (!input.empty()) line = "printf '" + input + "' | " + line;
    return testing::RunCommand(line, mergeStderr);
  }

  // stderr only, for the failure messages.
  std::string Errors(const std::string& args) const {
    return Tamsel(args + " 2>&1 >/dev/null").output;
  }

  std::filesystem::path Root() const { return temp_.Path() / "net"; }

  testing::ScopedTempDir temp_;
};

}  // namespace tamsel::tools
