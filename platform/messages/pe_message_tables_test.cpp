// Tests of the PE reader: DLLs compiled from .mc sources (PE32+ and PE32), hand-built images,
// and corrupt headers, trees and tables.

#include "platform/messages/pe_message_tables.h"

#include <gtest/gtest.h>

#include "platform/messages/message_module.h"
#include "platform/messages/test_images.h"

namespace tamsel::platform::messages {
namespace {

using testing::BuildMessageTable;
using testing::BuildPeImage;
using testing::Bytes;
using testing::PeImage;
using testing::PutU16;
using testing::PutU32;

Win32Error Read(const Bytes& bytes, ModuleTables& tables) {
  MemoryByteSource source(bytes);
  return ReadPeMessageTables(source, tables);
}

Win32Error ReadFile(const char* path, ModuleTables& tables) {
  FileByteSource source;
  Win32Error error = source.Open(path);
  return error != ERROR_SUCCESS ? error : ReadPeMessageTables(source, tables);
}

std::string Find(const ModuleTables& tables, std::size_t language, std::uint32_t id) {
  std::string text;
  EXPECT_EQ(tables.tables.at(language).table.Find(id, text), ERROR_SUCCESS);
  return text;
}

TEST(PeMessageTablesTest, ReadsCompiledDllsOfBothImageKinds) {
  for (const char* path : {SAMPLE_DLL, SAMPLE_PE32_DLL, SAMPLE_ANSI_DLL}) {
    SCOPED_TRACE(path);
    ModuleTables tables;
    ASSERT_EQ(ReadFile(path, tables), ERROR_SUCCESS);
    ASSERT_EQ(tables.tables.size(), 2u);
    // The resource compiler sorts languages by id: German (0x0407) first.
    EXPECT_EQ(tables.tables[0].language, 0x0407);
    EXPECT_EQ(tables.tables[1].language, 0x0409);
    EXPECT_EQ(Find(tables, 1, 1), "General\r\n");
    EXPECT_EQ(Find(tables, 1, 0x4FFF0064),
              "Collection pass finished: %1 server(s), %2 record(s).\r\n");
    EXPECT_EQ(Find(tables, 1, 0xC0000065), "Cannot open log %1 on %2.\r\nReason: %3\r\n");
    EXPECT_EQ(Find(tables, 0, 1003), "Gr\u00F6\u00DFe: %1 \u20AC \u2014 ok\r\n");
  }
}

TEST(PeMessageTablesTest, HandBuiltImagesOfBothKinds) {
  for (bool pe32Plus : {false, true}) {
    PeImage image = BuildPeImage(pe32Plus, {{0x0409, BuildMessageTable({{5, "five"}})}});
    ModuleTables tables;
    ASSERT_EQ(Read(image.bytes, tables), ERROR_SUCCESS);
    ASSERT_EQ(tables.tables.size(), 1u);
    EXPECT_EQ(Find(tables, 0, 5), "five");
  }
}

TEST(PeMessageTablesTest, MissingPiecesLoadButSayWhatIsMissing) {
  PeImage image = BuildPeImage(true, {{0x0409, BuildMessageTable({{5, "five"}})}});
  const std::size_t resourceDirectory = image.optionalHeader + 112 + 16;
  ModuleTables tables;

  Bytes noResources = image.bytes;
  PutU32(noResources, resourceDirectory, 0);
  EXPECT_EQ(Read(noResources, tables), ERROR_SUCCESS);
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes otherType = image.bytes;
  PutU32(otherType, image.resources + 16, 6);  // RT_STRING instead of RT_MESSAGETABLE
  EXPECT_EQ(Read(otherType, tables), ERROR_SUCCESS);
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_TYPE_NOT_FOUND);

  Bytes otherName = image.bytes;
  PutU32(otherName, image.resources + image.nameDirectory + 16, 2);
  EXPECT_EQ(Read(otherName, tables), ERROR_SUCCESS);
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_NAME_NOT_FOUND);

  PeImage empty = BuildPeImage(true, {});
  EXPECT_EQ(Read(empty.bytes, tables), ERROR_SUCCESS);
  EXPECT_EQ(tables.missing, ERROR_RESOURCE_LANG_NOT_FOUND);
}

