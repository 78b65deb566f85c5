// The .evtx file format: file header, 64 KiB chunks with their string and template tables,
// event records framing binary XML, the CRC-32 that guards headers and record data, and the
// FILETIME clock of its records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tamsel::platform::eventlog::evtx {

inline constexpr std::uint32_t kFileHeaderBlock = 0x1000;  // chunk 0 starts here
inline constexpr std::uint32_t kFileHeaderSize = 0x80;
inline constexpr std::uint32_t kChunkSize = 0x10000;
inline constexpr std::uint32_t kChunkHeaderSize = 0x80;
inline constexpr std::uint32_t kFirstRecordOffset = 0x200;  // after the header and both tables
inline constexpr std::uint32_t kRecordHeaderSize = 0x18;
inline constexpr std::uint32_t kMinRecordSize = kRecordHeaderSize + 4;
inline constexpr std::uint32_t kRecordSignature = 0x00002A2A;
inline constexpr std::uint32_t kFileDirty = 0x1;
inline constexpr std::uint32_t kFileFull = 0x2;

inline constexpr std::string_view kFileSignature{"ElfFile\0", 8};
inline constexpr std::string_view kChunkSignature{"ElfChnk\0", 8};

// File header fields.
namespace file_field {
inline constexpr std::uint32_t kFirstChunk = 0x08;
inline constexpr std::uint32_t kLastChunk = 0x10;
inline constexpr std::uint32_t kNextRecordId = 0x18;
inline constexpr std::uint32_t kHeaderSize = 0x20;
inline constexpr std::uint32_t kMinorVersion = 0x24;
inline constexpr std::uint32_t kMajorVersion = 0x26;
inline constexpr std::uint32_t kBlockSize = 0x28;
inline constexpr std::uint32_t kChunkCount = 0x2A;
inline constexpr std::uint32_t kFlags = 0x78;
inline constexpr std::uint32_t kChecksum = 0x7C;
}  // namespace file_field

// Chunk header fields.
namespace chunk_field {
inline constexpr std::uint32_t kFirstNumber = 0x08;
inline constexpr std::uint32_t kLastNumber = 0x10;
inline constexpr std::uint32_t kFirstId = 0x18;
inline constexpr std::uint32_t kLastId = 0x20;
inline constexpr std::uint32_t kHeaderSize = 0x28;
inline constexpr std::uint32_t kLastRecordOffset = 0x2C;
inline constexpr std::uint32_t kFreeSpaceOffset = 0x30;
inline constexpr std::uint32_t kDataChecksum = 0x34;
inline constexpr std::uint32_t kFlags = 0x78;
inline constexpr std::uint32_t kHeaderChecksum = 0x7C;
}  // namespace chunk_field

std::uint16_t U16(const std::uint8_t* at);
std::uint32_t U32(const std::uint8_t* at);
std::uint64_t U64(const std::uint8_t* at);
void Put16(std::uint8_t* at, std::uint16_t value);
void Put32(std::uint8_t* at, std::uint32_t value);
void Put64(std::uint8_t* at, std::uint64_t value);

// zlib's CRC-32; `crc` continues an earlier result over more bytes.
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc = 0);

// The checksum a file header (its first 120 bytes) and a chunk header (bytes 0-0x77 and both
// tables) carry.
std::uint32_t FileHeaderChecksum(const std::uint8_t* header);
std::uint32_t ChunkHeaderChecksum(const std::uint8_t* chunk);

bool HasFileSignature(std::span<const std::uint8_t> bytes);
bool HasChunkSignature(const std::uint8_t* chunk);

// The hash a name structure carries: h = h * 65599 + unit over the UTF-16 units, low 16 bits.
std::uint16_t NameHash(const std::uint8_t* units, std::size_t count);

// FILETIME (100 ns since 1601) and seconds since 1970; times before 1970 give 0, after 2106
// the largest 32-bit value.
std::uint32_t FileTimeToUnix(std::uint64_t fileTime);
std::uint64_t UnixToFileTime(std::uint32_t seconds);

// A fresh file header for `chunkCount` chunks of which `first` to `last` are in use.
std::array<std::uint8_t, kFileHeaderSize> EncodeFileHeader(std::uint64_t first, std::uint64_t last,
                                                           std::uint64_t nextRecordId,
                                                           std::uint16_t chunkCount,
                                                           std::uint32_t flags);

}  // namespace tamsel::platform::eventlog::evtx
