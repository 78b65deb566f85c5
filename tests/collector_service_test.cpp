// TamselCollector's life as a service on a fresh machine: install, start under `tamsel sc`,
// user controls, stop within one tick, removal, SIGTERM; each step's events as the event
// tool renders them from the program's own message table.
#include <signal.h>

#include <chrono>
#include <thread>

#include "tests/collector_test_support.h"

namespace tamsel::e2e {
namespace {

using nlohmann::json;

class ServiceLifeTest : public CollectorTest {
 protected:
  // The database the passes read, without servers: every pass ends quietly.
  ServiceLifeTest() {
    auto created = Tamsel("db create", true);
    EXPECT_EQ(created.exitCode, 0) << created.output;
  }
  ~ServiceLifeTest() override {
    // Never leave a service process behind.
    json status = Query();
    if (status.is_object() && status.value("pid", 0) > 0) kill(status["pid"].get<int>(), SIGKILL);
  }

  json Query() {
    auto result = Tamsel("sc query Tamsel --json");
    return json::parse(result.output, nullptr, false);
  }

  // The events after the first `from`, as (id, type, message).
  std::vector<std::tuple<int, int, std::string>> EventsFrom(size_t from) {
    std::vector<std::tuple<int, int, std::string>> events;
    json all = Events();
    for (size_t index = from; index < all.size(); ++index) {
      const json& event = all[index];
      events.emplace_back(
          event["event_id"].get<int>(), event["event_type"].get<int>(),
          event["message"].is_string() ? event["message"].get<std::string>() : "(no message)");
    }
    return events;
  }
  using Event = std::tuple<int, int, std::string>;
};

TEST_F(ServiceLifeTest, InstallStartControlStopRemove) {
  ASSERT_EQ(Program("-i").output, "Tamsel installed\n");
  EXPECT_EQ(EventsFrom(0), (std::vector<Event>{{100, 4, "The Tamsel service was installed."}}));
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), std::nullopt);

  // A counter that starts at 5 and grows by 2 every tick.
  {
    namespace reg = platform::registry;
    reg::RegistryKey parameters;
    ASSERT_EQ(reg::RegistryKey::Create(reg::HKEY_LOCAL_MACHINE,
                                       "SYSTEM\\CurrentControlSet\\Services\\Tamsel\\Parameters",
                                       parameters),
              0);
    parameters.SetDword("Start", 5);
    parameters.SetDword("Inc", 2);
  }
  auto start = Tamsel("sc start Tamsel", true);
  ASSERT_EQ(start.exitCode, 0) << start.output;
  json status = Query();
  EXPECT_EQ(status["name"], "Tamsel");
  EXPECT_EQ(status["state"], 4);
  EXPECT_EQ(status["state_name"], "RUNNING");
  EXPECT_GT(status["pid"].get<int>(), 0);
  EXPECT_EQ(status["exit_code"], 0);
  EXPECT_EQ(EventsFrom(1), (std::vector<Event>{{105, 4, "The service was started."}}));
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), 900000u);
  EXPECT_EQ(Dword("\\Status", "Current"), 5u);

  // Code 128 saves the counter and raises no event; once a tick has passed the saved value
  // has grown by the increment.
  std::optional<std::uint32_t> current;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  do {
    ASSERT_EQ(Tamsel("sc control Tamsel 128").exitCode, 0);
    current = Dword("\\Status", "Current");
    ASSERT_TRUE(current.has_value());
    if (*current >= 7) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  } while (std::chrono::steady_clock::now() < deadline);
  EXPECT_GE(*current, 7u);
  EXPECT_EQ(*current % 2, 1u);
  ASSERT_EQ(Tamsel("sc control Tamsel 129").exitCode, 0);
  EXPECT_EQ(EventsFrom(2),
            (std::vector<Event>{{106, 1, "The service received an unsupported request."}}));

  // The stop takes effect after the tick in progress: within one tick and a margin.
  auto stop = Tamsel("sc stop Tamsel --timeout 8", true);
  ASSERT_EQ(stop.exitCode, 0) << stop.output;
  status = Query();
  EXPECT_EQ(status["state_name"], "STOPPED");
  EXPECT_EQ(status["pid"], 0);
  EXPECT_EQ(status["exit_code"], 0);
  EXPECT_EQ(EventsFrom(3), (std::vector<Event>{{108, 4, "The service was stopped."}}));
  EXPECT_EQ(Tamsel("sc control Tamsel 128", true).output,
            "tamsel sc: control Tamsel: the service has not been started (error 1062)\n");

  ASSERT_EQ(Program("-u").output,
            "Tamsel removed. (You must delete the file (" + Collector() + ") yourself.)\n");
  std::vector<Event> removed;
  for (int type : {4, 0, 1, 2, 4, 8, 16})
    removed.emplace_back(101, type, "The Tamsel service was removed.");
  EXPECT_EQ(EventsFrom(4), removed);
  EXPECT_EQ(Tamsel("sc query Tamsel", true).output,
            "tamsel sc: query Tamsel: the service does not exist (error 1060)\n");
}

