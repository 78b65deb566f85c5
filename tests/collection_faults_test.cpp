// What a pass does with faults around it: an id the database writer cannot carry, backup files
// that cannot be read whole, a damaged live log, a backup folder that cannot be made, a FIFO
// in a log's place, and message file values too long to read. Each is told to an operator
// (or traced) and leaves nothing worse behind.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include "collector/backup_files.h"
#include "collector/message_texts.h"
#include "platform/eventlog/event_clock.h"
#include "platform/network/debug_output.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::time_t kFirstPass = 1025300427;  // 2002-06-28 21:40:27 (UTC)

class CollectionFaultsTest : public CollectionTest {
 protected:
  CollectionFaultsTest() : clock_([this] { return now_; }) {}

  // A pass a quarter of an hour after the last.
  int Pass() {
    now_ += 900;
    return collector_.CollectAll();
  }
  std::vector<std::string> Texts(size_t from) {
    std::vector<std::string> texts;
    for (const auto& event : CollectorEvents(from)) {
      EXPECT_EQ(event.id, 109u);
      texts.push_back(std::to_string(event.type) + " " +
                      (event.strings.empty() ? "" : event.strings[0]));
    }
    return texts;
  }

  std::time_t now_ = kFirstPass;
  collector::ScopedCollectorClock clock_;
};

TEST_F(CollectionFaultsTest, AServerIdTooLargeToStoreLeavesItsLogsUntouched) {
  AddServer(40000, "SRV01");
  AddServer(2, "SRV02");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV02", "Application", "App", "");
  Write("SRV01", "App", 4, 1);
  Write("SRV02", "App", 4, 1);
  const std::string text =
      "1 The server SRV01 has the id 40000, which the database writer cannot carry (the id must "
      "be from -32768 to 32767). The server is skipped and its event logs are left untouched.";
  ASSERT_EQ(Pass(), 0);
  ASSERT_EQ(Pass(), 0);
  EXPECT_THAT(Texts(0), ElementsAre(text, text));  // once per pass
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 1u);
  EXPECT_THAT(Files("SRV01", "D$"), IsEmpty());
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].server, "SRV02");
}

TEST_F(CollectionFaultsTest, AnUnreadableBackupIsReportedAndMovedAsideAfterThreePasses) {
  AddServer(1, "SRV01");
  std::filesystem::create_directories(HostPath("SRV01", "D$\\EvtBak"));
  const std::string junk = std::string(31, 'j');
  std::ofstream(HostPath("SRV01", "D$\\EvtBak") / "Application_20000101000000.evt") << junk;
  const std::string kept =
      "2 The backup file D:\\EvtBak\\Application_20000101000000.evt of the Application log of "
      "server SRV01 could not be read whole (it cannot be opened (error 1500)). It is kept and "
      "will be read again at the next pass.";
  ASSERT_EQ(Pass(), 0);
  ASSERT_EQ(Pass(), 0);
  EXPECT_THAT(Texts(0), ElementsAre(kept, kept));
  ASSERT_EQ(Pass(), 0);
  EXPECT_THAT(Texts(2),
              ElementsAre("1 The backup file D:\\EvtBak\\Application_20000101000000.evt of the "
                          "Application log of server SRV01 could not be read whole in 3 passes "
                          "in a row (it cannot be opened (error 1500)). It was moved to "
                          "D:\\EvtBak\\Damaged\\Application_20000101000000.evt and will not be "
                          "read again."));
  std::ifstream moved(HostPath("SRV01", "D$\\EvtBak\\Damaged\\Application_20000101000000.evt"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), junk);
  ASSERT_EQ(Pass(), 0);
  EXPECT_THAT(Texts(3), IsEmpty());
  EXPECT_THAT(Files("SRV01", "D$\\EvtBak"), ElementsAre("Damaged"));
}

