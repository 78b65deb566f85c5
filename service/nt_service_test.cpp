// Tests of CNTService: construction, the control handler's rows, event reports with the
// process's user, the debug trace, the base work loop, initialisation, the dispatcher from a
// console, install and remove, and which setting slot each option reaches.
#include "service/nt_service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/accounts/token.h"
#include "platform/registry/registry.h"
#include "platform/services/service_runtime.h"
#include "service/service_clock.h"
#include "service/test_support.h"

namespace tamsel::service {
namespace {

namespace svc = platform::services;
namespace reg = platform::registry;
using testing::ApplicationEvents;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Records what reaches the virtual slots.
class FakeService : public CNTService {
 public:
  explicit FakeService(const char* name = "Tamsel") : CNTService(name) {}
  int SetRefreshRate(int milliseconds) override {
    calls.push_back("SetRefreshRate " + std::to_string(milliseconds));
    return 1;
  }
  int SetNTAuthentication(int value) override {
    calls.push_back("SetNTAuthentication " + std::to_string(value));
    return 0;
  }
  int SetParameterString(const char* name, const char* value) override {
    calls.push_back(std::string("SetParameterString ") + name + "=" + value);
    return 1;
  }
  BOOL OnInit() override {
    svc::SetLastError(initError);
    return initResult;
  }
  BOOL OnUserControl(DWORD control) override {
    calls.push_back("OnUserControl " + std::to_string(control));
    return control == 128;
  }
  std::vector<std::string> calls;
  BOOL initResult = TRUE;
  DWORD initError = 0;
};

class NtServiceTest : public ::testing::Test {
 protected:
  testing::ServiceTestEnvironment environment_;

