// Tests of the event log API on a temporary network: report, clear with backup, read back in
// ANSI form, and every failure the callers rely on.
#include "platform/eventlog/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/accounts/sid.h"
#include "platform/eventlog/test_network.h"
#include "platform/registry/system_environment.h"

namespace tamsel::platform::eventlog {
namespace {

using testsupport::ReadAll;
using testsupport::RegisterLog;
using testsupport::RegisterSource;

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::SetVersionValue("SRV01", "SystemRoot", "C:\\WINNT");
    RegisterLog("SRV01", "Application", "%SystemRoot%\\system32\\config\\AppEvent.Evt");
    RegisterLog("SRV01", "System", "%SystemRoot%\\system32\\config\\SysEvent.Evt");
    RegisterSource("SRV01", "System", "Disk");
    std::filesystem::create_directories(net_.Drive("SRV01", 'D') / "EvtBak");
  }

  void Report(const char* source, WORD type, DWORD id, std::vector<const char*> strings,
              const std::vector<std::uint8_t>& sid = {}, std::vector<std::uint8_t> data = {}) {
    EventLogHandle handle(RegisterEventSourceA("\\\\SRV01", source));
    ASSERT_TRUE(handle);
    ASSERT_TRUE(ReportEventA(handle.Get(), type, 3, id, sid.empty() ? nullptr : sid.data(),
                             static_cast<WORD>(strings.size()), static_cast<DWORD>(data.size()),
                             strings.data(), data.data()))
        << GetLastError();
  }

  std::uint64_t FileSize(const std::filesystem::path& path) {
    return std::filesystem::file_size(path);
  }

  testsupport::TestNetwork net_;
  std::filesystem::path appEvt_ =
      net_.Drive("SRV01", 'C') / "WINNT" / "system32" / "config" / "AppEvent.Evt";
  std::vector<std::uint8_t> system_ = accounts::Sid(5, {18}).Bytes();
};

TEST_F(EventLogTest, ReportClearWithBackupAndReadBack) {
  std::string big(1500, 'x');
  Report("MyApp", EVENTLOG_ERROR_TYPE, 0xC0000064, {"first", "", "third"}, system_, {0xDE, 0xAD});
  Report("MyApp", EVENTLOG_WARNING_TYPE, 101, {});
  Report("MyApp", EVENTLOG_INFORMATION_TYPE, 102, {big.c_str()}, system_);
  Report("MyApp", EVENTLOG_AUDIT_FAILURE, 103, {"", ""});
  ASSERT_TRUE(std::filesystem::exists(appEvt_));  // the machine's own %SystemRoot%

  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  ASSERT_TRUE(log);
  DWORD count = 0;
  DWORD oldest = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log.Get(), &count));
  ASSERT_TRUE(GetOldestEventLogRecord(log.Get(), &oldest));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(oldest, 1u);
  std::vector<ParsedRecord> live = ReadAll(log.Get());

  ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\Application_20020628214027.evt"))
      << GetLastError();
  ASSERT_TRUE(GetNumberOfEventLogRecords(log.Get(), &count));
  EXPECT_EQ(count, 0u);
  ASSERT_TRUE(GetOldestEventLogRecord(log.Get(), &oldest));
  EXPECT_EQ(oldest, 0u);

  EventLogHandle backup(
      OpenBackupEventLogA(nullptr, "\\\\SRV01\\D$\\EvtBak\\Application_20020628214027.evt"));
  ASSERT_TRUE(backup) << GetLastError();
  ASSERT_TRUE(GetNumberOfEventLogRecords(backup.Get(), &count));
  EXPECT_EQ(count, 4u);
  DWORD end = 0;
  std::vector<ParsedRecord> records = ReadAll(backup.Get(), EVENTLOG_FORWARDS_READ, &end);
  EXPECT_EQ(end, ERROR_HANDLE_EOF);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].recordNumber, 1u);
  EXPECT_EQ(records[0].eventId, 0xC0000064u);
  EXPECT_EQ(records[0].eventType, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(records[0].category, 3);
  EXPECT_EQ(records[0].source, "MyApp");
  EXPECT_EQ(records[0].computer, "SRV01");
  EXPECT_EQ(records[0].userSid, system_);
  EXPECT_EQ(records[0].strings, (std::vector<std::string>{"first", "", "third"}));
  EXPECT_EQ(records[0].data, (std::vector<std::uint8_t>{0xDE, 0xAD}));
  EXPECT_TRUE(records[1].strings.empty());
  EXPECT_TRUE(records[1].userSid.empty());
  EXPECT_EQ(records[2].strings, std::vector<std::string>{big});
  EXPECT_EQ(records[3].strings, (std::vector<std::string>{"", ""}));
  EXPECT_LE(records[0].timeGenerated, records[0].timeWritten);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].recordNumber, live[i].recordNumber);
    EXPECT_EQ(records[i].strings, live[i].strings);
  }

  // Numbering restarts after the clear.
  Report("MyApp", EVENTLOG_SUCCESS, 104, {"again"});
  EventLogHandle again(OpenEventLogA("SRV01", "Application"));
  auto after = ReadAll(again.Get());
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].recordNumber, 1u);
}

