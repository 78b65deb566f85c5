// ELF section headers and our message table section.

#include "platform/messages/elf_message_tables.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace tamsel::platform::messages {
namespace {

constexpr std::uint8_t kElfClass32 = 1;
constexpr std::uint8_t kElfClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint32_t kSectionNoBits = 8;       // SHT_NOBITS
constexpr std::uint16_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX
constexpr std::size_t kBlockHeader = 16;
constexpr std::size_t kLanguageRecord = 12;

struct SectionHeader {
  std::uint32_t name = 0;
  std::uint32_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

// Field positions of the two ELF classes.
struct Layout {
  bool is64;
  std::uint64_t FieldShoff() const { return is64 ? 0x28 : 0x20; }
  std::uint64_t FieldShentsize() const { return is64 ? 0x3A : 0x2E; }
  std::uint64_t FieldShnum() const { return is64 ? 0x3C : 0x30; }
  std::uint64_t FieldShstrndx() const { return is64 ? 0x3E : 0x32; }
  std::size_t HeaderSize() const { return is64 ? 64 : 40; }
};

bool ReadWord(const ByteSource& source, const Layout& layout, std::uint64_t at,
              std::uint64_t& value) {
  if (layout.is64) return source.ReadU64(at, value);
  std::uint32_t small = 0;
  if (!source.ReadU32(at, small)) return false;
  value = small;
  return true;
}

bool ReadSectionHeader(const ByteSource& source, const Layout& layout, std::uint64_t at,
                       SectionHeader& header) {
  // sh_name, sh_type, sh_flags, sh_addr, sh_offset, sh_size, sh_link
  const std::uint64_t word = layout.is64 ? 8 : 4;
  return source.ReadU32(at, header.name) && source.ReadU32(at + 4, header.type) &&
         ReadWord(source, layout, at + 8 + 2 * word, header.offset) &&
         ReadWord(source, layout, at + 8 + 3 * word, header.size) &&
         source.ReadU32(at + 8 + 4 * word, header.link);
}

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// One block of the section; false when it is corrupt.
bool ParseBlock(std::span<const std::uint8_t> block, ModuleTables& tables) {
  const std::uint32_t count = U32At(block, 12);
  if (count > (block.size() - kBlockHeader) / kLanguageRecord) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = kBlockHeader + i * kLanguageRecord;
    const std::uint32_t language = U32At(block, at);
    const std::uint64_t offset = U32At(block, at + 4);
    const std::uint64_t size = U32At(block, at + 8);
    if (language > 0xFFFF || offset > block.size() || size > block.size() - offset) return false;
    LanguageTable table;
    table.language = static_cast<LANGID>(language);
    auto bytes = block.subspan(offset, size);
    if (!MessageTable::Parse(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), table.table)) {
      return false;
    }
    tables.tables.push_back(std::move(table));
  }
  return true;
}

}  // namespace

Win32Error ParseMessageTableSection(std::span<const std::uint8_t> section, ModuleTables& tables) {
  tables = ModuleTables{};
  const std::size_t magicSize = sizeof kMessageTableMagic - 1;
  std::size_t at = 0;
  while (at < section.size()) {
    if (section[at] == 0) {  // padding between the blocks of several objects
      ++at;
      continue;
    }
    if (section.size() - at < kBlockHeader ||
        std::memcmp(section.data() + at, kMessageTableMagic, magicSize) != 0) {
      tables = ModuleTables{};
      return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    const std::uint32_t blockSize = U32At(section, at + 8);
    if (blockSize < kBlockHeader || blockSize > section.size() - at ||
        !ParseBlock(section.subspan(at, blockSize), tables)) {
      tables = ModuleTables{};
      return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    at += blockSize;
  }
  if (tables.tables.empty()) tables.missing = ERROR_RESOURCE_LANG_NOT_FOUND;
  return ERROR_SUCCESS;
}

Win32Error ReadElfMessageTables(const ByteSource& source, ModuleTables& tables) {
  tables = ModuleTables{};
  std::uint8_t ident[16];
  if (!source.Read(0, ident, sizeof ident) ||
      std::memcmp(ident,
                  "\x7f"
                  "ELF",
                  4) != 0 ||
      (ident[4] != kElfClass32 && ident[4] != kElfClass64) || ident[5] != kLittleEndian) {
    return ERROR_BAD_EXE_FORMAT;
  }
  const Layout layout{ident[4] == kElfClass64};
  std::uint64_t sectionTable = 0;
  std::uint16_t entrySize = 0, count = 0, namesIndex = 0;
  if (!source.Contains(0, layout.HeaderSize()) ||
      !ReadWord(source, layout, layout.FieldShoff(), sectionTable) ||
      !source.ReadU16(layout.FieldShentsize(), entrySize) ||
      !source.ReadU16(layout.FieldShnum(), count) ||
      !source.ReadU16(layout.FieldShstrndx(), namesIndex)) {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (sectionTable == 0) {
    tables.missing = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return ERROR_SUCCESS;
  }
  const std::size_t minimumEntry = layout.is64 ? 64 : 40;
  SectionHeader first;
  if (entrySize < minimumEntry || !ReadSectionHeader(source, layout, sectionTable, first)) {
    return ERROR_BAD_EXE_FORMAT;
  }
  // Very large tables keep their real count and name-table index in section 0.
  std::uint64_t sectionCount = count == 0 ? first.size : count;
  std::uint64_t namesSection = namesIndex == kExtendedIndex ? first.link : namesIndex;
  if (sectionCount > source.Size() / entrySize ||
      !source.Contains(sectionTable, sectionCount * entrySize) || namesSection >= sectionCount) {
    return ERROR_BAD_EXE_FORMAT;
  }
  SectionHeader names;
  if (!ReadSectionHeader(source, layout, sectionTable + namesSection * entrySize, names) ||
      names.type == kSectionNoBits || !source.Contains(names.offset, names.size)) {
    return ERROR_BAD_EXE_FORMAT;
  }

  const std::string_view wanted(kMessageTableSection);
  std::vector<char> name(wanted.size() + 1);
  for (std::uint64_t i = 0; i < sectionCount; ++i) {
    SectionHeader header;
    if (!ReadSectionHeader(source, layout, sectionTable + i * entrySize, header)) {
      return ERROR_BAD_EXE_FORMAT;
    }
    if (header.type == kSectionNoBits || header.name >= names.size ||
        names.size - header.name < name.size() ||
        !source.Read(names.offset + header.name, name.data(), name.size()) ||
        std::string_view(name.data(), wanted.size()) != wanted || name.back() != '\0') {
      continue;
    }
    std::vector<std::uint8_t> bytes;
    if (!source.ReadBytes(header.offset, header.size, bytes)) return ERROR_RESOURCE_DATA_NOT_FOUND;
    return ParseMessageTableSection(bytes, tables);
  }
  tables.missing = ERROR_RESOURCE_TYPE_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace tamsel::platform::messages