  std::string CommandLine(FakeService& service, std::vector<std::string> arguments,
                          BOOL* handled = nullptr) {
    arguments.insert(arguments.begin(), "TamselCollector");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ::testing::internal::CaptureStdout();
    BOOL result = service.ProcessCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string output = ::testing::internal::GetCapturedStdout();
    if (handled != nullptr) *handled = result;
    return output;
  }
};

TEST_F(NtServiceTest, ConstructionSetsTheFrameworkState) {
  FakeService service(std::string(80, 'N').c_str());
  EXPECT_EQ(CNTService::instance_, &service);
  EXPECT_EQ(std::string(service.serviceName_), std::string(63, 'N'));
  EXPECT_EQ(service.majorVersion_, 1);
  EXPECT_EQ(service.minorVersion_, 12);
  EXPECT_THAT(std::string(service.bannerSuffix_), ::testing::StartsWith(" - Release, "));
  EXPECT_EQ(service.status_.dwServiceType, 16u);
  EXPECT_EQ(service.status_.dwCurrentState, svc::SERVICE_STOPPED);
  EXPECT_EQ(service.status_.dwControlsAccepted, svc::SERVICE_ACCEPT_STOP);
  EXPECT_EQ(service.status_.dwWin32ExitCode, 0u);
  EXPECT_FALSE(service.running_);
  EXPECT_EQ(service.statusHandle_, 0u);
  EXPECT_EQ(service.eventSource_, nullptr);
}

TEST_F(NtServiceTest, HandlerActsOnEveryControlCode) {
  FakeService service;
  service.running_ = TRUE;
  service.status_.dwCurrentState = svc::SERVICE_RUNNING;
  for (DWORD code : {2u, 3u, 4u, 5u}) CNTService::Handler(code);
  EXPECT_TRUE(ApplicationEvents().empty());
  EXPECT_THAT(
      environment_.Trace(),
      ElementsAre("CNTService::Handler(2)", "CNTService::OnPause()", "Updating status (0, 4)",
                  "CNTService::Handler(3)", "CNTService::OnContinue()", "Updating status (0, 4)",
                  "CNTService::Handler(4)", "CNTService::OnInterrogate()", "Updating status (0, 4)",
                  "CNTService::Handler(5)", "CNTService::OnShutdown()", "Updating status (0, 4)"));

  // User codes go to the derived class; what it refuses, and every code below 128 that is
  // not a standard one, is reported as an unsupported request.
  for (DWORD code : {128u, 129u, 6u, 0u, 127u}) CNTService::Handler(code);
  EXPECT_THAT(service.calls, ElementsAre("OnUserControl 128", "OnUserControl 129"));
  std::vector<testing::LoggedEvent> events = ApplicationEvents();
  ASSERT_EQ(events.size(), 4u);
  for (const testing::LoggedEvent& event : events) {
    EXPECT_EQ(event.id, EVMSG_BADREQUEST);
    EXPECT_EQ(event.type, EVENTLOG_ERROR_TYPE);
  }

  environment_.ClearTrace();
  CNTService::Handler(svc::SERVICE_CONTROL_STOP);
  EXPECT_FALSE(service.running_);
  EXPECT_EQ(service.status_.dwCurrentState, svc::SERVICE_STOP_PENDING);
  EXPECT_THAT(environment_.Trace(),
              ElementsAre("CNTService::Handler(1)", "CNTService::SetStatus(0, 3)",
                          "CNTService::OnStop()", "Updating status (0, 3)"));
  events = ApplicationEvents();
  EXPECT_EQ(events.back().id, EVMSG_STOPPED);
  EXPECT_EQ(events.back().type, EVENTLOG_INFORMATION_TYPE);
}

TEST_F(NtServiceTest, EventsCarryTheProcessUserAndTheGivenStrings) {
  FakeService service;
  service.ReportServiceEvent(EVENTLOG_WARNING_TYPE, EVMSG_WARNING, "one", nullptr, "three");
  service.ReportServiceEvent(EVENTLOG_INFORMATION_TYPE, EVMSG_STARTED);
  std::vector<testing::LoggedEvent> events = ApplicationEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, 109u);
  EXPECT_EQ(events[0].type, EVENTLOG_WARNING_TYPE);
  EXPECT_THAT(events[0].strings, ElementsAre("one", "three"));
  EXPECT_EQ(events[0].user, platform::accounts::CurrentProcessUserSid().ToString());
  EXPECT_TRUE(events[1].strings.empty());
  // The source is opened once and kept.
  EXPECT_NE(service.eventSource_, nullptr);
}

TEST_F(NtServiceTest, TraceLinesArePrefixedAndBounded) {
  FakeService service;
  service.TraceMessage("value %d", 42);
  service.TraceMessage("%s", std::string(3000, 'x').c_str());
  std::vector<std::string> raw = environment_.RawTrace();
  ASSERT_EQ(raw.size(), 2u);
  std::string prefix = "[Tamsel](" + std::to_string(gettid()) + "): ";
  EXPECT_EQ(raw[0], prefix + "value 42\n");
  EXPECT_EQ(raw[1].size(), 1023u);
  EXPECT_EQ(raw[1], prefix + std::string(1022 - prefix.size(), 'x') + "\n");
}

TEST_F(NtServiceTest, BaseRunSleepsFiveSecondsPerTickUntilStopped) {
  FakeService service;
  service.running_ = TRUE;
  std::vector<std::uint32_t> sleeps;
  ScopedSleeper sleeper([&](std::uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
    if (sleeps.size() == 2) service.running_ = FALSE;
  });
  service.CNTService::Run();
  EXPECT_THAT(sleeps, ElementsAre(5000u, 5000u));
  EXPECT_THAT(environment_.Trace(), ElementsAre("Entering CNTService::Run()", "Sleeping...",
                                                "Sleeping...", "Leaving CNTService::Run()"));
}

TEST_F(NtServiceTest, InitializeReportsStartOrFailure) {
  FakeService service;
  EXPECT_TRUE(service.Initialize());
  EXPECT_EQ(service.status_.dwCurrentState, svc::SERVICE_RUNNING);
  EXPECT_THAT(environment_.Trace(),
              ElementsAre("Entering CNTService::Initialize()", "CNTService::SetStatus(0, 2)",
                          "CNTService::SetStatus(0, 4)", "Leaving CNTService::Initialize()"));

  FakeService failing;
  failing.initResult = FALSE;
  failing.initError = platform::ERROR_ACCESS_DENIED;
  EXPECT_FALSE(failing.Initialize());
  EXPECT_EQ(failing.status_.dwCurrentState, svc::SERVICE_STOPPED);
  EXPECT_EQ(failing.status_.dwWin32ExitCode, platform::ERROR_ACCESS_DENIED);
  std::vector<testing::LoggedEvent> events = ApplicationEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, EVMSG_STARTED);
  EXPECT_EQ(events[1].id, EVMSG_FAILEDINIT);
  EXPECT_EQ(events[1].type, EVENTLOG_ERROR_TYPE);
}

