// A collection pass killed outright (SIGKILL) at each of its crash points, then run again in a
// fresh process while new events arrive: every event is stored exactly once, and no backup and
// no temporary file is left on the server.
#include <gmock/gmock.h>

#include <map>

#include "collector/message_texts.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

// Where a pass can be cut short: a point and the time it is passed that kills.
constexpr const char* kCrashPoints[] = {
    "collector.pass.listed",          "eventlog.clear.backup-written",
    "eventlog.clear.journal-written", "eventlog.clear.log-replaced",
    "collector.log.archived",         "collector.record.inserted#3",
    "collector.batch.committing#2",   "collector.batch.committed#1",
    "collector.backup.read#1",        "collector.backup.deleted#1",
};

class KillMatrixTest : public CollectionTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // One pass in a process of its own; its exit code, or -1 when a signal ended it.
  int CollectOnce(const std::string& crashPoint) {
    const auto program = tamsel::testing::BuildDir() / "tests/tamsel_collect_once";
    auto result = tamsel::testing::RunCommand(
        "TAMSEL_NETWORK='" + Root().string() + "' TAMSEL_MACHINE=COLLECTOR TAMSEL_CRASH_POINT='" +
            crashPoint + "' exec '" + program.string() + "' 'D:\\EvtBak'",
        true);
    return result.exitCode;
  }
  void WriteGeneration(const std::string& name, int application, int system) {
    for (int i = 0; i < application; ++i)
      Write("SRV01", "App", 4, 7, 0, {name + "a" + std::to_string(i)});
    for (int i = 0; i < system; ++i)
      Write("SRV01", "Sys", 2, 9, 0, {name + "s" + std::to_string(i)});
  }
  // Files below the machine's drives whose names mark them as temporary.
  std::vector<std::string> Temporaries(const std::string& machine) {
    std::vector<std::string> found;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(Root() / machine / "drives")) {
      if (entry.path().filename().string().find(".tmp") != std::string::npos) {
        found.push_back(entry.path().filename().string());
      }
    }
    return found;
  }
};

TEST_P(KillMatrixTest, NothingLostNothingDoubledNothingLeft) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV01", "System", "Sys", "");
  WriteGeneration("first-", 9, 5);
  const int killed = CollectOnce(GetParam());
  EXPECT_TRUE(killed == -1 || killed == 128 + 9) << GetParam() << " ended with " << killed;
  // Events keep coming; the log numbers its records from 1 again after a clear, in the same
  // seconds as the records before it.
  WriteGeneration("second-", 3, 2);
  ASSERT_EQ(CollectOnce(""), 0);

  std::map<std::string, int> stored;
  for (const StoredRow& row : Stored()) ++stored[row.message];
  std::map<std::string, int> expected;
  for (const char* generation : {"first-", "second-"}) {
    const int application = generation[0] == 'f' ? 9 : 3;
    const int system = generation[0] == 'f' ? 5 : 2;
    for (int i = 0; i < application; ++i)
      ++expected[collector::FallbackDescription(
          {generation + std::string("a") + std::to_string(i)})];
    for (int i = 0; i < system; ++i)
      ++expected[collector::FallbackDescription(
          {generation + std::string("s") + std::to_string(i)})];
  }
  EXPECT_EQ(stored, expected) << GetParam();
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ::testing::IsEmpty()) << GetParam();
  EXPECT_THAT(Temporaries("SRV01"), ::testing::IsEmpty()) << GetParam();
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);
  EXPECT_EQ(LiveRecords("SRV01", "System"), 0u);
}

INSTANTIATE_TEST_SUITE_P(CrashPoints, KillMatrixTest, ::testing::ValuesIn(kCrashPoints));

}  // namespace
}  // namespace tamsel::e2e