TEST_F(EventLogTest, BufferRulesAndReadModes) {
  std::string big(1200, 'y');
  for (int i = 1; i <= 5; ++i) Report("MyApp", EVENTLOG_INFORMATION_TYPE, i, {"s"});
  Report("MyApp", EVENTLOG_INFORMATION_TYPE, 6, {big.c_str()});
  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  std::vector<std::uint8_t> buffer(1024);
  DWORD read = 0;
  DWORD needed = 0;
  auto read_ = [&](DWORD flags, DWORD number, DWORD size) {
    return ReadEventLogA(log.Get(), flags, number, buffer.data(), size, &read, &needed);
  };
  const DWORD forwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

  // Invalid flag combinations.
  EXPECT_FALSE(read_(EVENTLOG_SEQUENTIAL_READ, 0, 1024));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(
      read_(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 0, 1024));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(
      read_(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ, 0, 1024));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Too small for even the first record: the size needed, and no progress.
  EXPECT_FALSE(read_(forwards, 0, 10));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(read, 0u);
  DWORD first = needed;
  ASSERT_TRUE(read_(forwards, 0, first));
  EXPECT_EQ(read, first);
  EXPECT_EQ(GetU32(buffer.data() + field::kRecordNumber), 1u);

  // Whole records only: four more small ones, then the big one does not fit in 1024 bytes.
  ASSERT_TRUE(read_(forwards, 0, 1024));
  EXPECT_EQ(read, 4 * first);
  EXPECT_FALSE(read_(forwards, 0, 1024));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(needed, 1200u);
  buffer.resize(needed);
  ASSERT_TRUE(read_(forwards, 0, needed));
  EXPECT_EQ(GetU32(buffer.data() + field::kRecordNumber), 6u);
  EXPECT_FALSE(read_(forwards, 0, needed));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);

  // A record written later is picked up by the same handle.
  Report("MyApp", EVENTLOG_INFORMATION_TYPE, 7, {"late"});
  ASSERT_TRUE(read_(forwards, 0, 1024));
  EXPECT_EQ(GetU32(buffer.data() + field::kRecordNumber), 7u);

  // Seek, then sequential reading continues from there in the new direction.
  ASSERT_TRUE(read_(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 3, first));
  EXPECT_EQ(GetU32(buffer.data() + field::kRecordNumber), 3u);
  ASSERT_TRUE(read_(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, 1024));
  EXPECT_EQ(read, 2 * first);
  EXPECT_EQ(GetU32(buffer.data() + first + field::kRecordNumber), 1u);
  EXPECT_FALSE(read_(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, 1024));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_FALSE(read_(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 99, 1024));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // A fresh handle read backwards gives newest first.
  EventLogHandle other(OpenEventLogA("SRV01", "Application"));
  auto backwards = ReadAll(other.Get(), EVENTLOG_BACKWARDS_READ);
  ASSERT_EQ(backwards.size(), 7u);
  EXPECT_EQ(backwards.front().recordNumber, 7u);
  EXPECT_EQ(backwards.back().recordNumber, 1u);
}

TEST_F(EventLogTest, SourcesGoToTheLogThatRegistersThem) {
  Report("Disk", EVENTLOG_ERROR_TYPE, 7, {"\\Device\\Harddisk0"});
  Report("Unregistered", EVENTLOG_ERROR_TYPE, 8, {});
  EventLogHandle system(OpenEventLogA("SRV01", "system"));
  auto systemRecords = ReadAll(system.Get());
  ASSERT_EQ(systemRecords.size(), 1u);
  EXPECT_EQ(systemRecords[0].source, "Disk");
  EventLogHandle application(OpenEventLogA("SRV01", "Application"));
  auto appRecords = ReadAll(application.Get());
  ASSERT_EQ(appRecords.size(), 1u);
  EXPECT_EQ(appRecords[0].source, "Unregistered");
  // A log name the machine does not know opens Application, as Windows does.
  EventLogHandle unknown(OpenEventLogA("SRV01", "No Such Log"));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(ReadAll(unknown.Get()).size(), 1u);
}

