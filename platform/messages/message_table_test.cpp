// Tests of message table parsing and lookup: blocks, entry kinds, and corrupt tables.

#include "platform/messages/message_table.h"

#include <gtest/gtest.h>

#include "platform/messages/test_images.h"

namespace tamsel::platform::messages {
namespace {

using testing::BuildMessageTable;
using testing::Bytes;
using testing::PutU16;
using testing::PutU32;

std::string Find(const MessageTable& table, std::uint32_t id) {
  std::string text;
  EXPECT_EQ(table.Find(id, text), ERROR_SUCCESS) << id;
  return text;
}

TEST(MessageTableTest, FindsMessagesAcrossBlocks) {
  MessageTable table;
  ASSERT_TRUE(MessageTable::Parse(
      BuildMessageTable({{1, "General\r\n"}, {2, "Network\r\n"}, {0x4FFF0064, "Done %1\r\n"}}),
      table));
  EXPECT_EQ(table.MessageIds(), (std::vector<std::uint32_t>{1, 2, 0x4FFF0064}));
  EXPECT_EQ(Find(table, 1), "General\r\n");
  EXPECT_EQ(Find(table, 2), "Network\r\n");
  EXPECT_EQ(Find(table, 0x4FFF0064), "Done %1\r\n");
  std::string text;
  EXPECT_EQ(table.Find(3, text), ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(table.Find(0x64, text), ERROR_MR_MID_NOT_FOUND);  // severity bits are part of the id
}

TEST(MessageTableTest, ConvertsUnicodeAndWindows1252Entries) {
  MessageTable unicode;
  ASSERT_TRUE(MessageTable::Parse(BuildMessageTable({{7, "wide text"}}, true), unicode));
  EXPECT_EQ(Find(unicode, 7), "wide text");

  MessageTable ansi;
  ASSERT_TRUE(MessageTable::Parse(BuildMessageTable({{1,
                                                      "Gr\xF6\xDF"
                                                      "e \x80"},
                                                     {2,
                                                      "Gr\xC3\xB6\xC3\x9F"
                                                      "e"}}),
                                  ansi));
  EXPECT_EQ(Find(ansi, 1), "Gr\u00F6\u00DFe \u20AC");  // Windows-1252 bytes
  EXPECT_EQ(Find(ansi, 2), "Gr\u00F6\u00DFe");         // already UTF-8
}

TEST(MessageTableTest, UnpairedSurrogateBecomesReplacementCharacter) {
  Bytes table = BuildMessageTable({{1, "ab"}}, true);
  PutU16(table, 4 + 12 + 4, 0xD800);  // first unit of the text
  MessageTable parsed;
  ASSERT_TRUE(MessageTable::Parse(table, parsed));
  EXPECT_EQ(Find(parsed, 1), "\uFFFDb");
}

TEST(MessageTableTest, RejectsCorruptTables) {
  const Bytes good = BuildMessageTable({{1, "one"}, {2, "two"}});
  MessageTable table;
  ASSERT_TRUE(MessageTable::Parse(good, table));

  EXPECT_FALSE(MessageTable::Parse(Bytes{1, 0}, table));  // shorter than the block count
  Bytes tooManyBlocks = good;
  PutU32(tooManyBlocks, 0, 1000);
  EXPECT_FALSE(MessageTable::Parse(tooManyBlocks, table));
  Bytes entriesOutside = good;
  PutU32(entriesOutside, 12, 0xFFFFFFF0);
  EXPECT_FALSE(MessageTable::Parse(entriesOutside, table));
  Bytes shortEntry = good;
  PutU16(shortEntry, 16, 2);  // entry length below its own header: would never advance
  EXPECT_FALSE(MessageTable::Parse(shortEntry, table));
  Bytes longEntry = good;
  PutU16(longEntry, 16, 0xFFF0);
  EXPECT_FALSE(MessageTable::Parse(longEntry, table));
  Bytes reversed = good;
  PutU32(reversed, 4, 5);  // low id above high id
  EXPECT_FALSE(MessageTable::Parse(reversed, table));
  Bytes hugeRange = good;
  PutU32(hugeRange, 8, 0xFFFFFFFF);  // four billion entries claimed in a few bytes
  EXPECT_FALSE(MessageTable::Parse(hugeRange, table));
  Bytes truncated(good.begin(), good.end() - 4);
  EXPECT_FALSE(MessageTable::Parse(truncated, table));
  // The failed parses left the good table in place.
  EXPECT_EQ(Find(table, 2), "two");
}

TEST(MessageTableTest, TextEndsAtItsNulEvenWithoutPadding) {
  Bytes table = BuildMessageTable({{1, "abc"}});
  MessageTable parsed;
  ASSERT_TRUE(MessageTable::Parse(table, parsed));
  EXPECT_EQ(Find(parsed, 1), "abc");
  // No NUL at all inside the entry: the text stops at the entry's end.
  Bytes noNul = table;
  for (std::size_t i = 20; i < noNul.size(); ++i) noNul[i] = 'x';
  ASSERT_TRUE(MessageTable::Parse(noNul, parsed));
  EXPECT_EQ(Find(parsed, 1), "xxxx");
}

}  // namespace
}  // namespace tamsel::platform::messages
