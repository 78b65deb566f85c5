// Tests of the ELF reader: this test program's own table section (embedded from
// testdata/service_events.mc by the build), hand-built images and corrupt ones.

#include "platform/messages/elf_message_tables.h"

#include <gtest/gtest.h>

#include "platform/messages/test_images.h"

namespace tamsel::platform::messages {
namespace {

using testing::BuildElfImage;
using testing::BuildMessageTable;
using testing::BuildTableSection;
using testing::Bytes;
using testing::PutU16;
using testing::PutU32;
using testing::PutU64;

Win32Error Read(const Bytes& bytes, ModuleTables& tables) {
  MemoryByteSource source(bytes);
  return ReadElfMessageTables(source, tables);
}

TEST(ElfMessageTablesTest, ReadsTheTableEmbeddedInThisProgram) {
  FileByteSource self;
  ASSERT_EQ(self.Open("/proc/self/exe"), ERROR_SUCCESS);
  ModuleTables tables;
  ASSERT_EQ(ReadElfMessageTables(self, tables), ERROR_SUCCESS);
  ASSERT_EQ(tables.tables.size(), 1u);
  EXPECT_EQ(tables.tables[0].language, 0x0409);
  std::string text;
  ASSERT_EQ(tables.tables[0].table.Find(100, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "The %1 service was installed.\r\n");
  ASSERT_EQ(tables.tables[0].table.Find(105, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "The service was started.\r\n");
  EXPECT_EQ(tables.tables[0].table.Find(102, text), ERROR_MR_MID_NOT_FOUND);
}

TEST(ElfMessageTablesTest, SeveralBlocksAndLanguages) {
  Bytes first = BuildTableSection(
      {{0x0409, BuildMessageTable({{1, "one"}})}, {0x0407, BuildMessageTable({{1, "eins"}})}});
  Bytes second = BuildTableSection({{0x040C, BuildMessageTable({{1, "un"}})}});
  first.insert(first.end(), 8, 0);  // padding the linker may leave between objects
  first.insert(first.end(), second.begin(), second.end());
  ModuleTables tables;
  ASSERT_EQ(Read(BuildElfImage(first).bytes, tables), ERROR_SUCCESS);
  ASSERT_EQ(tables.tables.size(), 3u);
  EXPECT_EQ(tables.tables[1].language, 0x0407);
  EXPECT_EQ(tables.tables[2].language, 0x040C);
}

TEST(ElfMessageTablesTest, ProgramsWithoutTheSectionLoadWithoutTables) {
  ModuleTables tables;
  EXPECT_EQ(Read(BuildElfImage(Bytes{1, 2, 3}, ".data").bytes, tables), ERROR_SUCCESS);
  EXPECT_TRUE(tables.tables.empty());
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_TYPE_NOT_FOUND);
  // A longer name that starts like ours is not ours.
  EXPECT_EQ(Read(BuildElfImage(Bytes{}, ".tamsel.msgtbl2").bytes, tables), ERROR_SUCCESS);
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_TYPE_NOT_FOUND);
}

TEST(ElfMessageTablesTest, CorruptHeadersAreNoImage) {
  const auto image = BuildElfImage(BuildTableSection({{0x0409, BuildMessageTable({{1, "x"}})}}));
  ModuleTables tables;
  ASSERT_EQ(Read(image.bytes, tables), ERROR_SUCCESS);

  Bytes bigEndian = image.bytes;
  bigEndian[5] = 2;
  EXPECT_EQ(Read(bigEndian, tables), ERROR_BAD_EXE_FORMAT);
  Bytes headersOutside = image.bytes;
  PutU64(headersOutside, 0x28, 0xFFFFFFFFFFFFFF00ull);
  EXPECT_EQ(Read(headersOutside, tables), ERROR_BAD_EXE_FORMAT);
  Bytes manyHeaders = image.bytes;
  PutU16(manyHeaders, 0x3C, 0xFFFE);
  EXPECT_EQ(Read(manyHeaders, tables), ERROR_BAD_EXE_FORMAT);
  Bytes smallEntries = image.bytes;
  PutU16(smallEntries, 0x3A, 8);
  EXPECT_EQ(Read(smallEntries, tables), ERROR_BAD_EXE_FORMAT);
  Bytes namesIndexOutside = image.bytes;
  PutU16(namesIndexOutside, 0x3E, 9);
  EXPECT_EQ(Read(namesIndexOutside, tables), ERROR_BAD_EXE_FORMAT);
  Bytes namesOutside = image.bytes;
  PutU64(namesOutside, image.sectionHeaders + 64 + 24, 0x7FFFFFFFFFFFull);
  EXPECT_EQ(Read(namesOutside, tables), ERROR_BAD_EXE_FORMAT);
  for (std::size_t size = 0; size < image.bytes.size(); size += 5) {
    Bytes truncated(image.bytes.begin(), image.bytes.begin() + size);
    Win32Error error = Read(truncated, tables);
    EXPECT_TRUE(error == ERROR_BAD_EXE_FORMAT || error == ERROR_RESOURCE_DATA_NOT_FOUND) << size;
  }
}

TEST(ElfMessageTablesTest, CorruptTableSectionsFailToLoad) {
  const Bytes section = BuildTableSection({{0x0409, BuildMessageTable({{1, "x"}})}});
  ModuleTables tables;
  auto expectCorrupt = [&tables](const Bytes& contents, const char* what) {
    EXPECT_EQ(Read(BuildElfImage(contents).bytes, tables), ERROR_RESOURCE_DATA_NOT_FOUND) << what;
    EXPECT_TRUE(tables.tables.empty()) << what;
  };
  Bytes badMagic = section;
  badMagic[0] = 'X';
  expectCorrupt(badMagic, "magic");
  struct Patch {
    std::size_t offset;
    std::uint32_t value;
    const char* what;
  };
  // Fields of the block: its size at 8, the language count at 12, then the first table's
  // offset at 20, its size at 24 and, inside the table, its block count at 28.
  const Patch patches[] = {
      {8, 0x10000, "block size"},         {8, 4, "block shorter than its header"},
      {12, 0x10000000, "language count"}, {20, 0xFFFFFFF0, "table offset"},
      {24, 0xFFFFFFF0, "table size"},     {28, 5000, "table contents"},
  };
  for (const Patch& patch : patches) {
    Bytes patched = section;
    PutU32(patched, patch.offset, patch.value);
    expectCorrupt(patched, patch.what);
  }
  Bytes garbageAfter = section;
  garbageAfter.push_back(7);
  expectCorrupt(garbageAfter, "bytes after the block");

  auto image = BuildElfImage(section);  // the section itself reaches past the end of the file
  PutU64(image.bytes, image.sectionHeaders + 128 + 32, 0x100000);
  EXPECT_EQ(Read(image.bytes, tables), ERROR_RESOURCE_DATA_NOT_FOUND);
}

}  // namespace
}  // namespace tamsel::platform::messages