TEST_F(EventLogTest, ClearFailuresLeaveTheLogAsItWas) {
  for (int i = 1; i <= 3; ++i) Report("MyApp", EVENTLOG_INFORMATION_TYPE, i, {"keep"});
  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  std::ofstream(net_.Drive("SRV01", 'D') / "EvtBak" / "taken.evt") << "x";
  auto before = FileSize(appEvt_);
  auto check = [&](const char* path, Win32Error expected) {
    EXPECT_FALSE(ClearEventLogA(log.Get(), path)) << path;
    EXPECT_EQ(GetLastError(), expected) << path;
    DWORD count = 0;
    ASSERT_TRUE(GetNumberOfEventLogRecords(log.Get(), &count));
    EXPECT_EQ(count, 3u) << path;
  };
  check("D:\\EvtBak\\TAKEN.evt", ERROR_ALREADY_EXISTS);  // names compare without case
  check("D:\\Missing\\x.evt", ERROR_PATH_NOT_FOUND);
  check("D:\\EvtBak\\..\\x.evt", ERROR_BAD_PATHNAME);
  check("", ERROR_INVALID_PARAMETER);
  check("Q:\\x.evt", ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FileSize(appEvt_), before);
  EXPECT_EQ(ReadAll(log.Get()).size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(net_.Drive("SRV01", 'D') / "x.evt"));

  EXPECT_TRUE(BackupEventLogA(log.Get(), "D:\\EvtBak\\copy.evt"));
  EXPECT_FALSE(BackupEventLogA(log.Get(), "D:\\EvtBak\\copy.evt"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EventLogHandle copy(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\copy.evt"));
  EXPECT_EQ(ReadAll(copy.Get()).size(), 3u);
  // A backup handle copies to its own machine's disk; clearing a backup is refused.
  EXPECT_TRUE(BackupEventLogA(copy.Get(), "D:\\EvtBak\\copy2.evt"));
  EXPECT_TRUE(std::filesystem::exists(net_.Drive("SRV01", 'D') / "EvtBak" / "copy2.evt"));
  EXPECT_FALSE(ClearEventLogA(copy.Get(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DWORD count = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log.Get(), &count));
  EXPECT_EQ(count, 3u);  // backup alone does not clear

  // Without a backup name the log is simply emptied; older handles notice the change.
  EventLogHandle older(OpenEventLogA("SRV01", "Application"));
  ASSERT_TRUE(ClearEventLogA(log.Get(), nullptr));
  EXPECT_FALSE(GetNumberOfEventLogRecords(older.Get(), &count));
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CHANGED);
  std::vector<std::uint8_t> buffer(1024);
  DWORD read = 0;
  DWORD needed = 0;
  EXPECT_FALSE(ReadEventLogA(older.Get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                             buffer.data(), 1024, &read, &needed));
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CHANGED);
  // An empty log clears with a backup that holds no record.
  ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\empty.evt"));
  EventLogHandle empty(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\empty.evt"));
  DWORD end = 0;
  EXPECT_TRUE(ReadAll(empty.Get(), EVENTLOG_FORWARDS_READ, &end).empty());
  EXPECT_EQ(end, ERROR_HANDLE_EOF);
}

TEST_F(EventLogTest, UnreachableMachinesBadHandlesAndBadFiles) {
  EXPECT_EQ(OpenEventLogA("NOSUCH", "Application"), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(RegisterEventSourceA("\\\\NOSUCH", "MyApp"), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenBackupEventLogA("NOSUCH", "D:\\x.evt"), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenBackupEventLogA(nullptr, "\\\\NOSUCH\\D$\\x.evt"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(OpenBackupEventLogA("LOCALPC", "\\\\SRV01\\D$\\EvtBak\\none.evt"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenBackupEventLogA("SRV01", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\none.evt"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::ofstream(net_.Drive("SRV01", 'D') / "EvtBak" / "junk.evt") << std::string(200, 'j');
  EXPECT_EQ(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\junk.evt"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);

  // A machine that goes down under an open handle.
  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  EventLogHandle source(RegisterEventSourceA("SRV01", "MyApp"));
  auto machine = network::Network::Current().OpenMachine("SRV01");
  static_cast<network::FolderMachine&>(*machine).SetOnline(false);
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfEventLogRecords(log.Get(), &count));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(ClearEventLogA(log.Get(), "D:\\EvtBak\\x.evt"));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(
      ReportEventA(source.Get(), EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  static_cast<network::FolderMachine&>(*machine).SetOnline(true);

  // Handles of the wrong kind, closed handles, bad report arguments.
  EXPECT_FALSE(ReportEventA(log.Get(), 1, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ClearEventLogA(source.Get(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const std::uint8_t badSid[12] = {2, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  EXPECT_FALSE(ReportEventA(source.Get(), 1, 0, 1, badSid, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  const char* strings[] = {"ok", nullptr};
  EXPECT_FALSE(ReportEventA(source.Get(), 1, 0, 1, nullptr, 2, 0, strings, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  std::string tooLong(32768, 'z');
  const char* longStrings[] = {tooLong.c_str()};
  EXPECT_FALSE(ReportEventA(source.Get(), 1, 0, 1, nullptr, 1, 0, longStrings, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE raw = OpenEventLogA("SRV01", "Application");
  ASSERT_TRUE(CloseEventLog(raw));
  EXPECT_FALSE(CloseEventLog(raw));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(GetNumberOfEventLogRecords(raw, &count));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(EventLogTest, OnlyARegularFileIsALogOrABackup) {
  // A FIFO in a log's place would block an open until a writer came.
  RegisterLog("SRV01", "Piped", "C:\\pipe.evt");
  RegisterSource("SRV01", "Piped", "PipeSource");
  ASSERT_EQ(mkfifo((net_.Drive("SRV01", 'C') / "pipe.evt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((net_.Drive("SRV01", 'D') / "EvtBak" / "pipe.evt").c_str(), 0644), 0);
  EXPECT_EQ(OpenEventLogA("SRV01", "Piped"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EventLogHandle source(RegisterEventSourceA("SRV01", "PipeSource"));
  ASSERT_TRUE(source);
  EXPECT_FALSE(ReportEventA(source.Get(), 1, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  for (const char* backup : {"D:\\EvtBak\\pipe.evt", "D:\\EvtBak"}) {
    EXPECT_EQ(OpenBackupEventLogA("SRV01", backup), nullptr) << backup;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << backup;
  }
}

TEST_F(EventLogTest, AClearRemovesTheTemporariesOfDeadWriters) {
  Report("MyApp", EVENTLOG_INFORMATION_TYPE, 1, {"x"});
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const auto backups = net_.Drive("SRV01", 'D') / "EvtBak";
  const auto config = appEvt_.parent_path();
  const std::string deadPid = std::to_string(dead);
  const std::string livePid = std::to_string(getpid());
  const std::vector<std::filesystem::path> gone = {
      backups / (".Application_20000101000000.evt.tmp" + deadPid + "-1"),
      config / (".AppEvent.Evt.tmp" + deadPid + "-2")};
  const std::vector<std::filesystem::path> kept = {
      backups / (".Application_20000101000000.evt.tmp" + livePid + "-7"),  // a live writer's
      backups / ".notes.tmp", backups / (".x.tmp" + deadPid + "-a"), config / "AppEvent.tmp1-1"};
  for (const auto& path : gone) std::ofstream(path) << "partial";
  for (const auto& path : kept) std::ofstream(path) << "other";
  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\Application_20000101000001.evt"));
  for (const auto& path : gone) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  for (const auto& path : kept) EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

TEST_F(EventLogTest, SmallLogWrapsAndReadsInOrder) {
  RegisterLog("SRV01", "Tiny", "C:\\logs\\tiny.evt", 0x10000);
  RegisterSource("SRV01", "Tiny", "Chatty");
  EventLogHandle source(RegisterEventSourceA("SRV01", "Chatty"));
  for (int i = 1; i <= 1000; ++i) {
    std::string text = "event " + std::to_string(i);
    const char* strings[] = {text.c_str()};
    ASSERT_TRUE(ReportEventA(source.Get(), EVENTLOG_INFORMATION_TYPE, 0, i, nullptr, 1, 0, strings,
                             nullptr));
  }
  EXPECT_EQ(FileSize(net_.Drive("SRV01", 'C') / "logs" / "tiny.evt"), 0x10000u);
  EventLogHandle log(OpenEventLogA("SRV01", "Tiny"));
  DWORD oldest = 0;
  ASSERT_TRUE(GetOldestEventLogRecord(log.Get(), &oldest));
  EXPECT_GT(oldest, 1u);
  auto records = ReadAll(log.Get());
  ASSERT_EQ(records.size(), 1001 - oldest);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].recordNumber, oldest + i);
    EXPECT_EQ(records[i].strings[0], "event " + std::to_string(records[i].eventId));
  }
  ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\tiny.evt"));
  EventLogHandle backup(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\tiny.evt"));
  auto archived = ReadAll(backup.Get(), EVENTLOG_BACKWARDS_READ);
  ASSERT_EQ(archived.size(), records.size());
  EXPECT_EQ(archived.front().recordNumber, 1000u);
  EXPECT_EQ(archived.back().recordNumber, oldest);
}

}  // namespace
}  // namespace tamsel::platform::eventlog
