// Tests of the event log service on a machine of version 6.3: events reported into .evtx
// logs, clearing with a backup of any name, backups read through the classic calls, and a
// full log that wraps or refuses, and a wrapped backup of several chunks read every way.
#include "platform/eventlog/evtx_service.h"

#include <gtest/gtest.h>

#include "platform/accounts/sid.h"
#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/eventlog/test_network.h"

namespace tamsel::platform::eventlog {
namespace {

using testsupport::ReadAll;
using testsupport::RegisterLog;

constexpr std::uint32_t kTwoChunks = evtx::kFileHeaderBlock + 2 * evtx::kChunkSize;

class EvtxServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::SetVersionValue("SRV01", "CurrentVersion", "6.3");
    RegisterLog("SRV01", "Application", "%SystemRoot%\\System32\\winevt\\Logs\\Application.evtx",
                20 * 1024 * 1024);
    std::filesystem::create_directories(net_.Drive("SRV01", 'D') / "EvtBak");
  }

  DWORD Report(WORD type, DWORD id, std::vector<const char*> strings,
               const std::vector<std::uint8_t>& sid = {}, std::vector<std::uint8_t> data = {}) {
    EventLogHandle handle(RegisterEventSourceA("SRV01", "ModernApp"));
    EXPECT_TRUE(handle);
    BOOL ok = ReportEventA(handle.Get(), type, 5, id, sid.empty() ? nullptr : sid.data(),
                           static_cast<WORD>(strings.size()), static_cast<DWORD>(data.size()),
                           strings.data(), data.data());
    return ok ? ERROR_SUCCESS : GetLastError();
  }

  std::vector<ParsedRecord> ReadLog(DWORD direction = EVENTLOG_FORWARDS_READ) {
    EventLogHandle log(OpenEventLogA("SRV01", "Application"));
    EXPECT_TRUE(log);
    return ReadAll(log.Get(), direction);
  }

  testsupport::TestNetwork net_;
  std::filesystem::path live_ =
      net_.Drive("SRV01", 'C') / "WINDOWS" / "System32" / "winevt" / "Logs" / "Application.evtx";
};

TEST_F(EvtxServiceTest, ReportedEventsReadBackInClassicShape) {
  std::vector<std::uint8_t> sid = accounts::Sid(5, {18}).Bytes();
  std::string big(3000, 'b');
  struct Case {
    WORD type;
    DWORD id;
    std::vector<const char*> strings;
    std::vector<std::uint8_t> sid;
    std::vector<std::uint8_t> data;
    WORD readType;
  };
  const Case cases[] = {
      {EVENTLOG_ERROR_TYPE,
       0xC0000064,
       {"first", "", "th\xC3\xAErd"},
       sid,
       {0xDE, 0xAD},
       EVENTLOG_ERROR_TYPE},
      {EVENTLOG_WARNING_TYPE, 101, {}, {}, {}, EVENTLOG_WARNING_TYPE},
      {EVENTLOG_INFORMATION_TYPE, 102, {big.c_str()}, sid, {}, EVENTLOG_INFORMATION_TYPE},
      {EVENTLOG_AUDIT_SUCCESS, 103, {"a"}, {}, {}, EVENTLOG_AUDIT_SUCCESS},
      {EVENTLOG_AUDIT_FAILURE, 104, {"", ""}, {}, {}, EVENTLOG_AUDIT_FAILURE},
      // Modern logs have no success type: it reads back as information, as on Windows.
      {EVENTLOG_SUCCESS, 105, {}, {}, {}, EVENTLOG_INFORMATION_TYPE},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Report(c.type, c.id, c.strings, c.sid, c.data), ERROR_SUCCESS);
  }
  ASSERT_TRUE(IsEvtxFile(live_));

  std::vector<ParsedRecord> records = ReadLog();
  ASSERT_EQ(records.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const ParsedRecord& record = records[i];
    EXPECT_EQ(record.recordNumber, i + 1);
    EXPECT_EQ(record.eventId, c.id);
    EXPECT_EQ(record.eventType, c.readType);
    EXPECT_EQ(record.category, 5);
    EXPECT_EQ(record.source, "ModernApp");
    EXPECT_EQ(record.computer, "SRV01");
    EXPECT_EQ(record.userSid, c.sid);
    EXPECT_EQ(record.strings, std::vector<std::string>(c.strings.begin(), c.strings.end()));
    EXPECT_EQ(record.data, c.data);
    EXPECT_NEAR(record.timeGenerated, std::time(nullptr), 60);
  }
  std::vector<ParsedRecord> backwards = ReadLog(EVENTLOG_BACKWARDS_READ);
  ASSERT_EQ(backwards.size(), std::size(cases));
  EXPECT_EQ(backwards.front().recordNumber, std::size(cases));
}

