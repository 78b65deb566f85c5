// The debug sink: priorities and levels, the journal's stream, and the file that takes the
// texts when there is no journal or it went away.
#include "platform/network/debug_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::network {
namespace {

TEST(TraceLevels, PriorityOfTextsAndLevelSettings) {
  struct Case {
    const char* text;
    int priority;
  };
  for (const Case& c : {Case{"[Tamsel](7): Failed to create key (5)", 3},
                        Case{"[Tamsel](7): Ledger row of Application on SRV01 not written", 3},
                        Case{"[Tamsel](7): Server SRV02 skipped: remote registry error 53", 4},
                        Case{"[Tamsel](7): Value 'X' is too long (300 bytes) and was ignored", 4},
                        Case{"[Tamsel](7): Entering CNTService::Run()", 7},
                        Case{"[Tamsel](7): CNTService::SetStatus(1, 4)", 7},
                        Case{"[Tamsel](7): Collection pass done (0) over 2 server(s)", 6}}) {
    EXPECT_EQ(TracePriority(c.text), c.priority) << c.text;
  }
  struct Level {
    const char* setting;
    int level;
  };
  for (const Level& l :
       {Level{nullptr, 7}, Level{"", 7}, Level{"off", -1}, Level{"ERROR", 3}, Level{"warning", 4},
        Level{"info", 6}, Level{"debug", 7}, Level{"5", 5}, Level{"loud", 7}, Level{"9", 7}}) {
    EXPECT_EQ(TraceLevel(l.setting), l.level) << (l.setting ? l.setting : "(unset)");
  }
}

// A network root of its own, no TAMSEL_DEBUG_LOG, not inside a unit.
class DebugSinkTest : public ::testing::Test {
 protected:
  void SetUp() override { Network::SetCurrent(Network(temp_.Path(), "HOST")); }
  void TearDown() override {
    if (savedStderr_ >= 0) TearDownJournal();
    Network::SetCurrent(Network::FromEnvironment());
  }

  std::string LogFile() const {
    std::ifstream in(temp_.Path() / "log" / (std::string(program_invocation_short_name) + ".log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Makes stderr one end of a socket pair that JOURNAL_STREAM names, as systemd does; the
  // other end is the journal.
  void ConnectStderrToJournal() {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair_), 0);
    savedStderr_ = dup(STDERR_FILENO);
    dup2(pair_[0], STDERR_FILENO);
    struct stat info {};
    fstat(STDERR_FILENO, &info);
    stream_.emplace("JOURNAL_STREAM",
                    std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino));
  }

  std::string JournalReceived() {
    char buffer[4096];
    ssize_t size = recv(pair_[1], buffer, sizeof buffer, MSG_DONTWAIT);
    return size > 0 ? std::string(buffer, static_cast<size_t>(size)) : "";
  }

  void TearDownJournal() {
    dup2(savedStderr_, STDERR_FILENO);
    close(savedStderr_);
    savedStderr_ = -1;
    close(pair_[0]);
    if (pair_[1] >= 0) close(pair_[1]);
    pair_[1] = -1;
  }

  testing::ScopedTempDir temp_;
  testing::ScopedEnv file_{"TAMSEL_DEBUG_LOG", std::nullopt};
  testing::ScopedEnv unit_{"INVOCATION_ID", std::nullopt};
  testing::ScopedEnv level_{"TAMSEL_TRACE_LEVEL", std::nullopt};
  std::optional<testing::ScopedEnv> stream_;
  int pair_[2] = {-1, -1};
  int savedStderr_ = -1;
};

TEST_F(DebugSinkTest, WithoutJournalTheLogFolderTakesTextsWhenItExists) {
  OutputDebugString("[Tamsel](1): before the folder");
  EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "log"));  // silent by default
  std::filesystem::create_directories(temp_.Path() / "log");
  OutputDebugString("[Tamsel](1): Collection pass done (0) over 1 server(s)");
  testing::ScopedEnv level("TAMSEL_TRACE_LEVEL", "info");
  OutputDebugString("[Tamsel](1): Entering CNTService::Run()");  // debug: dropped
  EXPECT_EQ(LogFile(), "[Tamsel](1): Collection pass done (0) over 1 server(s)\n");
}

TEST_F(DebugSinkTest, JournalStreamGetsPrioritiesAndAClosedJournalLosesNothing) {
  ConnectStderrToJournal();
  OutputDebugString("[Tamsel](1): Failed to create key (5)");
  OutputDebugString("[Tamsel](1): Sleeping...\n");
  EXPECT_EQ(JournalReceived(),
            "<3>[Tamsel](1): Failed to create key (5)\n<7>[Tamsel](1): Sleeping...\n");
  EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "log"));

  close(pair_[1]);  // the journal went away
  pair_[1] = -1;
  OutputDebugString("[Tamsel](1): Collection pass done (0) over 1 server(s)");
  TearDownJournal();
  EXPECT_EQ(LogFile(), "[Tamsel](1): Collection pass done (0) over 1 server(s)\n");
}

}  // namespace
}  // namespace tamsel::platform::network
