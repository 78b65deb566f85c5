// Collection from a machine of version 6.3, whose logs are .evtx files, beside a classic one:
// the unchanged pass archives, reads and stores them with their message texts; a backup read
// again stores nothing twice; a damaged backup gives up only what it cannot trust, is
// reported with a count and kept.
#include <gmock/gmock.h>

#include "platform/eventlog/evtx_format.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

class EvtxCollectionTest : public CollectionTest {
 protected:
  void SetUp() override {
    auto created = Tamsel("net create SRV63 --version 6.3");
    ASSERT_EQ(created.exitCode, 0) << created.output;
    RegisterServer(1, "SRV63");
    AddServer(2, "SRV52");
    for (const char* machine : {"SRV63", "SRV52"}) {
      InstallMessageFile(machine, "C:\\WINDOWS\\system32", "coll.dll");
      AddSource(machine, "Application", "AppColl", "%SystemRoot%\\system32\\coll.dll");
      AddSource(machine, "System", "SysColl", "%SystemRoot%\\system32\\coll.dll");
    }
  }

  bool IsEvtx(const std::string& machine, const std::string& path) {
    std::ifstream file(HostPath(machine, path), std::ios::binary);
    char signature[8] = {};
    file.read(signature, sizeof signature);
    return std::string(signature, 8) == platform::eventlog::evtx::kFileSignature;
  }
};

TEST_F(EvtxCollectionTest, ModernAndClassicServersInOnePass) {
  const std::vector<std::uint8_t> system = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  for (int i = 0; i < 30; ++i) {
    for (const char* machine : {"SRV63", "SRV52"}) {
      Write(machine, "AppColl", 4, 1003, 0, {"app" + std::to_string(i), "x"}, system);
      Write(machine, "SysColl", i % 2 ? 2 : 1, 1003, 0, {"sys" + std::to_string(i), "s"});
    }
  }
  ASSERT_TRUE(IsEvtx("SRV63", "C$\\WINDOWS\\System32\\winevt\\Logs\\Application.evtx"));
  ASSERT_TRUE(IsEvtx("SRV63", "C$\\WINDOWS\\System32\\winevt\\Logs\\System.evtx"));
  ASSERT_FALSE(IsEvtx("SRV52", "C$\\WINDOWS\\system32\\config\\AppEvent.Evt"));

  // Each backup is copied aside during the pass and put back after it, as if the pass had
  // been cut short before deleting it.
  const std::filesystem::path aside = Root() / "aside";
  std::filesystem::create_directories(aside);
  collector_.beforeInsert = [&](TestCollector&) {
    for (const std::string& name : Files("SRV63", "D$\\EvtBak")) {
      if (!std::filesystem::exists(aside / name)) {
        std::filesystem::copy_file(HostPath("SRV63", "D$\\EvtBak\\" + name), aside / name);
      }
    }
  };
  ASSERT_EQ(collector_.CollectAll(), 0);
  collector_.beforeInsert = nullptr;
  auto rows = Stored();
  ASSERT_THAT(rows, SizeIs(120));
  for (const StoredRow& row : rows) {
    EXPECT_EQ(row.eventId, 1003);
    EXPECT_THAT(row.message, ::testing::StartsWith("Only "));
  }
  auto modern = Stored("s.ELServerName DESC, t.LogTypeName, e.RecordNumber");
  EXPECT_EQ(modern[0].server, "SRV63");
  EXPECT_EQ(modern[0].log, "Application");
  EXPECT_EQ(modern[0].recordNumber, 1);
  EXPECT_EQ(modern[0].message, "Only app0 of x.");
  EXPECT_EQ(modern[0].user, "NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(modern[0].eventType, 4);
  EXPECT_EQ(modern[30].log, "System");
  EXPECT_EQ(modern[30].eventType, 1);
  EXPECT_EQ(modern[31].eventType, 2);
  EXPECT_THAT(Files("SRV63", "D$\\EvtBak"), IsEmpty());
  EXPECT_EQ(LiveRecords("SRV63", "Application"), 0u);
  for (const auto& copy : std::filesystem::directory_iterator(aside)) {
    std::filesystem::copy_file(copy.path(),
                               HostPath("SRV63", "D$\\EvtBak") / copy.path().filename());
  }
  EXPECT_THAT(Files("SRV63", "D$\\EvtBak"), SizeIs(2));

  // The backups put back are read at the next pass and deleted; nothing is stored twice.
  Write("SRV63", "AppColl", 4, 1003, 0, {"later", "y"});
  NextSecond();
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(Stored(), SizeIs(121));
  EXPECT_THAT(Files("SRV63", "D$\\EvtBak"), IsEmpty());
}

TEST_F(EvtxCollectionTest, DamagedBackupKeepsWhatItCanAndIsReported) {
  for (int i = 0; i < 20; ++i) Write("SRV63", "AppColl", 4, 1003, 0, {std::to_string(i), "d"});
  std::filesystem::create_directories(Root() / "SRV63/drives/D/EvtBak");
  {
    evl::EventLogHandle log(evl::OpenEventLogA("SRV63", "Application"));
    ASSERT_TRUE(evl::ClearEventLogA(log.Get(), "D:\\EvtBak\\Application_20000101000000.evt"));
  }
  // Cut off inside its chunk, after a few records.
  std::filesystem::path backup = HostPath("SRV63", "D$\\EvtBak\\Application_20000101000000.evt");
  std::filesystem::resize_file(backup, platform::eventlog::evtx::kFileHeaderBlock + 0x700);
  const std::size_t eventsBefore = CollectorEvents().size();
  ASSERT_EQ(collector_.CollectAll(), 0);
  auto rows = Stored();
  ASSERT_FALSE(rows.empty());
  ASSERT_LT(rows.size(), 20u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].message, "Only " + std::to_string(i) + " of d.");
  }
  bool reported = false;
  for (const auto& event : CollectorEvents(eventsBefore)) {
    reported = reported || (event.id == 109u && !event.strings.empty() &&
                            event.strings[0].find(std::to_string(20 - rows.size()) +
                                                  " damaged record(s)") != std::string::npos);
  }
  EXPECT_TRUE(reported);
  EXPECT_THAT(Files("SRV63", "D$\\EvtBak"),
              (std::vector<std::string>{"Application_20000101000000.evt"}));
}

}  // namespace
}  // namespace tamsel::e2e
