// One .evtx chunk read record by record: the chunk's checks, the walk over its records with
// per-record validation, template instances run through compiled templates cached per chunk,
// and nested binary XML. What cannot be trusted is counted and skipped, never guessed at.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/eventlog/binxml_program.h"
#include "platform/eventlog/binxml_values.h"
#include "platform/eventlog/evtx_classic.h"

namespace tamsel::platform::eventlog::evtx {

inline constexpr int kMaxNestedFragments = 16;
// Slots one record may fill: nested binary XML used over and over must not multiply the work
// without bound.
inline constexpr std::uint32_t kMaxSlotsPerRecord = 1 << 16;

class ChunkReader {
 public:
  using Sink = std::function<void(const ModernEvent&)>;

  struct Outcome {
    std::uint32_t kept = 0;
    std::uint32_t skipped = 0;  // records seen or announced but not handed on
    bool empty = false;         // an all-zero chunk: never written
  };

  // `chunk` holds kChunkSize bytes of which the first `available` came from the file (the
  // rest is zero, for a file cut short).
  Outcome Read(std::span<const std::uint8_t> chunk, std::uint32_t available, const Sink& sink);

 private:
  bool DecodeRecord(std::uint32_t offset, std::uint32_t size);
  bool Fragment(std::uint32_t begin, std::uint32_t end, Context context, int depth);
  bool TemplateInstance(std::uint32_t& pos, std::uint32_t end, Context context, int depth);
  const Program* Template(std::uint32_t offset, std::uint32_t& definitionEnd, Context context);
  bool Run(const Program& program, const std::vector<Value>& values, Context context, int depth);
  bool Fill(const Slot& slot, const std::vector<Value>& values, int depth);

  std::span<const std::uint8_t> chunk_;
  std::uint32_t limit_ = 0;  // bytes of the chunk that may be read
  struct Cached {
    bool ok = false;
    std::uint32_t definitionEnd = 0;
    Program program;
  };
  std::unordered_map<std::uint64_t, Cached> templates_;
  std::vector<std::vector<Value>> valueStack_;  // one value list per nesting level
  std::vector<Value> items_;
  std::string text_;
  ModernEvent event_;
  std::uint32_t slotsLeft_ = 0;
};

}  // namespace tamsel::platform::eventlog::evtx