TEST(PeMessageTablesTest, CorruptHeadersAreNoImage) {
  const PeImage image = BuildPeImage(true, {{0x0409, BuildMessageTable({{5, "five"}})}});
  ModuleTables tables;
  EXPECT_EQ(Read(Bytes{'M', 'Z'}, tables), ERROR_BAD_EXE_FORMAT);

  Bytes peOffsetOutside = image.bytes;
  PutU32(peOffsetOutside, 0x3C, 0x7FFFFFF0);
  EXPECT_EQ(Read(peOffsetOutside, tables), ERROR_BAD_EXE_FORMAT);

  Bytes badSignature = image.bytes;
  badSignature[0x81] = 'X';
  EXPECT_EQ(Read(badSignature, tables), ERROR_BAD_EXE_FORMAT);

  Bytes badMagic = image.bytes;
  PutU16(badMagic, image.optionalHeader, 0x107);
  EXPECT_EQ(Read(badMagic, tables), ERROR_BAD_EXE_FORMAT);

  Bytes manySections = image.bytes;
  PutU16(manySections, 0x86, 0xFFFF);  // section table far past the end of the file
  EXPECT_EQ(Read(manySections, tables), ERROR_BAD_EXE_FORMAT);

  Bytes sectionOutside = image.bytes;
  PutU32(sectionOutside, image.sectionTable + 20, 0x7FFFFFFF);  // raw data past the end
  EXPECT_EQ(Read(sectionOutside, tables), ERROR_BAD_EXE_FORMAT);

  // Truncated anywhere inside the headers or the resource section: never a read outside.
  for (std::size_t size = 0; size < image.bytes.size(); size += 7) {
    Bytes truncated(image.bytes.begin(), image.bytes.begin() + size);
    Win32Error error = Read(truncated, tables);
    EXPECT_TRUE(error == ERROR_BAD_EXE_FORMAT || error == ERROR_RESOURCE_DATA_NOT_FOUND) << size;
  }
}

TEST(PeMessageTablesTest, CorruptResourceTreesFailToLoad) {
  const PeImage image = BuildPeImage(true, {{0x0409, BuildMessageTable({{5, "five"}})}});
  const std::size_t tree = image.resources;
  ModuleTables tables;

  Bytes typeOutside = image.bytes;
  PutU32(typeOutside, tree + 20, 0x80000000 | 0x00FFFFF0);
  EXPECT_EQ(Read(typeOutside, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes entriesOutside = image.bytes;
  PutU16(entriesOutside, tree + 14, 0xFFFF);  // more entries than the section holds
  EXPECT_EQ(Read(entriesOutside, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes leafAsType = image.bytes;
  PutU32(leafAsType, tree + 20, 0x18);  // a leaf where the name level belongs
  EXPECT_EQ(Read(leafAsType, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes cycleToRoot = image.bytes;  // the name level points back at the type level
  PutU32(cycleToRoot, tree + image.nameDirectory + 20, 0x80000000);
  EXPECT_EQ(Read(cycleToRoot, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes selfLoop = image.bytes;  // the name directory points at itself
  PutU32(selfLoop, tree + image.nameDirectory + 20, 0x80000000 | image.nameDirectory);
  EXPECT_EQ(Read(selfLoop, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes directoryAsLeaf = image.bytes;
  PutU32(directoryAsLeaf, tree + image.languageDirectory + 20, 0x80000000 | 0x30);
  EXPECT_EQ(Read(directoryAsLeaf, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes dataOutside = image.bytes;
  PutU32(dataOutside, tree + image.firstDataEntry, 0x00F00000);  // RVA in no section
  EXPECT_EQ(Read(dataOutside, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes dataTooLong = image.bytes;
  PutU32(dataTooLong, tree + image.firstDataEntry + 4, 0xFFFFFFFF);
  EXPECT_EQ(Read(dataTooLong, tables), ERROR_RESOURCE_DATA_NOT_FOUND);

  Bytes badTable = image.bytes;  // the table claims 1000 blocks
  std::uint32_t dataRva = 0;
  MemoryByteSource(image.bytes).ReadU32(tree + image.firstDataEntry, dataRva);
  PutU32(badTable, tree + (dataRva - image.resourceRva), 1000);
  EXPECT_EQ(Read(badTable, tables), ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_TRUE(tables.tables.empty());
}

}  // namespace
}  // namespace tamsel::platform::messages