TEST_F(EvtxServiceTest, ClearWithBackupOfAnyNameAndReadTheBackup) {
  for (DWORD id = 1; id <= 3; ++id) ASSERT_EQ(Report(EVENTLOG_INFORMATION_TYPE, id, {"x"}), 0u);
  {
    EventLogHandle log(OpenEventLogA("SRV01", "Application"));
    ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\Application_20240102030405.evt"));
  }
  std::filesystem::path backup =
      net_.Drive("SRV01", 'D') / "EvtBak" / "Application_20240102030405.evt";
  EXPECT_TRUE(IsEvtxFile(backup));
  EXPECT_TRUE(IsEvtxFile(live_));
  EXPECT_TRUE(ReadLog().empty());

  EventLogHandle handle(
      OpenBackupEventLogA(nullptr, "\\\\SRV01\\D$\\EvtBak\\Application_20240102030405.evt"));
  ASSERT_TRUE(handle);
  DWORD count = 0;
  DWORD oldest = 0;
  DWORD skipped = 7;
  ASSERT_TRUE(GetNumberOfEventLogRecords(handle.Get(), &count));
  ASSERT_TRUE(GetOldestEventLogRecord(handle.Get(), &oldest));
  ASSERT_TRUE(GetEventLogSkippedRecords(handle.Get(), &skipped));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(oldest, 1u);
  EXPECT_EQ(skipped, 0u);
  std::vector<ParsedRecord> records = ReadAll(handle.Get());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].eventId, 3u);

  // The cleared log numbers its records from 1 again.
  ASSERT_EQ(Report(EVENTLOG_INFORMATION_TYPE, 9, {}), 0u);
  ASSERT_EQ(ReadLog().size(), 1u);
  EXPECT_EQ(ReadLog()[0].recordNumber, 1u);
}

TEST_F(EvtxServiceTest, ALogWithoutAFileValueGoesToTheModernFolder) {
  testsupport::RegisterSource("SRV01", "Custom", "CustomApp");
  EventLogHandle handle(RegisterEventSourceA("SRV01", "CustomApp"));
  ASSERT_TRUE(
      ReportEventA(handle.Get(), EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_TRUE(IsEvtxFile(net_.Drive("SRV01", 'C') / "WINDOWS/System32/Winevt/Logs/Custom.evtx"));
}

TEST_F(EvtxServiceTest, AFullLogWrapsOrRefuses) {
  RegisterLog("SRV01", "Application", "%SystemRoot%\\System32\\winevt\\Logs\\Application.evtx",
              kTwoChunks);
  std::string text(2000, 'w');
  const DWORD written = 100;  // about three chunks' worth
  for (DWORD id = 1; id <= written; ++id) {
    ASSERT_EQ(Report(EVENTLOG_INFORMATION_TYPE, id, {text.c_str()}), ERROR_SUCCESS);
  }
  EXPECT_LE(std::filesystem::file_size(live_), kTwoChunks);
  std::vector<ParsedRecord> records = ReadLog();
  ASSERT_FALSE(records.empty());
  ASSERT_LT(records.size(), written);
  EXPECT_EQ(records.back().recordNumber, written);
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].recordNumber, records[i - 1].recordNumber + 1);
  }

  // Retention that protects every record: the log refuses more.
  RegisterLog("SRV01", "Application", "%SystemRoot%\\System32\\winevt\\Logs\\Application.evtx",
              kTwoChunks, 0xFFFFFFFF);
  DWORD error = ERROR_SUCCESS;
  int accepted = 0;
  while (accepted < 40 && (error = Report(EVENTLOG_INFORMATION_TYPE, 7, {text.c_str()})) == 0) {
    ++accepted;
  }
  EXPECT_EQ(error, ERROR_LOG_FILE_FULL);
  EXPECT_LT(accepted, 20);  // at most what the newest chunk still holds
  EXPECT_EQ(ReadLog().front().recordNumber, records.front().recordNumber);
}

