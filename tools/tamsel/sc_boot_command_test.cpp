// `tamsel sc boot` and `tamsel sc shutdown`, the entry points of the host's unit: which
// services start, in which order they start and stop, and that SIGTERM stops them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/tamsel/tool_test_support.h"

namespace tamsel::tools {
namespace {

class ScBootTest : public ToolTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tamsel("net create SRV01").exitCode, 0);
    journal_ = temp_.Path() / "journal.txt";
  }

  void Create(const std::string& name, const std::string& start, const std::string& program = "") {
    const std::string binPath =
        program.empty() ? (testing::BuildDir() / "platform/services/tamsel_test_service").string()
                        : program;
    ASSERT_EQ(
        Tamsel("sc create " + name + " --binpath '" + binPath + "' --start " + start).exitCode, 0);
  }

  std::string Journal() const {
    std::ifstream in(journal_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string State(const std::string& name) const {
    return Tamsel("sc query " + name + " --json").output;
  }

  std::filesystem::path journal_;
  // The controller hands its environment to the services it starts.
  testing::ScopedEnv journalEnv_{"TAMSEL_TEST_SERVICE_JOURNAL",
                                 (temp_.Path() / "journal.txt").string()};
};

TEST_F(ScBootTest, BootStartsAutomaticServicesByNameShutdownStopsAllInReverse) {
  Create("TamselAlerts", "auto");
  Create("Tamsel", "auto");
  Create("Manual", "demand");
  Create("Off", "disabled");

  auto boot = Tamsel("sc boot");
  ASSERT_EQ(boot.exitCode, 0) << boot.output;
  EXPECT_EQ(Journal(), "running Tamsel\nrunning TamselAlerts\n");
  EXPECT_NE(State("Manual").find("\"STOPPED\""), std::string::npos);
  EXPECT_NE(State("Off").find("\"STOPPED\""), std::string::npos);

  // A second boot (the unit restarted) leaves the running services alone.
  boot = Tamsel("sc boot");
  EXPECT_EQ(boot.exitCode, 0);
  EXPECT_NE(boot.output.find("Tamsel: already running"), std::string::npos) << boot.output;
  EXPECT_EQ(Journal(), "running Tamsel\nrunning TamselAlerts\n");

  ASSERT_EQ(Tamsel("sc start Manual").exitCode, 0);
  auto shutdown = Tamsel("sc shutdown");
  ASSERT_EQ(shutdown.exitCode, 0) << shutdown.output;
  EXPECT_EQ(Journal(),
            "running Tamsel\nrunning TamselAlerts\nrunning Manual\n"
            "stopped TamselAlerts\nstopped Tamsel\nstopped Manual\n");
  for (const char* name : {"Tamsel", "TamselAlerts", "Manual"}) {
    EXPECT_NE(State(name).find("\"STOPPED\""), std::string::npos) << name;
  }
  // SIGTERM reached the handler as the stop control.
  std::ifstream output(Root() / "SRV01/state/services/TAMSEL/output.log");
  std::stringstream text;
  text << output.rdbuf();
  EXPECT_NE(text.str().find("control 1\n"), std::string::npos) << text.str();

  EXPECT_EQ(Tamsel("sc shutdown").exitCode, 0);  // nothing left to stop
}

TEST_F(ScBootTest, AServiceThatCannotStartLeavesTheOthersRunning) {
  Create("Broken", "auto", (temp_.Path() / "missing-program").string());
  Create("Tamsel", "auto");

  auto boot = Tamsel("sc boot", "", true);
  EXPECT_EQ(boot.exitCode, 0);
  EXPECT_NE(boot.output.find("start Broken: the program file was not found"), std::string::npos)
      << boot.output;
  EXPECT_EQ(Journal(), "running Tamsel\n");
  EXPECT_EQ(Tamsel("sc shutdown").exitCode, 0);
  EXPECT_EQ(Journal(), "running Tamsel\nstopped Tamsel\n");
}

}  // namespace
}  // namespace tamsel::tools
