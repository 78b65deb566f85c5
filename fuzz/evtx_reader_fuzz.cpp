// libFuzzer target for the .evtx reader: any bytes as one chunk behind a file header (or, when
// they begin with the file signature, as a whole file), decoded into classic records, each of
// which must then be a well-formed ANSI record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/eventlog/evtx_records.h"

namespace {

namespace evt = tamsel::platform::eventlog;
namespace evtx = tamsel::platform::eventlog::evtx;

constexpr std::size_t kMaxInput = 4 * evtx::kChunkSize;

// One chunk from the input: the signature is put in so that the walk is reached, and the
// header checksum is made to match for odd inputs, so both walks (bounded by the free space
// offset, or by the whole chunk) are exercised.
std::vector<std::uint8_t> AsFile(const std::uint8_t* data, std::size_t size) {
  auto header = evtx::EncodeFileHeader(0, 0, 1, 1, 0);
  std::vector<std::uint8_t> file(evtx::kFileHeaderBlock + evtx::kChunkSize, 0);
  std::memcpy(file.data(), header.data(), header.size());
  std::uint8_t* chunk = file.data() + evtx::kFileHeaderBlock;
  std::memcpy(chunk, data, std::min<std::size_t>(size, evtx::kChunkSize));
  std::memcpy(chunk, evtx::kChunkSignature.data(), evtx::kChunkSignature.size());
  if (size > 8 && (data[8] & 1)) {
    evtx::Put32(chunk + evtx::chunk_field::kHeaderChecksum, evtx::ChunkHeaderChecksum(chunk));
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  std::vector<std::uint8_t> file;
  if (evtx::HasFileSignature({data, size})) {
    file.assign(data, data + size);
  } else {
    file = AsFile(data, size);
  }
  evtx::EvtxRecords records;
  if (records.Decode(file) != tamsel::platform::ERROR_SUCCESS) return 0;
  for (std::size_t i = 0; i < records.Count(); ++i) {
    evt::ParsedRecord parsed;
    if (!evt::ParseAnsiRecord(records.Record(i), parsed)) std::abort();
    (void)records.Find(records.Number(i));
  }
  return 0;
}