TEST_F(ServiceLifeTest, SigtermStopsTheServiceCleanly) {
  ASSERT_EQ(Program("-i").output, "Tamsel installed\n");
  ASSERT_EQ(Tamsel("sc start Tamsel").exitCode, 0);
  int pid = Query()["pid"].get<int>();
  ASSERT_GT(pid, 0);
  // Marked for delete while it runs: a second removal fails, and the record goes with the stop.
  EXPECT_EQ(Tamsel("sc delete Tamsel").output, "[SC] DeleteService SUCCESS\n");
  EXPECT_EQ(Program("-u").output, "Could not remove Tamsel. Error 1072\n");
  kill(pid, SIGTERM);
  // The stop takes effect after the current tick; the stopped service takes its record along.
  std::string gone = "tamsel sc: query Tamsel: the service does not exist (error 1060)\n";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Tamsel("sc query Tamsel", true).output != gone &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(Tamsel("sc query Tamsel", true).output, gone);
  EXPECT_EQ(EventsFrom(1), (std::vector<Event>{{105, 4, "The service was started."},
                                               {102, 1, "The Tamsel service could not be removed."},
                                               {108, 4, "The service was stopped."}}));
  EXPECT_NE(Program("-v").output.find("The service is not installed\n"), std::string::npos);
}

TEST_F(ServiceLifeTest, ServiceOfAnotherNameCannotInstallItsHandler) {
  ASSERT_EQ(Program("-i").output, "Tamsel installed\n");
  ASSERT_EQ(Tamsel("sc create Other --binpath '" + Collector() + "'").exitCode, 0);
  auto start = Tamsel("sc start Other", true);
  EXPECT_EQ(start.exitCode, 1);
  EXPECT_NE(start.output.find("the service stopped (exit code 1067)"), std::string::npos)
      << start.output;
  EXPECT_EQ(EventsFrom(1),
            (std::vector<Event>{{103, 1, "The control handler could not be installed."}}));
  Tamsel("sc delete Other");
}

TEST_F(ServiceLifeTest, ScToolRefusesWhatItCannotDo) {
  EXPECT_EQ(Tamsel("sc start Tamsel", true).output,
            "tamsel sc: start Tamsel: the service does not exist (error 1060)\n");
  auto created = Tamsel("sc create Other --binpath /nonexistent/program --start demand", true);
  EXPECT_EQ(created.output, "[SC] CreateService SUCCESS\n");
  EXPECT_EQ(Tamsel("sc create Other --binpath /bin/true", true).output,
            "tamsel sc: create Other: the service already exists (error 1073)\n");
  EXPECT_EQ(Tamsel("sc start Other", true).output,
            "tamsel sc: start Other: the program file was not found (error 2)\n");
  // A program that is not a service never connects.
  Tamsel("sc delete Other");
  Tamsel("sc create Other --binpath /bin/true");
  auto start = Tamsel("sc start Other", true);
  EXPECT_EQ(start.exitCode, 1);
  EXPECT_EQ(start.output,
            "tamsel sc: start Other: the service did not respond in time (error 1053)\n");
  EXPECT_EQ(Tamsel("sc stop Other", true).output,
            "tamsel sc: stop Other: the service has not been started (error 1062)\n");
  EXPECT_EQ(Tamsel("sc create Third", true).exitCode, 1);
  EXPECT_EQ(Tamsel("sc control Other abc", true).exitCode, 1);
  json status = json::parse(Tamsel("sc query Other --json").output);
  EXPECT_EQ(status["state_name"], "STOPPED");
  EXPECT_EQ(Tamsel("sc delete Other").output, "[SC] DeleteService SUCCESS\n");
}

}  // namespace
}  // namespace tamsel::e2e
