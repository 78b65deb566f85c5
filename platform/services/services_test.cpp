// Tests of the service control manager: records, start and stop of a real service process,
// control codes, SIGTERM, a dying service, delete while running, the console case.
#include "platform/services/services.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/services/service_runtime.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::services {
namespace {

namespace fs = std::filesystem;
namespace reg = platform::registry;

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() : network_(network::Network(temp_.Path() / "net", "SRV01")) {
    network::Network::Current().CreateMachineFolder("SRV01");
    program_ = (tamsel::testing::BuildDir() / "platform/services/tamsel_test_service").string();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  }
  ~ServicesTest() override {
    for (SC_HANDLE handle : services_) {
      SERVICE_STATUS status;
      if (QueryServiceStatus(handle, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        DWORD pid = QueryServiceProcessId(handle);
        if (pid != 0) kill(static_cast<pid_t>(pid), SIGKILL);
      }
      CloseServiceHandle(handle);
    }
    CloseServiceHandle(manager_);
  }

  SC_HANDLE Create(const std::string& name, const std::string& arguments = "normal") {
    SC_HANDLE handle = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, (program_ + " " + arguments).c_str(),
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
    if (handle != nullptr) services_.push_back(handle);
    return handle;
  }

  // Polls until the state is reached or five seconds have passed.
  SERVICE_STATUS WaitFor(SC_HANDLE handle, DWORD state) {
    SERVICE_STATUS status{};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (QueryServiceStatus(handle, &status) && status.dwCurrentState != state &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
  }

  std::string Output(const std::string& name) {
    std::ifstream in(ServiceFolder(*network::Network::Current().LocalMachine(), name) /
                     "output.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  tamsel::testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork network_;
  std::string program_;
  SC_HANDLE manager_ = nullptr;
  std::vector<SC_HANDLE> services_;
};

TEST_F(ServicesTest, RecordIsKeptWhereWindowsKeepsIt) {
  ASSERT_NE(Create("Alpha"), nullptr);
  reg::RegistryKey key;
  ASSERT_EQ(
      reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Alpha",
                             reg::KEY_READ, key),
      0);
  DWORD value = 0;
  std::string text;
  EXPECT_EQ(key.GetDword("Type", value), 0);
  EXPECT_EQ(value, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(key.GetDword("Start", value), 0);
  EXPECT_EQ(value, SERVICE_DEMAND_START);
  EXPECT_EQ(key.GetDword("ErrorControl", value), 0);
  EXPECT_EQ(value, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(key.GetString("ImagePath", text), 0);
  EXPECT_EQ(text, program_ + " normal");
  EXPECT_EQ(key.GetString("DisplayName", text), 0);
  EXPECT_EQ(text, "Alpha");
  EXPECT_EQ(key.GetString("ObjectName", text), 0);
  EXPECT_EQ(text, "LocalSystem");

  std::vector<std::uint8_t> buffer(1024);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD needed = 0;
  SC_HANDLE handle = OpenServiceA(manager_, "ALPHA", SERVICE_QUERY_CONFIG);
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(QueryServiceConfigA(handle, config, 10, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_LE(needed, buffer.size());
  ASSERT_TRUE(QueryServiceConfigA(handle, config, needed, &needed));
  EXPECT_EQ(std::string(config->lpBinaryPathName), program_ + " normal");
  EXPECT_EQ(std::string(config->lpServiceStartName), "LocalSystem");
  EXPECT_EQ(config->dwStartType, SERVICE_DEMAND_START);
  // Status needs its own right.
  SERVICE_STATUS status;
  EXPECT_FALSE(QueryServiceStatus(handle, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteService(handle));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseServiceHandle(handle);
}

TEST_F(ServicesTest, CreateOpenDeleteFailures) {
  ASSERT_NE(Create("Alpha"), nullptr);
  EXPECT_EQ(Create("alpha"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(Create("a\\b"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(OpenServiceA(manager_, "Missing", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(OpenSCManagerA("NOSUCH", nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(CloseServiceHandle(reinterpret_cast<SC_HANDLE>(&program_)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Settings written before the install are not a service, and survive its creation.
  reg::RegistryKey settings;
  ASSERT_EQ(
      reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\Beta\\Parameters", settings),
      0);
  settings.SetDword("RefreshRate", 60000);
  EXPECT_EQ(OpenServiceA(manager_, "Beta", SERVICE_ALL_ACCESS), nullptr);
  SC_HANDLE beta = Create("Beta");
  ASSERT_NE(beta, nullptr);
  DWORD value = 0;
  EXPECT_EQ(settings.GetDword("RefreshRate", value), 0);

  // Deleting a stopped service removes its whole key at once.
  ASSERT_TRUE(DeleteService(beta));
  EXPECT_EQ(OpenServiceA(manager_, "Beta", SERVICE_ALL_ACCESS), nullptr);
  reg::RegistryKey gone;
  EXPECT_EQ(
      reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Beta",
                             reg::KEY_READ, gone),
      static_cast<reg::LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ServicesTest, StartControlAndStop) {
  SC_HANDLE handle = Create("Alpha");
  ASSERT_NE(handle, nullptr);
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(handle, 200, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

  const char* arguments[] = {"first", "second"};
  ASSERT_TRUE(StartServiceA(handle, 2, arguments)) << GetLastError();
  EXPECT_FALSE(StartServiceA(handle, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
  status = WaitFor(handle, SERVICE_RUNNING);
  ASSERT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_NE(QueryServiceProcessId(handle), 0u);

  ASSERT_TRUE(ControlService(handle, 200, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(ControlService(handle, SERVICE_CONTROL_INTERROGATE, &status));
  // Codes the service does not accept, and codes no controller may send.
  EXPECT_FALSE(ControlService(handle, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  for (DWORD code : {0u, 5u, 64u, 256u}) {
    EXPECT_FALSE(ControlService(handle, code, &status)) << code;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << code;
  }
  ASSERT_TRUE(ControlService(handle, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  status = WaitFor(handle, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(QueryServiceProcessId(handle), 0u);
  EXPECT_EQ(Output("Alpha"), "service main Alpha argc 3\ncontrol 200\ncontrol 4\ncontrol 1\n");
}

TEST_F(ServicesTest, SigtermActsAsStop) {
  SC_HANDLE handle = Create("Alpha");
  ASSERT_TRUE(StartServiceA(handle, 0, nullptr));
  ASSERT_EQ(WaitFor(handle, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
  kill(static_cast<pid_t>(QueryServiceProcessId(handle)), SIGTERM);
  SERVICE_STATUS status = WaitFor(handle, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_NE(Output("Alpha").find("control 1\n"), std::string::npos);
}

TEST_F(ServicesTest, SigtermDuringStartStopsOnceRunning) {
  SC_HANDLE handle = Create("Alpha", "slowstart");
  ASSERT_TRUE(StartServiceA(handle, 0, nullptr));
  // Wait until the service main function is inside its slow start.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (Output("Alpha").find("starting") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  SERVICE_STATUS status;
  ASSERT_TRUE(QueryServiceStatus(handle, &status));
  ASSERT_EQ(status.dwCurrentState, SERVICE_START_PENDING);
  kill(static_cast<pid_t>(QueryServiceProcessId(handle)), SIGTERM);
  status = WaitFor(handle, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_NE(Output("Alpha").find("control 1\n"), std::string::npos);
}

TEST_F(ServicesTest, DeadProcessShowsStoppedNeverRunning) {
  SC_HANDLE handle = Create("Alpha");
  ASSERT_TRUE(StartServiceA(handle, 0, nullptr));
  ASSERT_EQ(WaitFor(handle, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
  SERVICE_STATUS status;
  ControlService(handle, 201, &status);  // the process dies inside its handler
  status = WaitFor(handle, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  EXPECT_FALSE(ControlService(handle, 200, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  // It can be started again.
  ASSERT_TRUE(StartServiceA(handle, 0, nullptr));
  EXPECT_EQ(WaitFor(handle, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ServicesTest, StartFailures) {
  SC_HANDLE quiet = Create("Quiet", "noconnect");
  EXPECT_FALSE(StartServiceA(quiet, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
  SERVICE_STATUS status = WaitFor(quiet, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);

  SC_HANDLE missing =
      CreateServiceA(manager_, "Missing", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/nonexistent/program", nullptr,
                     nullptr, nullptr, nullptr, nullptr);
  services_.push_back(missing);
  EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  SC_HANDLE disabled = CreateServiceA(
      manager_, "Off", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED,
      SERVICE_ERROR_NORMAL, program_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  services_.push_back(disabled);
  EXPECT_FALSE(StartServiceA(disabled, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);

  // A handler registered under another name is refused; the service main returns and the
  // process ends without having reported a stop.
  SC_HANDLE wrong = Create("Wrong", "wrongname");
  ASSERT_TRUE(StartServiceA(wrong, 0, nullptr));
  status = WaitFor(wrong, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_NE(Output("Wrong").find("register failed 1060"), std::string::npos);
}

TEST_F(ServicesTest, DeleteWhileRunningMarksForDelete) {
  SC_HANDLE handle = Create("Alpha");
  ASSERT_TRUE(StartServiceA(handle, 0, nullptr));
  ASSERT_EQ(WaitFor(handle, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(DeleteService(handle));
  EXPECT_FALSE(DeleteService(handle));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(Create("Alpha"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(handle, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(WaitFor(handle, SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
  // The stopped service took its record with it.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  SC_HANDLE again = nullptr;
  while ((again = OpenServiceA(manager_, "Alpha", SERVICE_ALL_ACCESS)) != nullptr &&
         std::chrono::steady_clock::now() < deadline) {
    CloseServiceHandle(again);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServicesTest, ConsoleRunFailsTheDispatcherAtOnce) {
  tamsel::testing::ScopedEnv noMarker(kServiceNameVariable, std::nullopt);
  auto result = tamsel::testing::RunCommand(program_ + " normal");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.output, "dispatcher failed 1063\n");
  // The handler and the status report need a dispatcher too.
  EXPECT_EQ(RegisterServiceCtrlHandlerA("Alpha", [](DWORD) {}), 0u);
  SERVICE_STATUS status{};
  EXPECT_FALSE(SetServiceStatus(1, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ServiceRuntimeTest, StatusFileRoundTripAndDeadProcess) {
  tamsel::testing::ScopedTempDir temp;
  ServiceRuntime runtime;
  runtime.status.dwCurrentState = SERVICE_RUNNING;
  runtime.status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
  runtime.pid = getpid();
  runtime.startTime = ProcessStartTime(getpid());
  runtime.connected = true;
  ASSERT_NE(runtime.startTime, 0u);
  ASSERT_TRUE(WriteRuntime(temp.Path(), runtime));
  ServiceRuntime read = EffectiveRuntime(temp.Path());
  EXPECT_EQ(read.status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(read.pid, getpid());
  // Same pid, other start time: a reused pid is not our service.
  runtime.startTime += 1;
  ASSERT_TRUE(WriteRuntime(temp.Path(), runtime));
  read = EffectiveRuntime(temp.Path());
  EXPECT_EQ(read.status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(read.status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  EXPECT_FALSE(ParseRuntime("pid=12\n", read));
  EXPECT_FALSE(ParseRuntime("state=x\n", read));
}

}  // namespace
}  // namespace tamsel::platform::services
