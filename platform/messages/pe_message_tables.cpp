// PE headers and the resource tree down to the message table resources.

#include "platform/messages/pe_message_tables.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tamsel::platform::messages {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr std::uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMessageTableName = 1;

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
};

// Reads by RVA through the section table. A range must lie within one section's raw data:
// resource bytes outside the file are a corrupt image, not zeros.
class ImageReader {
 public:
  ImageReader(const ByteSource& source, std::vector<Section> sections)
      : source_(source), sections_(std::move(sections)) {}

  bool Read(std::uint64_t rva, void* out, std::size_t size) const {
    std::optional<std::uint64_t> offset = FileOffset(rva, size);
    return offset && source_.Read(*offset, out, size);
  }
  bool ReadU32(std::uint64_t rva, std::uint32_t& value) const {
    std::optional<std::uint64_t> offset = FileOffset(rva, 4);
    return offset && source_.ReadU32(*offset, value);
  }
  bool ReadU16(std::uint64_t rva, std::uint16_t& value) const {
    std::optional<std::uint64_t> offset = FileOffset(rva, 2);
    return offset && source_.ReadU16(*offset, value);
  }
  bool ReadBytes(std::uint64_t rva, std::size_t size, std::vector<std::uint8_t>& out) const {
    std::optional<std::uint64_t> offset = FileOffset(rva, size);
    return offset && source_.ReadBytes(*offset, size, out);
  }

 private:
  std::optional<std::uint64_t> FileOffset(std::uint64_t rva, std::uint64_t size) const {
    for (const Section& s : sections_) {
      std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
      if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
      std::uint64_t inSection = rva - s.virtualAddress;
      if (inSection + size > s.rawSize) return std::nullopt;
      return std::uint64_t{s.rawOffset} + inSection;
    }
    return std::nullopt;
  }

  const ByteSource& source_;
  std::vector<Section> sections_;
};

struct ResourceDirectoryEntry {
  std::uint32_t name;
  std::uint32_t offsetToData;
};

// Walks the three levels below the resource directory at `root` (an RVA).
class ResourceTree {
 public:
  ResourceTree(const ImageReader& image, std::uint32_t root) : image_(image), root_(root) {}

  // Entries of the directory at tree offset `offset`; nullopt when it lies outside the image
  // or was visited already on this walk (a cycle).
  std::optional<std::vector<ResourceDirectoryEntry>> Directory(std::uint32_t offset) {
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return {};
    visited_.push_back(offset);
    std::uint64_t rva = std::uint64_t{root_} + offset;
    std::uint16_t named = 0, ids = 0;
    if (!image_.ReadU16(rva + 12, named) || !image_.ReadU16(rva + 14, ids)) return {};
    std::size_t count = std::size_t{named} + ids;
    std::vector<std::uint8_t> raw;
    if (!image_.ReadBytes(rva + 16, count * 8, raw)) return {};
    std::vector<ResourceDirectoryEntry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
      auto u32 = [&raw](std::size_t at) {
        return static_cast<std::uint32_t>(raw[at]) |
               (static_cast<std::uint32_t>(raw[at + 1]) << 8) |
               (static_cast<std::uint32_t>(raw[at + 2]) << 16) |
               (static_cast<std::uint32_t>(raw[at + 3]) << 24);
      };
      entries[i] = {u32(i * 8), u32(i * 8 + 4)};
    }
    return entries;
  }

  const ImageReader& Image() const { return image_; }
  std::uint32_t Root() const { return root_; }

 private:
  const ImageReader& image_;
  std::uint32_t root_;
  std::vector<std::uint32_t> visited_;
};

enum class Step { kFound, kMissing, kCorrupt };

// Finds the subdirectory with integer id `id` among `entries`.
Step FindSubdirectory(const std::vector<ResourceDirectoryEntry>& entries, std::uint16_t id,
                      std::uint32_t& offset) {
  for (const ResourceDirectoryEntry& entry : entries) {
    if ((entry.name & kHighBit) || entry.name != id) continue;
    if (!(entry.offsetToData & kHighBit)) return Step::kCorrupt;  // a leaf where a level belongs
    offset = entry.offsetToData & ~kHighBit;
    return Step::kFound;
  }
  return Step::kMissing;
}

// Reads the leaf at tree offset `offset` and the message table it points at.
bool ReadLeaf(const ResourceTree& tree, std::uint32_t offset, MessageTable& table) {
  std::uint64_t rva = std::uint64_t{tree.Root()} + offset;
  std::uint32_t dataRva = 0, size = 0;
  if (!tree.Image().ReadU32(rva, dataRva) || !tree.Image().ReadU32(rva + 4, size)) return false;
  std::vector<std::uint8_t> bytes;
  if (!tree.Image().ReadBytes(dataRva, size, bytes)) return false;
  return MessageTable::Parse(std::move(bytes), table);
}

