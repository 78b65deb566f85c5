// Writing .evtx logs the way the event log service of a modern machine keeps them: an empty
// log, classic events appended as instances of one template (defined once per chunk), new
// chunks as the last one fills, and the oldest chunk reused once the log reaches its maximum
// size. Callers hold the log's exclusive lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/eventlog/evt_format.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::eventlog::evtx {

// Writes a log without records at a path that must not exist yet.
Win32Error WriteEmptyLog(const std::filesystem::path& path);

// The binary XML stream of one classic event as the first record of a chunk writes it (with
// the template definition) or as a later one (referring to it).
std::vector<std::uint8_t> EventStream(const EventFields& fields, std::uint64_t recordId,
                                      std::uint64_t createdTime, const std::string& channel,
                                      bool defineTemplate);

class EvtxWriter {
 public:
  // `fd` is the log opened for reading and writing.
  explicit EvtxWriter(int fd) : fd_(fd) {}

  // Appends one event; ERROR_LOG_FILE_FULL when the log is full and `retention` protects its
  // oldest chunk, or when the event is larger than a chunk can hold.
  Win32Error Append(const EventFields& fields, const std::string& channel, std::uint32_t maxSize,
                    std::uint32_t retention, std::uint32_t now);

 private:
  struct State {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t nextId = 1;
    std::uint16_t count = 0;
    std::uint32_t flags = 0;
  };
  Win32Error ReadState(State& state) const;
  Win32Error StartChunk(State& state, std::uint32_t slots, std::uint32_t retention,
                        std::uint32_t now, std::uint64_t& index);
  std::uint64_t ChunkOffset(std::uint64_t index) const;

  int fd_;
};

}  // namespace tamsel::platform::eventlog::evtx
