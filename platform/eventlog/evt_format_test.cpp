// Tests of the record encoding: the disk form, its ANSI form and the checks on both.
#include "platform/eventlog/evt_format.h"

#include <gtest/gtest.h>

#include "platform/eventlog/text_conversion.h"

namespace tamsel::platform::eventlog {
namespace {

EventFields Example() {
  EventFields fields;
  fields.source = "App";
  fields.computer = "PC";
  fields.strings = {"x"};
  return fields;
}

TEST(EvtFormatTest, DiskAndAnsiFormsFollowTheWorkedExample) {
  std::vector<std::uint8_t> disk = BuildDiskRecord(Example());
  ASSERT_EQ(disk.size(), 0x50u);
  EXPECT_EQ(GetU32(disk.data() + field::kStringOffset), 0x48u);
  EXPECT_EQ(GetU32(disk.data() + field::kUserSidOffset), 0x48u);
  EXPECT_EQ(GetU32(disk.data() + field::kDataOffset), 0x4Cu);
  EXPECT_EQ(GetU32(disk.data() + 0x4C), 0x50u);
  EXPECT_EQ(disk[0x38], 'A');
  EXPECT_EQ(disk[0x39], 0);

  std::vector<std::uint8_t> ansi;
  ASSERT_EQ(ConvertToAnsi(disk, ansi), ERROR_SUCCESS);
  ASSERT_EQ(ansi.size(), 0x48u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ansi.data()) + 0x38), "App");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ansi.data()) + 0x3C), "PC");
  EXPECT_EQ(GetU32(ansi.data() + field::kStringOffset), 0x40u);
  EXPECT_EQ(GetU32(ansi.data() + field::kDataOffset), 0x42u);
  EXPECT_EQ(GetU32(ansi.data() + 0x44), 0x48u);
}

TEST(EvtFormatTest, AnsiFormKeepsSidStringsAndDataThroughParse) {
  EventFields fields = Example();
  fields.eventId = 0xC0001B58;
  fields.eventType = 2;
  fields.category = 7;
  fields.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  fields.strings = {"a", "", "Grüße €"};
  fields.data = {1, 2, 3, 4, 5};
  std::vector<std::uint8_t> ansi;
  ASSERT_EQ(ConvertToAnsi(BuildDiskRecord(fields), ansi), ERROR_SUCCESS);
  ParsedRecord parsed;
  ASSERT_TRUE(ParseAnsiRecord(ansi, parsed));
  EXPECT_EQ(parsed.eventId, 0xC0001B58u);
  EXPECT_EQ(parsed.eventType, 2);
  EXPECT_EQ(parsed.category, 7);
  EXPECT_EQ(parsed.userSid, fields.userSid);
  EXPECT_EQ(parsed.strings, fields.strings);
  EXPECT_EQ(parsed.data, fields.data);
  EXPECT_EQ(ansi.size() % 4, 0u);
}

TEST(EvtFormatTest, CorruptRecordsAreRefused) {
  std::vector<std::uint8_t> good = BuildDiskRecord(Example());
  std::vector<std::uint8_t> ansi;
  auto corrupt = [&](auto change) {
    std::vector<std::uint8_t> record = good;
    change(record);
    return ConvertToAnsi(record, ansi);
  };
  EXPECT_EQ(corrupt([](auto& r) { PutU32(r.data() + 4, 0); }), ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(corrupt([](auto& r) { PutU32(r.data() + r.size() - 4, 0x44); }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  // Insertion string running into the length copy.
  EXPECT_EQ(corrupt([](auto& r) { PutU32(r.data() + field::kStringOffset, 0x4C); }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(corrupt([](auto& r) { PutU16(r.data() + field::kNumStrings, 40); }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(corrupt([](auto& r) {
              PutU32(r.data() + field::kUserSidLength, 12);
              PutU32(r.data() + field::kUserSidOffset, 0xFFFFFFF8);
            }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(corrupt([](auto& r) {
              PutU32(r.data() + field::kDataLength, 0xFFFFFFFF);
              PutU32(r.data() + field::kDataOffset, 0x10);
            }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  // Source name without its NUL: every byte of the variable part non-zero.
  EXPECT_EQ(corrupt([](auto& r) {
              for (size_t i = 0x38; i < r.size() - 4; ++i) r[i] = 'A';
            }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  // A length of zero for SID and data makes their offsets irrelevant, as real files need.
  EXPECT_EQ(corrupt([](auto& r) { PutU32(r.data() + field::kDataOffset, 0xFFFFFF00); }),
            ERROR_SUCCESS);
}

TEST(EvtFormatTest, Utf16ConversionHandlesPairsAndLoneSurrogates) {
  std::vector<std::uint8_t> units;
  EXPECT_EQ(AppendUtf16Le("a\xF0\x9F\x98\x80", units), 3u);  // U+1F600 takes a pair
  EXPECT_EQ(Utf16LeToAnsi(units.data(), 3), "a\xF0\x9F\x98\x80");
  const std::uint8_t lone[] = {0x00, 0xD8, 'b', 0};
  EXPECT_EQ(Utf16LeToAnsi(lone, 2), "?b");
  units.clear();
  EXPECT_EQ(AppendUtf16Le("\xFF", units), 1u);  // invalid UTF-8 becomes U+FFFD
  EXPECT_EQ(GetU16(units.data()), 0xFFFD);
}

}  // namespace
}  // namespace tamsel::platform::eventlog
