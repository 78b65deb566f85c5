// Tests of the .evtx reader on files written byte by byte: the format's worked example, every
// value type, substitutions, template reuse, order, and damaged files.
#include "platform/eventlog/evtx_records.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/evtx_test_builder.h"

namespace tamsel::platform::eventlog::evtx {
namespace {

using namespace testsupport;

constexpr std::uint64_t kFileTime2024 = 0x01DA3D2858950BC0ULL;  // 2024-01-02T03:04:05.5Z
constexpr std::uint32_t kUnix2024 = 1704164645;

struct ReadResult {
  std::vector<ParsedRecord> records;
  std::uint32_t skipped = 0;
};

ReadResult Read(const Bytes& file) {
  EvtxRecords decoded;
  ReadResult result;
  EXPECT_EQ(decoded.Decode(file), ERROR_SUCCESS);
  for (std::size_t i = 0; i < decoded.Count(); ++i) {
    ParsedRecord record;
    EXPECT_TRUE(ParseAnsiRecord(decoded.Record(i), record));
    result.records.push_back(record);
  }
  result.skipped = decoded.Skipped();
  return result;
}

// <Event><System>provider, event id, level, task, keywords, time, computer, user</System>
// <EventData><Data>%11</Data><Binary>%12</Binary></EventData></Event>
Node ClassicTemplate() {
  Node provider{"Provider", {{"Name", {Sub(0, 1)}}, {"EventSourceName", {Opt(1, 1)}}}};
  provider.empty = true;
  Node eventId{"EventID", {{"Qualifiers", {Opt(2, 6)}}}, {Sub(3, 6)}};
  Node time{"TimeCreated", {{"SystemTime", {Sub(7, 0x11)}}}};
  time.empty = true;
  Node security{"Security", {{"UserID", {Opt(10, 0x13)}}}};
  security.empty = true;
  Node system{"System",
              {},
              {Child(provider), Child(eventId), Child(Node{"Level", {}, {Sub(4, 4)}}),
               Child(Node{"Task", {}, {Sub(5, 6)}}), Child(Node{"Keywords", {}, {Sub(6, 0x15)}}),
               Child(time), Child(Node{"EventRecordID", {}, {Sub(8, 0x0A)}}),
               Child(Node{"Channel", {}, {Lit("Application")}}),
               Child(Node{"Computer", {}, {Sub(9, 1)}}), Child(security)}};
  Node data{"EventData",
            {},
            {Child(Node{"Data", {}, {Opt(11, 0x81)}}), Child(Node{"Binary", {}, {Opt(12, 0x0E)}})}};
  return Node{"Event", {}, {Child(system), Child(data)}};
}

TestValue Strings(const std::vector<std::string>& texts) {
  TestValue value{0x81, {}};
  for (const std::string& text : texts) {
    Bytes units = Utf16(text);
    value.bytes.insert(value.bytes.end(), units.begin(), units.end());
    value.bytes.insert(value.bytes.end(), {0, 0});
  }
  return value;
}

TestValue Sid18() { return {0x13, {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}}; }

std::vector<TestValue> ClassicValues(std::uint16_t id, std::vector<std::string> strings,
                                     std::uint8_t level = 4, std::uint64_t keywords = 0) {
  return {Text("Service Control Manager"),
          Text("ClassicSource"),
          Number<std::uint16_t>(6, 0x4000),
          Number<std::uint16_t>(6, id),
          Number<std::uint8_t>(4, level),
          Number<std::uint16_t>(6, 7),
          Number<std::uint64_t>(0x15, keywords),
          Number<std::uint64_t>(0x11, kFileTime2024),
          Number<std::uint64_t>(0x0A, 1),
          Text("SRV01.example"),
          Sid18(),
          strings.empty() ? Null() : Strings(strings),
          {0x0E, {0xDE, 0xAD}}};
}

TEST(EvtxRecordsTest, WorkedExampleOfTheFormatReference) {
  // The two records of the reference's example, built by the test builder, must come out as
  // its bytes and read as its classic event ids.
  Node eventId{"EventID", {{"Qualifiers", {Opt(1, 6)}}}, {Sub(0, 6)}};
  Node root{"Event", {}, {Child(eventId)}};
  ChunkBuilder chunk;
  chunk.AddRecord(1, kFileTime2024, "t", root,
                  {Number<std::uint16_t>(6, 7036), Number<std::uint16_t>(6, 16384)});
  chunk.AddRecord(2, kFileTime2024, "t", root, {Number<std::uint16_t>(6, 1000), Null()});
  Bytes bytes = chunk.Finish();
  const Bytes expected = {0x0F, 0x01, 0x01, 0x00, 0x0C, 0x01, 0x4D, 0x3C, 0x2B,
                          0x1A, 0x26, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 0x218));
  EXPECT_EQ(U32(&bytes[0x204]), 0xD0u);
  EXPECT_EQ(U16(&bytes[0x24D + 4]), 0x0CBA);  // hash of "Event"
  EXPECT_EQ(chunk.RecordOffset(1), 0x2D0u);

