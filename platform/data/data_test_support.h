// Test support for the data layer and the database: a temporary network with a local
// machine and an embedded database file in its data folder, stored-procedure commands as the
// component builds them, and the HRESULT a call raises.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/com/com_error.h"
#include "platform/data/ado_constants.h"
#include "platform/data/command.h"
#include "platform/data/connection.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::data {

class TestNetwork {
 public:
  TestNetwork() : network_(network::Network(temp_.Path() / "net", "LOCAL")) {
    network::Network::Current().CreateMachineFolder("LOCAL");
    SessionPool::Instance().Clear();
  }
  ~TestNetwork() { SessionPool::Instance().Clear(); }

  std::filesystem::path DataFolder(const std::string& machine = "LOCAL") const {
    auto folder = network::Network::Current().OpenMachine(machine)->StateFolder() / "data";
    std::filesystem::create_directories(folder);
    return folder;
  }

  // Creates <data folder>/<catalog>.db and runs `script` in it.
  std::filesystem::path CreateDatabase(const std::string& catalog, const std::string& script,
                                       const std::string& machine = "LOCAL") const {
    const auto file = DataFolder(machine) / (catalog + ".db");
    auto session = Session::Open(file, true);
    if (!script.empty()) session->Execute(script);
    return file;
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork network_;
};

// A stored-procedure command `name` on `connection` with its return value bound first as
// "lngRetVal", the way the component calls procedures.
inline Command ProcedureCommand(const Connection& connection, const std::string& name) {
  Command command;
  command.SetActiveConnection(connection);
  command.SetCommandType(adCmdStoredProc);
  command.SetCommandText(name);
  command.GetParameters().Append(
      command.CreateParameter("lngRetVal", adInteger, adParamReturnValue, 0));
  return command;
}

// The HRESULT of the ComError `f` raises; 0 when it raises none.
template <typename F>
std::uint32_t Hresult(F&& f) {
  try {
    f();
  } catch (const com::ComError& error) {
    return static_cast<std::uint32_t>(error.Number());
  }
  return 0;
}

}  // namespace tamsel::platform::data