TEST_F(NtServiceTest, DispatcherFromAConsoleFailsAtOnce) {
  tamsel::testing::ScopedEnv noMarker(svc::kServiceNameVariable, std::nullopt);
  FakeService service;
  EXPECT_FALSE(service.RunDispatcher());
  EXPECT_EQ(svc::GetLastError(), platform::ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  EXPECT_THAT(environment_.Trace(), ElementsAre("Calling StartServiceCtrlDispatcher()",
                                                "Returned from StartServiceCtrlDispatcher()"));
  EXPECT_EQ(service.status_.dwWin32ExitCode, 0u);
}

TEST_F(NtServiceTest, StopTakenAsSoonAsTheServiceRunsIsNotLost) {
  // Dispatched in this process: the marker says a controller started it.
  tamsel::testing::ScopedEnv marker(svc::kServiceNameVariable, "Tamsel");
  FakeService service;
  // The controller may deliver a stop the moment SERVICE_RUNNING is out, while the service
  // thread is still on its way out of Initialize; the handler's stop row lowers the flag there.
  platform::network::ScopedDebugCapture stopOnRunning([&](std::string_view text) {
    if (text.find("): Leaving CNTService::Initialize()") != std::string_view::npos) {
      service.running_ = FALSE;
    }
  });
  int sleeps = 0;
  ScopedSleeper sleeper([&](std::uint32_t) {
    if (++sleeps == 3) service.running_ = FALSE;  // a lost stop would loop forever
  });
  EXPECT_TRUE(service.RunDispatcher());
  EXPECT_EQ(sleeps, 0);
  EXPECT_EQ(service.status_.dwCurrentState, svc::SERVICE_STOPPED);
  EXPECT_EQ(service.status_.dwWin32ExitCode, 0u);
}

TEST_F(NtServiceTest, InstallWritesServiceAndEventSource) {
  FakeService service;
  EXPECT_FALSE(service.IsServiceInstalled());
  ASSERT_TRUE(service.InstallService());
  EXPECT_TRUE(service.IsServiceInstalled());
  char program[260];
  GetModuleFileNameA(nullptr, program, sizeof program);

  reg::RegistryKey record;
  ASSERT_EQ(
      reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tamsel",
                             reg::KEY_READ, record),
      0);
  std::string text;
  DWORD value = 0;
  record.GetString("ImagePath", text);
  EXPECT_EQ(text, program);
  record.GetDword("Start", value);
  EXPECT_EQ(value, svc::SERVICE_AUTO_START);

  reg::RegistryKey source;
  ASSERT_EQ(reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                                   "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                                   "Tamsel",
                                   reg::KEY_READ, source),
            0);
  std::vector<std::uint8_t> data;
  reg::DWORD type = 0;
  ASSERT_EQ(source.GetBinary("EventMessageFile", data, type), 0);
  EXPECT_EQ(type, reg::REG_EXPAND_SZ);
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string(program) + '\0');
  source.GetDword("TypesSupported", value);
  EXPECT_EQ(value, 7u);

  std::vector<testing::LoggedEvent> events = ApplicationEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, EVMSG_INSTALLED);
  EXPECT_EQ(events[0].type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_THAT(events[0].strings, ElementsAre("Tamsel"));

  // A second install fails with the manager's reason.
  EXPECT_FALSE(service.InstallService());
  EXPECT_EQ(svc::GetLastError(), platform::ERROR_SERVICE_EXISTS);
}