// A backup of a wrapped log of more chunks than the handle keeps decoded: every way of reading
// gives the same records, and a file cut short under the handle fails rather than misleads.
TEST_F(EvtxServiceTest, AWrappedBackupReadsAlikeEveryWay) {
  RegisterLog("SRV01", "Application", "%SystemRoot%\\System32\\winevt\\Logs\\Application.evtx",
              evtx::kFileHeaderBlock + 6 * evtx::kChunkSize);
  const DWORD written = 800;
  auto text = [](DWORD number) { return "r" + std::to_string(number) + std::string(300, 'w'); };
  for (DWORD id = 1; id <= written; ++id) {
    ASSERT_EQ(Report(EVENTLOG_INFORMATION_TYPE, id, {text(id).c_str()}), ERROR_SUCCESS);
  }
  {
    EventLogHandle log(OpenEventLogA("SRV01", "Application"));
    ASSERT_TRUE(ClearEventLogA(log.Get(), "D:\\EvtBak\\wrapped.evtx"));
  }
  auto open = [] {
    return EventLogHandle(OpenBackupEventLogA("SRV01", "D:\\EvtBak\\wrapped.evtx"));
  };
  auto matches = [&](const ParsedRecord& record, DWORD number) {
    return record.recordNumber == number && (record.eventId & 0xFFFF) == (number & 0xFFFF) &&
           record.strings == std::vector<std::string>{text(number)};
  };

  EventLogHandle handle = open();
  const std::vector<ParsedRecord> forwards = ReadAll(handle.Get());
  ASSERT_GT(forwards.size(), 400u);
  ASSERT_LT(forwards.size(), written);
  const DWORD first = written - static_cast<DWORD>(forwards.size()) + 1;
  for (DWORD i = 0; i < forwards.size(); ++i) EXPECT_TRUE(matches(forwards[i], first + i)) << i;

  EventLogHandle reverse = open();
  const std::vector<ParsedRecord> backwards = ReadAll(reverse.Get(), EVENTLOG_BACKWARDS_READ);
  ASSERT_EQ(backwards.size(), forwards.size());
  for (DWORD i = 0; i < backwards.size(); ++i) EXPECT_TRUE(matches(backwards[i], written - i));

  // Seeks that jump between chunks, forwards and backwards: the record asked for, then its
  // neighbour in the direction read.
  struct Seek {
    DWORD number;
    DWORD direction;
  };
  const Seek seeks[] = {{written, EVENTLOG_BACKWARDS_READ},
                        {first, EVENTLOG_FORWARDS_READ},
                        {(first + written) / 2, EVENTLOG_FORWARDS_READ},
                        {first + 1, EVENTLOG_BACKWARDS_READ},
                        {written - 1, EVENTLOG_FORWARDS_READ}};
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (const Seek& seek : seeks) {
    DWORD read = 0;
    DWORD needed = 0;
    ASSERT_TRUE(ReadEventLogA(handle.Get(), EVENTLOG_SEEK_READ | seek.direction, seek.number,
                              buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed));
    ParsedRecord asked;
    ParsedRecord next;
    const DWORD length = GetU32(buffer.data());
    ASSERT_LT(length, read);
    ASSERT_TRUE(ParseAnsiRecord({buffer.data(), length}, asked));
    ASSERT_TRUE(ParseAnsiRecord({buffer.data() + length, GetU32(buffer.data() + length)}, next));
    EXPECT_TRUE(matches(asked, seek.number)) << seek.number;
    EXPECT_TRUE(matches(
        next, seek.direction == EVENTLOG_FORWARDS_READ ? seek.number + 1 : seek.number - 1));
  }
  auto object =
      FindHandle(handle.Get(), EventLogObject::Kind::kBackup, EventLogObject::Kind::kBackup);
  ASSERT_TRUE(object);
  EXPECT_LE(object->modern->DecodedChunks(), evtx::ChunkCache::kCapacity);

  EventLogHandle cut = open();
  std::filesystem::resize_file(net_.Drive("SRV01", 'D') / "EvtBak" / "wrapped.evtx",
                               evtx::kFileHeaderBlock + evtx::kChunkSize + 100);
  DWORD error = ERROR_SUCCESS;
  const std::vector<ParsedRecord> kept = ReadAll(cut.Get(), EVENTLOG_FORWARDS_READ, &error);
  EXPECT_EQ(error, ERROR_EVENTLOG_FILE_CORRUPT);
  ASSERT_LT(kept.size(), forwards.size());
  for (DWORD i = 0; i < kept.size(); ++i) EXPECT_TRUE(matches(kept[i], first + i));
}

}  // namespace
}  // namespace tamsel::platform::eventlog