// What a step of the tree that found nothing means: a corrupt directory fails the load, a
// missing entry is an image without tables, recorded as `missing`.
Win32Error Unfound(Step step, Win32Error missing, ModuleTables& tables) {
  if (step == Step::kCorrupt) return ERROR_RESOURCE_DATA_NOT_FOUND;
  tables.missing = missing;
  return ERROR_SUCCESS;
}

Win32Error ReadTree(const ImageReader& image, std::uint32_t root, ModuleTables& tables) {
  ResourceTree tree(image, root);
  auto types = tree.Directory(0);
  if (!types) return ERROR_RESOURCE_DATA_NOT_FOUND;
  std::uint32_t namesOffset = 0;
  if (Step step = FindSubdirectory(*types, RT_MESSAGETABLE, namesOffset); step != Step::kFound) {
    return Unfound(step, ERROR_RESOURCE_TYPE_NOT_FOUND, tables);
  }
  auto names = tree.Directory(namesOffset);
  if (!names) return ERROR_RESOURCE_DATA_NOT_FOUND;
  std::uint32_t languagesOffset = 0;
  if (Step step = FindSubdirectory(*names, kMessageTableName, languagesOffset);
      step != Step::kFound) {
    return Unfound(step, ERROR_RESOURCE_NAME_NOT_FOUND, tables);
  }
  auto languages = tree.Directory(languagesOffset);
  if (!languages) return ERROR_RESOURCE_DATA_NOT_FOUND;
  for (const ResourceDirectoryEntry& entry : *languages) {
    if (entry.name & kHighBit) continue;  // languages are ids; a named one is never asked for
    if (entry.offsetToData & kHighBit) return ERROR_RESOURCE_DATA_NOT_FOUND;
    LanguageTable language;
    language.language = static_cast<LANGID>(entry.name);
    if (!ReadLeaf(tree, entry.offsetToData, language.table)) return ERROR_RESOURCE_DATA_NOT_FOUND;
    tables.tables.push_back(std::move(language));
  }
  if (tables.tables.empty()) tables.missing = ERROR_RESOURCE_LANG_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace

Win32Error ReadPeMessageTables(const ByteSource& source, ModuleTables& tables) {
  tables = ModuleTables{};
  std::uint16_t dosMagic = 0;
  std::uint32_t peOffset = 0, signature = 0;
  if (!source.ReadU16(0, dosMagic) || dosMagic != kDosMagic || !source.ReadU32(0x3C, peOffset) ||
      !source.ReadU32(peOffset, signature) || signature != kPeSignature) {
    return ERROR_BAD_EXE_FORMAT;
  }
  const std::uint64_t coff = std::uint64_t{peOffset} + 4;
  std::uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
  if (!source.ReadU16(coff + 2, sectionCount) || !source.ReadU16(coff + 16, optionalSize) ||
      optionalSize < 2 || !source.ReadU16(coff + 20, magic)) {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return ERROR_BAD_EXE_FORMAT;
  const std::uint64_t optional = coff + 20;
  const std::uint32_t countAt = magic == kPe32Magic ? 92 : 108;
  const std::uint32_t directoriesAt = magic == kPe32Magic ? 96 : 112;
  if (countAt + 4 > optionalSize || !source.Contains(optional, optionalSize)) {
    return ERROR_BAD_EXE_FORMAT;
  }

  // The section table follows the optional header, whatever size it declares.
  const std::uint64_t sectionTable = optional + optionalSize;
  std::vector<std::uint8_t> raw;
  if (!source.ReadBytes(sectionTable, std::size_t{sectionCount} * kSectionHeaderSize, raw)) {
    return ERROR_BAD_EXE_FORMAT;
  }
  std::vector<Section> sections;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::uint8_t* h = raw.data() + i * kSectionHeaderSize;
    auto u32 = [h](std::size_t at) {
      return static_cast<std::uint32_t>(h[at]) | (static_cast<std::uint32_t>(h[at + 1]) << 8) |
             (static_cast<std::uint32_t>(h[at + 2]) << 16) |
             (static_cast<std::uint32_t>(h[at + 3]) << 24);
    };
    Section section{u32(12), u32(8), u32(16), u32(20)};
    if (!source.Contains(section.rawOffset, section.rawSize)) return ERROR_BAD_EXE_FORMAT;
    sections.push_back(section);
  }

  std::uint32_t directoryCount = 0, resourceRva = 0;
  source.ReadU32(optional + countAt, directoryCount);
  const std::uint64_t resourceEntry = directoriesAt + kResourceDirectoryIndex * 8;
  if (directoryCount <= kResourceDirectoryIndex || resourceEntry + 8 > optionalSize ||
      !source.ReadU32(optional + resourceEntry, resourceRva) || resourceRva == 0) {
    tables.missing = ERROR_RESOURCE_DATA_NOT_FOUND;
    return ERROR_SUCCESS;
  }
  ImageReader image(source, std::move(sections));
  Win32Error error = ReadTree(image, resourceRva, tables);
  if (error != ERROR_SUCCESS) tables = ModuleTables{};
  return error;
}

}  // namespace tamsel::platform::messages
