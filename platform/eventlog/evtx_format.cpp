// Byte order, checksums and clocks of the .evtx format.
#include "platform/eventlog/evtx_format.h"

#include <cstring>

namespace tamsel::platform::eventlog::evtx {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kEpochDifference = 11644473600ULL;  // 1601 to 1970, in seconds

std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

const std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t U16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t U32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::uint64_t U64(const std::uint8_t* at) {
  std::uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void Put16(std::uint8_t* at, std::uint16_t value) { std::memcpy(at, &value, sizeof value); }
void Put32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }
void Put64(std::uint8_t* at, std::uint64_t value) { std::memcpy(at, &value, sizeof value); }

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t FileHeaderChecksum(const std::uint8_t* header) {
  return Crc32(header, file_field::kFlags);
}

std::uint32_t ChunkHeaderChecksum(const std::uint8_t* chunk) {
  std::uint32_t crc = Crc32(chunk, chunk_field::kFlags);
  return Crc32(chunk + kChunkHeaderSize, kFirstRecordOffset - kChunkHeaderSize, crc);
}

bool HasFileSignature(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kFileSignature.size() &&
         std::memcmp(bytes.data(), kFileSignature.data(), kFileSignature.size()) == 0;
}

bool HasChunkSignature(const std::uint8_t* chunk) {
  return std::memcmp(chunk, kChunkSignature.data(), kChunkSignature.size()) == 0;
}

std::uint16_t NameHash(const std::uint8_t* units, std::size_t count) {
  std::uint32_t hash = 0;
  for (std::size_t i = 0; i < count; ++i) hash = hash * 65599 + U16(units + 2 * i);
  return static_cast<std::uint16_t>(hash);
}

std::uint32_t FileTimeToUnix(std::uint64_t fileTime) {
  std::uint64_t seconds = fileTime / kTicksPerSecond;
  if (seconds < kEpochDifference) return 0;
  seconds -= kEpochDifference;
  return seconds > 0xFFFFFFFFULL ? 0xFFFFFFFFU : static_cast<std::uint32_t>(seconds);
}

std::uint64_t UnixToFileTime(std::uint32_t seconds) {
  return (seconds + kEpochDifference) * kTicksPerSecond;
}

std::array<std::uint8_t, kFileHeaderSize> EncodeFileHeader(std::uint64_t first, std::uint64_t last,
                                                           std::uint64_t nextRecordId,
                                                           std::uint16_t chunkCount,
                                                           std::uint32_t flags) {
  std::array<std::uint8_t, kFileHeaderSize> header{};
  std::memcpy(header.data(), kFileSignature.data(), kFileSignature.size());
  Put64(header.data() + file_field::kFirstChunk, first);
  Put64(header.data() + file_field::kLastChunk, last);
  Put64(header.data() + file_field::kNextRecordId, nextRecordId);
  Put32(header.data() + file_field::kHeaderSize, kFileHeaderSize);
  Put16(header.data() + file_field::kMinorVersion, 1);
  Put16(header.data() + file_field::kMajorVersion, 3);
  Put16(header.data() + file_field::kBlockSize, kFileHeaderBlock);
  Put16(header.data() + file_field::kChunkCount, chunkCount);
  Put32(header.data() + file_field::kFlags, flags);
  Put32(header.data() + file_field::kChecksum, FileHeaderChecksum(header.data()));
  return header;
}

}  // namespace tamsel::platform::eventlog::evtx
