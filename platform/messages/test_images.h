// Test support: hand-built message tables, PE32/PE32+ images and ELF images with a message
// table section, with the positions of their structures so tests can corrupt them on purpose.
// Used by the unit tests and to seed the module parser's fuzz target.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// GCC 12 at -O2/-O3 reports writes after vector growth as overflows (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif

namespace tamsel::platform::messages::testing {

using Bytes = std::vector<std::uint8_t>;

// Writes `count` little-endian bytes of `v` at `at`, growing the buffer as needed.
inline void PutLittleEndian(Bytes& b, std::size_t at, std::uint64_t v, std::size_t count) {
  if (b.size() < at + count) b.resize(at + count);
  for (std::size_t i = 0; i < count; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU16(Bytes& b, std::size_t at, std::uint16_t v) { PutLittleEndian(b, at, v, 2); }
inline void PutU32(Bytes& b, std::size_t at, std::uint32_t v) { PutLittleEndian(b, at, v, 4); }
inline void PutU64(Bytes& b, std::size_t at, std::uint64_t v) {
  PutU32(b, at, static_cast<std::uint32_t>(v));
  PutU32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void Align(Bytes& b, std::size_t alignment) {
  while (b.size() % alignment) b.push_back(0);
}

// MESSAGE_RESOURCE_DATA with one block per run of consecutive ids (ids ascending). 8-bit
// entries hold the text as given; UTF-16 entries widen each byte (ASCII texts only).
inline Bytes BuildMessageTable(const std::vector<std::pair<std::uint32_t, std::string>>& messages,
                               bool unicode = false) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;  // [first, last] indexes
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!runs.empty() && messages[i].first == messages[runs.back().second].first + 1) {
      runs.back().second = i;
    } else {
      runs.push_back({i, i});
    }
  }
  Bytes out;
  PutU32(out, 0, static_cast<std::uint32_t>(runs.size()));
  std::size_t entriesAt = 4 + 12 * runs.size();
  out.resize(entriesAt);
  for (std::size_t r = 0; r < runs.size(); ++r) {
    PutU32(out, 4 + 12 * r, messages[runs[r].first].first);
    PutU32(out, 8 + 12 * r, messages[runs[r].second].first);
    PutU32(out, 12 + 12 * r, static_cast<std::uint32_t>(out.size()));
    for (std::size_t i = runs[r].first; i <= runs[r].second; ++i) {
      Bytes text;
      for (char c : messages[i].second) {
        text.push_back(static_cast<std::uint8_t>(c));
        if (unicode) text.push_back(0);
      }
      text.push_back(0);
      if (unicode) text.push_back(0);
      Align(text, 4);
      std::size_t at = out.size();
      PutU16(out, at, static_cast<std::uint16_t>(text.size() + 4));
      PutU16(out, at + 2, unicode ? 1 : 0);
      out.insert(out.end(), text.begin(), text.end());
    }
  }
  return out;
}

struct PeImage {
  Bytes bytes;
  std::size_t optionalHeader = 0;  // file offsets
  std::size_t sectionTable = 0;
  std::size_t resources = 0;  // file offset of the resource directory (tree offset 0)
  std::uint32_t resourceRva = 0;
  std::size_t nameDirectory = 0;  // tree offsets
  std::size_t languageDirectory = 0;
  std::size_t firstDataEntry = 0;
};

// A one-section image (.rsrc) whose resource tree holds RT_MESSAGETABLE / 1 / each language.
inline PeImage BuildPeImage(bool pe32Plus,
                            const std::vector<std::pair<std::uint16_t, Bytes>>& tables) {
  PeImage image;
  Bytes& b = image.bytes;
  b.resize(0x200);
  b[0] = 'M';
  b[1] = 'Z';
  PutU32(b, 0x3C, 0x80);
  std::memcpy(&b[0x80], "PE\0\0", 4);
  const std::uint16_t optionalSize = pe32Plus ? 240 : 224;
  PutU16(b, 0x84, pe32Plus ? 0x8664 : 0x14C);
  PutU16(b, 0x86, 1);
  PutU16(b, 0x94, optionalSize);
  PutU16(b, 0x96, 0x2022);
  image.optionalHeader = 0x98;
  PutU16(b, 0x98, pe32Plus ? 0x20B : 0x10B);
  PutU32(b, 0x98 + (pe32Plus ? 108 : 92), 16);
  image.resourceRva = 0x1000;
  image.resources = 0x200;
  image.sectionTable = 0x98 + optionalSize;

  // The resource section.
  Bytes r;
  auto directory = [&r](std::size_t at, std::uint16_t ids) {
    r.resize(at + 16);
    PutU16(r, at + 14, ids);
  };
  directory(0, 1);
  PutU32(r, 16, 11);
  PutU32(r, 20, 0x80000018);
  directory(0x18, 1);
  PutU32(r, 0x28, 1);
  PutU32(r, 0x2C, 0x80000030);
  image.nameDirectory = 0x18;
  image.languageDirectory = 0x30;
  directory(0x30, static_cast<std::uint16_t>(tables.size()));
  std::size_t entries = 0x40;
  std::size_t leaves = entries + 8 * tables.size();
  image.firstDataEntry = leaves;
  std::size_t data = leaves + 16 * tables.size();
  r.resize(data);
  for (std::size_t i = 0; i < tables.size(); ++i) {
    Align(r, 4);
    std::size_t at = r.size();
    r.insert(r.end(), tables[i].second.begin(), tables[i].second.end());
    PutU32(r, entries + 8 * i, tables[i].first);
    PutU32(r, entries + 8 * i + 4, static_cast<std::uint32_t>(leaves + 16 * i));
    PutU32(r, leaves + 16 * i, image.resourceRva + static_cast<std::uint32_t>(at));
    PutU32(r, leaves + 16 * i + 4, static_cast<std::uint32_t>(tables[i].second.size()));
  }
  Align(r, 0x200);

  const std::size_t directories = 0x98 + (pe32Plus ? 112 : 96);
  PutU32(b, directories + 16, image.resourceRva);
  PutU32(b, directories + 20, static_cast<std::uint32_t>(r.size()));
  std::memcpy(&b[image.sectionTable], ".rsrc", 5);
  PutU32(b, image.sectionTable + 8, static_cast<std::uint32_t>(r.size()));
  PutU32(b, image.sectionTable + 12, image.resourceRva);
  PutU32(b, image.sectionTable + 16, static_cast<std::uint32_t>(r.size()));
  PutU32(b, image.sectionTable + 20, 0x200);
  b.insert(b.end(), r.begin(), r.end());
  return image;
}

// The contents of our table section: one block with the given languages.
inline Bytes BuildTableSection(const std::vector<std::pair<std::uint16_t, Bytes>>& tables) {
  Bytes s(16 + 12 * tables.size());
  std::memcpy(s.data(), "TSLMSGT1", 8);
  PutU32(s, 12, static_cast<std::uint32_t>(tables.size()));
  for (std::size_t i = 0; i < tables.size(); ++i) {
    Align(s, 4);
    PutU32(s, 16 + 12 * i, tables[i].first);
    PutU32(s, 20 + 12 * i, static_cast<std::uint32_t>(s.size()));
    PutU32(s, 24 + 12 * i, static_cast<std::uint32_t>(tables[i].second.size()));
    s.insert(s.end(), tables[i].second.begin(), tables[i].second.end());
  }
  Align(s, 8);
  PutU32(s, 8, static_cast<std::uint32_t>(s.size()));
  return s;
}

struct ElfImage {
  Bytes bytes;
  std::size_t sectionHeaders = 0;  // file offset of the section header table
  std::size_t tableSection = 0;    // file offset of the table section's contents
};

// A 64-bit ELF file with sections: null, .shstrtab, and `name` holding `contents`.
inline ElfImage BuildElfImage(const Bytes& contents, const std::string& name = ".tamsel.msgtbl") {
  ElfImage image;
  Bytes& b = image.bytes;
  b.resize(64);
  std::memcpy(b.data(),
              "\x7f"
              "ELF",
              4);
  b[4] = 2;  // 64-bit
  b[5] = 1;  // little-endian
  b[6] = 1;
  PutU16(b, 16, 2);
  PutU16(b, 18, 0x3E);
  PutU32(b, 20, 1);
  PutU16(b, 52, 64);
  std::string names = std::string("\0.shstrtab\0", 11) + name + '\0';
  std::size_t namesAt = b.size();
  b.insert(b.end(), names.begin(), names.end());
  Align(b, 8);
  image.tableSection = b.size();
  b.insert(b.end(), contents.begin(), contents.end());
  Align(b, 8);
  image.sectionHeaders = b.size();
  b.resize(b.size() + 3 * 64);
  auto header = [&b, &image](int index, std::uint32_t nameAt, std::uint32_t type,
                             std::uint64_t offset, std::uint64_t size) {
    std::size_t at = image.sectionHeaders + 64 * index;
    PutU32(b, at, nameAt);
    PutU32(b, at + 4, type);
    PutU64(b, at + 24, offset);
    PutU64(b, at + 32, size);
  };
  header(1, 1, 3, namesAt, names.size());
  header(2, 11, 1, image.tableSection, contents.size());
  PutU64(b, 0x28, image.sectionHeaders);
  PutU16(b, 0x3A, 64);
  PutU16(b, 0x3C, 3);
  PutU16(b, 0x3E, 1);
  return image;
}

}  // namespace tamsel::platform::messages::testing

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