TEST_F(CollectionFaultsTest, RecordsAfterADamagedOneAreStillRead) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "App", "");
  for (const char* text : {"a", "b", "c"}) Write("SRV01", "App", 4, 1, 0, {text});
  std::string backup;
  now_ += 900;
  ASSERT_EQ(collector_.ArchiveAndClearLog("SRV01", 1, "Application", backup), 0);
  {
    // The second record's length, behind the 48-byte header and the first record.
    std::fstream file(HostPath("SRV01", "D$\\EvtBak\\Application_20020628215527.evt"),
                      std::ios::in | std::ios::out | std::ios::binary);
    std::uint32_t first = 0;
    file.seekg(48);
    file.read(reinterpret_cast<char*>(&first), 4);
    const std::uint32_t bad = 7;
    file.seekp(48 + first);
    file.write(reinterpret_cast<const char*>(&bad), 4);
  }
  ASSERT_EQ(Pass(), 0);
  std::vector<std::string> messages;
  for (const StoredRow& row : Stored()) messages.push_back(row.message);
  EXPECT_THAT(messages, ElementsAre(collector::FallbackDescription({"a"}),
                                    collector::FallbackDescription({"c"})));
  EXPECT_THAT(Texts(0),
              ElementsAre("2 The backup file D:\\EvtBak\\Application_20020628215527.evt of the "
                          "Application log of server SRV01 could not be read whole (reading it "
                          "stopped at a damaged record (error 1500); 1 of its 3 record(s) could "
                          "not be read). It is kept and will be read again at the next pass."));
  ASSERT_EQ(Pass(), 0);  // read again: nothing stored twice
  EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(CollectionFaultsTest, LogsThatCannotBeArchivedAreReportedOncePerPass) {
  AddServer(1, "SRV01");
  AddServer(2, "SRV02");
  AddSource("SRV01", "Application", "App", "");
  AddSource("SRV01", "System", "Sys", "");
  Write("SRV01", "App", 4, 1);
  Write("SRV01", "Sys", 4, 1);
  // SRV01's System log is damaged; SRV02's backup folder cannot be made, a file being in
  // its way; SRV02's Application log is a FIFO, which must not hang the pass.
  {
    std::fstream log(HostPath("SRV01", "C$\\WINDOWS\\system32\\config\\SysEvent.Evt"),
                     std::ios::in | std::ios::out | std::ios::binary);
    log.write("damaged!", 8);
  }
  std::ofstream(HostPath("SRV02", "D$") / "EvtBak") << "a file";
  RegisterLog("SRV02", "Piped", "pipe.evt");
  const auto config = Root() / "SRV02" / "drives" / "C" / "WINDOWS" / "system32" / "config";
  std::filesystem::create_directories(config);
  ASSERT_EQ(mkfifo((config / "pipe.evt").c_str(), 0644), 0);
  ASSERT_EQ(Pass(), 0);
  ASSERT_EQ(Pass(), 0);
  const std::vector<std::string> pass = {
      "1 The System log of server SRV01 (file %SystemRoot%\\system32\\config\\SysEvent.Evt) could "
      "not be archived into D:\\EvtBak\\System_20020628215527.evt (error 1500); it is left as it "
      "is: the log file is damaged.",
      "1 The backup folder D:\\EvtBak of server SRV02 cannot be created (error 3), so its event "
      "logs are not archived or cleared.",
      "1 The Piped log of server SRV02 (file %SystemRoot%\\system32\\config\\pipe.evt) could not "
      "be opened (error 5); it is left as it is."};
  auto texts = Texts(0);
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_THAT(std::vector<std::string>(texts.begin(), texts.begin() + 3),
              ::testing::UnorderedElementsAreArray(pass));
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);  // the sound log was collected
  EXPECT_EQ(Stored().size(), 1u);
}

TEST_F(CollectionFaultsTest, MessageFileValuesTooLongToReadAreTraced) {
  AddServer(1, "SRV01");
  AddSource("SRV01", "Application", "Long", "C:\\" + std::string(293, 'm') + ".dll");
  std::vector<std::string> trace;
  platform::network::ScopedDebugCapture capture(
      [&](std::string_view line) { trace.emplace_back(line); });
  collector::CLogRecord record;
  record.computerName_ = "SRV01";
  record.sourceName_ = "Long";
  ASSERT_EQ(collector_.ResolveMessageFiles(record, "Application"), 0);
  EXPECT_EQ(record.eventMessageFile_, "\\\\SRV01\\");  // read as empty, as before
  EXPECT_THAT(trace, ::testing::Contains(HasSubstr(
                         "Value 'EventMessageFile' of \\\\SRV01\\HKLM\\SYSTEM\\CurrentControlSet\\"
                         "Services\\EventLog\\Application\\Long is too long (301 bytes) and was "
                         "ignored")));
}

}  // namespace
}  // namespace tamsel::e2e