TEST_F(NtServiceTest, RemoveReportsSevenTimesOrOnceOnFailure) {
  FakeService service;
  EXPECT_FALSE(service.RemoveService());  // nothing to remove, nothing reported
  EXPECT_TRUE(ApplicationEvents().empty());
  ASSERT_TRUE(service.InstallService());

  // Seen as running (this process stands in for it): the first remove marks the service for
  // delete, the second fails and says so.
  auto machine = platform::network::Network::Current().LocalMachine();
  std::filesystem::path folder = svc::ServiceFolder(*machine, "Tamsel");
  svc::ServiceRuntime runtime;
  runtime.status.dwCurrentState = svc::SERVICE_RUNNING;
  runtime.pid = getpid();
  runtime.startTime = svc::ProcessStartTime(getpid());
  runtime.connected = true;
  ASSERT_TRUE(svc::WriteRuntime(folder, runtime));
  EXPECT_TRUE(service.RemoveService());
  EXPECT_FALSE(service.RemoveService());
  EXPECT_EQ(svc::GetLastError(), platform::ERROR_SERVICE_MARKED_FOR_DELETE);

  std::vector<testing::LoggedEvent> events = ApplicationEvents();
  ASSERT_EQ(events.size(), 9u);
  std::vector<std::uint16_t> types;
  for (size_t index = 1; index <= 7; ++index) {
    EXPECT_EQ(events[index].id, EVMSG_REMOVED);
    EXPECT_THAT(events[index].strings, ElementsAre("Tamsel"));
    types.push_back(events[index].type);
  }
  EXPECT_THAT(types, ElementsAre(4, 0, 1, 2, 4, 8, 16));
  EXPECT_EQ(events[8].id, EVMSG_NOTREMOVED);
  EXPECT_EQ(events[8].type, EVENTLOG_ERROR_TYPE);
  std::filesystem::remove(folder / "status");
}

TEST_F(NtServiceTest, OptionsReachOnlyTheirSlots) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {{"-r", "15"}, {"SetRefreshRate 900000"}},
      {{"/R", "2", "ignored"}, {"SetRefreshRate 120000"}},
      {{"-r", "0"}, {}},
      {{"-r", "-5"}, {}},
      {{"-r", "35792"}, {}},  // would not fit the milliseconds
      {{"-r", "35791"}, {"SetRefreshRate 2147460000"}},
      {{"-r"}, {}},
      {{"/S", "SQL1"}, {"SetParameterString DatabaseServerName=SQL1"}},
      {{"-s", ""}, {"SetParameterString DatabaseServerName="}},
      {{"-B", "D:\\Bak"}, {"SetParameterString BakupPath=D:\\Bak"}},
      {{"-a", "sa"}, {"SetParameterString DBUserName=sa"}},
      {{"/p", "pw"}, {"SetParameterString DBPassword=pw"}},
      {{"-p"}, {}},
      {{"-n", "1"}, {"SetNTAuthentication 1"}},
      {{"-n", "abc"}, {"SetNTAuthentication 0"}},
      {{"-n", "2"}, {}},
  };
  for (const Case& entry : cases) {
    FakeService service;
    BOOL handled = FALSE;
    CommandLine(service, entry.arguments, &handled);
    EXPECT_TRUE(handled) << entry.arguments[0];
    EXPECT_EQ(service.calls, entry.calls) << entry.arguments[0];
  }
  // No argument, or one that names no action: the program runs as a service.
  for (std::vector<std::string> arguments :
       std::vector<std::vector<std::string>>{{}, {"-z"}, {"-rx", "1"}, {"i"}, {"--i"}}) {
    FakeService service;
    BOOL handled = TRUE;
    EXPECT_EQ(CommandLine(service, arguments, &handled), "");
    EXPECT_FALSE(handled);
  }
}

TEST_F(NtServiceTest, OversizedRefreshRateIsRefused) {
  FakeService service;
  for (const char* minutes : {"35792", "40000", "99999999999"}) {
    EXPECT_EQ(CommandLine(service, {"-r", minutes}), "Refresh rate must be at most 35791 minutes.")
        << minutes;
  }
  EXPECT_EQ(CommandLine(service, {"-r"}), "\nMissing parameter: refresh rate in minutes.");
}

}  // namespace
}  // namespace tamsel::service