  ReadResult result = Read(EvtxFile({bytes}));
  ASSERT_EQ(result.records.size(), 2u);
  EXPECT_EQ(result.records[0].eventId, 0x40001B7Cu);
  EXPECT_EQ(result.records[1].eventId, 1000u);
  EXPECT_EQ(result.records[0].timeGenerated, kUnix2024);  // from the header's written time
  EXPECT_EQ(result.skipped, 0u);
}

TEST(EvtxRecordsTest, ClassicShapeOfAModernEvent) {
  ChunkBuilder chunk;
  chunk.AddRecord(41, kFileTime2024 + 20000000, "classic", ClassicTemplate(),
                  ClassicValues(7036, {"first", "", "third"}, 2));
  ReadResult result = Read(EvtxFile({chunk.Finish()}));
  ASSERT_EQ(result.records.size(), 1u);
  const ParsedRecord& record = result.records[0];
  EXPECT_EQ(record.recordNumber, 41u);
  EXPECT_EQ(record.eventId, 0x40001B7Cu);
  EXPECT_EQ(record.eventType, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(record.category, 7);
  EXPECT_EQ(record.timeGenerated, kUnix2024);
  EXPECT_EQ(record.timeWritten, kUnix2024 + 2);
  EXPECT_EQ(record.source, "ClassicSource");
  EXPECT_EQ(record.computer, "SRV01.example");
  EXPECT_EQ(record.userSid, Sid18().bytes);
  EXPECT_EQ(record.strings, (std::vector<std::string>{"first", "", "third"}));
  EXPECT_EQ(record.data, (Bytes{0xDE, 0xAD}));
}

TEST(EvtxRecordsTest, TypeSourceAndOptionalFields) {
  struct Case {
    std::uint8_t level;
    std::uint64_t keywords;
    bool sourceName;
    std::uint16_t type;
  };
  const Case cases[] = {
      {0, 0x0020000000000000ULL, true, EVENTLOG_AUDIT_SUCCESS},
      {0, 0x0010000000000000ULL, true, EVENTLOG_AUDIT_FAILURE},
      {1, 0, true, EVENTLOG_ERROR_TYPE},
      {3, 0x0080000000000000ULL, false, EVENTLOG_WARNING_TYPE},
      {4, 0, false, EVENTLOG_INFORMATION_TYPE},
      {5, 0, true, EVENTLOG_INFORMATION_TYPE},
  };
  ChunkBuilder chunk;
  std::uint64_t id = 1;
  for (const Case& c : cases) {
    std::vector<TestValue> values = ClassicValues(100, {}, c.level, c.keywords);
    if (!c.sourceName) values[1] = Null();
    values[2] = Null();   // no qualifiers: a manifest provider
    values[10] = Null();  // no user
    values[12] = Null();  // no binary data
    chunk.AddRecord(id++, kFileTime2024, "classic", ClassicTemplate(), values);
  }
  ReadResult result = Read(EvtxFile({chunk.Finish()}));
  ASSERT_EQ(result.records.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ParsedRecord& record = result.records[i];
    EXPECT_EQ(record.eventType, cases[i].type) << i;
    EXPECT_EQ(record.source, cases[i].sourceName ? "ClassicSource" : "Service Control Manager");
    EXPECT_EQ(record.eventId, 100u);
    EXPECT_TRUE(record.userSid.empty());
    EXPECT_TRUE(record.strings.empty());  // optional Null: the Data element is left out
    EXPECT_TRUE(record.data.empty());
  }
}

TEST(EvtxRecordsTest, EveryValueTypeAsInsertionString) {
  struct Case {
    TestValue value;
    std::vector<std::string> strings;
  };
  Bytes guid = {0x4D, 0x3C, 0x2B, 0x1A, 0x6F, 0x5E, 0x0B, 0x4A,
                0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D};
  Bytes systemTime = {0xE8, 0x07, 1, 0, 2, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0xF4, 0x01};
  const Case cases[] = {
      {Text("text"), {"text"}},
      {{0x01, {'a', 0, 0xE9, 0, 0, 0}}, {"a\xC3\xA9"}},  // trailing NUL dropped
      {{0x02, {'a', 'n', 's', 'i', 0}}, {"ansi"}},
      {Number<std::int8_t>(0x03, -5), {"-5"}},
      {Number<std::uint8_t>(0x04, 250), {"250"}},
      {Number<std::int16_t>(0x05, -300), {"-300"}},
      {Number<std::uint16_t>(0x06, 65535), {"65535"}},
      {Number<std::int32_t>(0x07, -70000), {"-70000"}},
      {Number<std::uint32_t>(0x08, 4000000000U), {"4000000000"}},
      {Number<std::int64_t>(0x09, -5000000000LL), {"-5000000000"}},
      {Number<std::uint64_t>(0x0A, 18000000000000000000ULL), {"18000000000000000000"}},
      {Number<float>(0x0B, 1.5f), {"1.5"}},
      {Number<double>(0x0C, -0.25), {"-0.25"}},
      {Number<std::uint32_t>(0x0D, 1), {"true"}},
      {{0x0E, {0x0A, 0xBC}}, {"0ABC"}},
      {{0x0F, guid}, {"{1A2B3C4D-5E6F-4A0B-8C9D-0E1F2A3B4C5D}"}},
      {Number<std::uint64_t>(0x10, 0x1000), {"0x1000"}},
      {Number<std::uint64_t>(0x11, kFileTime2024), {"2024-01-02T03:04:05.5000000Z"}},
      {{0x12, systemTime}, {"2024-01-02T03:04:05.5000000Z"}},
      {Sid18(), {"S-1-5-18"}},
      {Number<std::uint32_t>(0x14, 0x3E7), {"0x3e7"}},
      {Number<std::uint64_t>(0x15, 0), {"0x0"}},
      {Null(), {""}},  // a normal substitution of Null renders as empty text
      {Strings({"x", "", "z"}), {"x", "", "z"}},  // the element repeats per item
      {{0x86, {1, 0, 2, 0}}, {"1", "2"}},
  };
  ChunkBuilder chunk;
  std::uint64_t id = 1;
  for (const Case& c : cases) {
    Node data{"Data", {{"Name", {Lit("param1")}}}, {Sub(0, c.value.type)}};
    Node root{"Event", {}, {Child(Node{"EventData", {}, {Child(data)}})}};
    chunk.AddRecord(id++, kFileTime2024, "type" + std::to_string(c.value.type), root, {c.value});
  }
  ReadResult result = Read(EvtxFile({chunk.Finish()}));
  ASSERT_EQ(result.records.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(result.records[i].strings, cases[i].strings) << "case " << i;
  }
}

TEST(EvtxRecordsTest, UserDataNestedXmlDependenciesAndPlainElements) {
  ChunkBuilder chunk;
  // A template used only as nested binary XML: <Data>%0</Data><Data>%1</Data>.
  Node inner{"EventData",
             {},
             {Child(Node{"Data", {}, {Sub(0, 1)}}), Child(Node{"Data", {}, {Sub(1, 8)}})}};
  chunk.AddRecord(1, kFileTime2024, "inner", Node{"Event", {}, {Child(inner)}},
                  {Text("a"), Number<std::uint32_t>(8, 1)});
  Bytes nested = chunk.NestedInstance("inner", {Text("nested"), Number<std::uint32_t>(8, 42)});
  Node user{
      "LogFileCleared",
      {{"xmlns", {Lit("http://manifests")}}, {"Reason", {Sub(1, 1)}}},
      {Child(Node{"SubjectUserName", {}, {Sub(2, 1)}}), Child(Node{"Gone", {}, {Sub(3, 1)}, 3})}};
  Node outer{
      "Event",
      {},
      {Child(Node{"UserData", {}, {Child(user)}}), Child(Node{"EventData", {}, {Sub(0, 0x21)}})}};
  chunk.AddRecord(2, kFileTime2024, "outer", outer,
                  {{0x21, nested}, Text("backup"), Text("admin"), Null()});
  Node plain{
      "Event",
      {},
      {Child(
          Node{"EventData", {}, {Child(Node{"Data", {}, {Lit("a"), Entity("amp"), Lit("b")}})}})}};
  chunk.AddPlainRecord(3, kFileTime2024, plain);
  ReadResult result = Read(EvtxFile({chunk.Finish()}));
  ASSERT_EQ(result.records.size(), 3u);
  EXPECT_EQ(result.records[1].strings,
            (std::vector<std::string>{"backup", "admin", "nested", "42"}));
  EXPECT_EQ(result.records[2].strings, (std::vector<std::string>{"a&b"}));
}

TEST(EvtxRecordsTest, NestedXmlUsedOverAndOverIsBounded) {
  // Each level's value holds the next, and each is used eight times: 8^15 uses in all.
  std::vector<Content> eight(8, Sub(0, 0x21));
  Node fan{"EventData", {}, eight};
  ChunkBuilder chunk;
  chunk.AddRecord(1, kFileTime2024, "fan", fan, {Text("leaf")});
  TestValue value = Text("leaf");
  for (int level = 0; level < 15; ++level) value = {0x21, chunk.NestedInstance("fan", {value})};
  chunk.AddRecord(2, kFileTime2024, "fan", fan, {value});
  chunk.AddRecord(3, kFileTime2024, "fan", fan, {Text("leaf")});
  ReadResult result = Read(EvtxFile({chunk.Finish()}));
  ASSERT_EQ(result.records.size(), 2u);
  EXPECT_EQ(result.records[1].recordNumber, 3u);
  EXPECT_EQ(result.skipped, 1u);
}

TEST(EvtxRecordsTest, TemplatesReusedAcrossRecordsAndChunksInIdentifierOrder) {
  // A wrapped log: the newest chunk lies physically first.
  ChunkBuilder newer(4);
  ChunkBuilder older(1);
  for (std::uint64_t id = 1; id <= 3; ++id) {
    older.AddRecord(id, kFileTime2024, "classic", ClassicTemplate(),
                    ClassicValues(static_cast<std::uint16_t>(id), {"r" + std::to_string(id)}));
  }
  for (std::uint64_t id = 4; id <= 5; ++id) {
    newer.AddRecord(id, kFileTime2024, "classic", ClassicTemplate(),
                    ClassicValues(static_cast<std::uint16_t>(id), {"r" + std::to_string(id)}));
  }
  ReadResult result = Read(EvtxFile({newer.Finish(), older.Finish()}, kFileDirty, 2));
  ASSERT_EQ(result.records.size(), 5u);
  for (std::uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(result.records[i].recordNumber, i + 1);
    EXPECT_EQ(result.records[i].eventId & 0xFFFF, i + 1);
    EXPECT_EQ(result.records[i].strings, (std::vector<std::string>{"r" + std::to_string(i + 1)}));
  }
}

TEST(EvtxRecordsTest, DamagedFilesKeepEveryRecordThatCanBeTrusted) {
  auto threeChunks = [] {
    std::vector<Bytes> chunks;
    std::uint64_t id = 1;
    for (int c = 0; c < 3; ++c) {
      ChunkBuilder chunk(id);
      for (int r = 0; r < 4; ++r, ++id) {
        chunk.AddRecord(id, kFileTime2024, "classic", ClassicTemplate(),
                        ClassicValues(static_cast<std::uint16_t>(id), {"x"}));
      }
      chunk.AddRecordWithTemplateAt(id, 0x8000);  // its template is not there
      ++id;
      chunks.push_back(chunk.Finish());
    }
    return chunks;
  };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::size_t kept;
    std::uint32_t skipped;
  };
  const std::uint32_t second = kFileHeaderBlock + kChunkSize;
  const Case cases[] = {
      {"intact apart from missing templates", [](Bytes&) {}, 12, 3},
      {"bad chunk signature", [&](Bytes& f) { f[second] = 'X'; }, 8, 7},
      {"bad chunk header checksum", [&](Bytes& f) { f[second + 0x40] ^= 1; }, 12, 3},
      {"record torn: bad data checksum and size copy",
       [&](Bytes& f) { f[second + 0x200 + U32(&f[second + 0x204]) - 1] ^= 0x80; }, 11, 4},
      {"dirty header with stale counters",
       [](Bytes& f) {
         auto header = EncodeFileHeader(0, 0, 2, 1, kFileDirty);
         std::copy(header.begin(), header.end(), f.begin());
       },
       12, 3},
      {"bad file header checksum", [](Bytes& f) { f[file_field::kChecksum] ^= 1; }, 12, 3},
      {"truncated after the first record of the last chunk",
       [&](Bytes& f) {
         const std::uint32_t third = second + kChunkSize;
         f.resize(third + 0x200 + U32(&f[third + 0x204]) + 10);
       },
       9, 6},
      {"truncated inside a chunk header", [&](Bytes& f) { f.resize(second + kChunkSize + 0x40); },
       8, 7},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> chunks = threeChunks();
    Bytes file = EvtxFile(chunks);
    c.damage(file);
    ReadResult result = Read(file);
    EXPECT_EQ(result.records.size(), c.kept) << c.name;
    EXPECT_EQ(result.skipped, c.skipped) << c.name;
  }
}

TEST(EvtxRecordsTest, NotAnEvtxFile) {
  EvtxRecords decoded;
  EXPECT_EQ(decoded.Decode(Bytes(100, 0)), ERROR_EVENTLOG_FILE_CORRUPT);
  Bytes header = EvtxFile({});
  header.resize(2000);
  EXPECT_EQ(decoded.Decode(header), ERROR_EVENTLOG_FILE_CORRUPT);
}

}  // namespace
}  // namespace tamsel::platform::eventlog::evtx
