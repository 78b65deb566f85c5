// Several processes writing one log while another process clears it with backups: every record
// must end up in exactly one backup, whole and in its writer's order. The writers are this
// test program started again in the helper mode below.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/test_network.h"

namespace tamsel::platform::eventlog {
namespace {

using testsupport::ReadAll;

constexpr int kWriters = 4;
constexpr int kRecordsPerWriter = 250;

// Helper mode: TAMSEL_EVT_WRITER="<network root>:<writer>" writes this writer's records.
TEST(WriterProcessHelper, WritesRecords) {
  const char* spec = std::getenv("TAMSEL_EVT_WRITER");
  if (spec == nullptr) GTEST_SKIP() << "only run as a writer process";
  std::string text = spec;
  std::string root = text.substr(0, text.rfind(':'));
  std::string writer = text.substr(text.rfind(':') + 1);
  network::ScopedCurrentNetwork scoped(network::Network(root, "LOCALPC"));
  EventLogHandle source(RegisterEventSourceA("SRV01", ("Writer" + writer).c_str()));
  ASSERT_TRUE(source);
  for (int i = 0; i < kRecordsPerWriter; ++i) {
    std::string payload = writer + "-" + std::to_string(i);
    std::string padding(static_cast<std::size_t>(i % 5) * 200, 'p');
    const char* strings[] = {payload.c_str(), padding.c_str()};
    ASSERT_TRUE(ReportEventA(source.Get(), EVENTLOG_INFORMATION_TYPE, 0, i, nullptr, 2, 0, strings,
                             nullptr))
        << GetLastError();
  }
}

pid_t StartWriter(const std::filesystem::path& root, int writer) {
  std::string spec = "TAMSEL_EVT_WRITER=" + root.string() + ":" + std::to_string(writer);
  pid_t pid = fork();
  if (pid == 0) {
    char* const argv[] = {const_cast<char*>("writer"),
                          const_cast<char*>("--gtest_filter=WriterProcessHelper.*"), nullptr};
    char* const envp[] = {const_cast<char*>(spec.c_str()), nullptr};
    execve("/proc/self/exe", argv, envp);
    _exit(127);
  }
  return pid;
}

TEST(EventLogConcurrencyTest, WritersAndClearsAcrossProcessesLoseNothing) {
  testsupport::TestNetwork net;
  testsupport::RegisterLog("SRV01", "Application", "C:\\logs\\app.evt", 0x4000000);
  std::filesystem::create_directories(net.Drive("SRV01", 'D') / "bak");

  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) writers.push_back(StartWriter(net.Root(), w));
  EventLogHandle log(OpenEventLogA("SRV01", "Application"));
  ASSERT_TRUE(log);
  int backups = 0;
  auto clear = [&] {
    std::string name = "D:\\bak\\b" + std::to_string(backups) + ".evt";
    ASSERT_TRUE(ClearEventLogA(log.Get(), name.c_str())) << GetLastError();
    ++backups;
  };
  int running = kWriters;
  while (running > 0) {
    clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    for (pid_t& pid : writers) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid = 0;
        --running;
      }
    }
  }
  clear();

  std::multiset<std::string> seen;
  std::map<std::string, int> lastOfWriter;
  int nonEmpty = 0;
  for (int b = 0; b < backups; ++b) {
    std::string name = "D:\\bak\\b" + std::to_string(b) + ".evt";
    EventLogHandle backup(OpenBackupEventLogA("SRV01", name.c_str()));
    ASSERT_TRUE(backup) << name;
    DWORD end = 0;
    auto records = ReadAll(backup.Get(), EVENTLOG_FORWARDS_READ, &end);
    EXPECT_EQ(end, ERROR_HANDLE_EOF);
    nonEmpty += records.empty() ? 0 : 1;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const ParsedRecord& record = records[i];
      EXPECT_EQ(record.recordNumber, i + 1) << name;  // numbering restarts with every clear
      ASSERT_EQ(record.strings.size(), 2u);
      seen.insert(record.strings[0]);
      std::string writer = record.source.substr(6);
      int index = std::stoi(record.strings[0].substr(writer.size() + 1));
      EXPECT_EQ(record.strings[1].size(), static_cast<std::size_t>(index % 5) * 200);
      auto last = lastOfWriter.find(writer);
      EXPECT_TRUE(last == lastOfWriter.end() || last->second < index) << record.strings[0];
      lastOfWriter[writer] = index;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kRecordsPerWriter));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kRecordsPerWriter; ++i) {
      EXPECT_EQ(seen.count(std::to_string(w) + "-" + std::to_string(i)), 1u) << w << "-" << i;
    }
  }
  EXPECT_GT(nonEmpty, 1);  // the clears really ran between writes
}

}  // namespace
}  // namespace tamsel::platform::eventlog
