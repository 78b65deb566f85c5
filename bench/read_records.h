// Benchmark support: every record of an open log or backup read sequentially forwards through
// a buffer of the given size, as the collector reads; returns how many there were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/eventlog/event_log.h"

namespace tamsel::bench {

inline std::size_t CountRecords(platform::eventlog::HANDLE log, std::vector<std::uint8_t>& buffer) {
  namespace evt = platform::eventlog;
  evt::DWORD read = 0;
  evt::DWORD needed = 0;
  std::size_t records = 0;
  while (evt::ReadEventLogA(log, evt::EVENTLOG_SEQUENTIAL_READ | evt::EVENTLOG_FORWARDS_READ, 0,
                            buffer.data(), static_cast<evt::DWORD>(buffer.size()), &read,
                            &needed)) {
    for (evt::DWORD at = 0; at < read;
         at += *reinterpret_cast<const evt::DWORD*>(buffer.data() + at)) {
      ++records;
    }
  }
  return records;
}

}  // namespace tamsel::bench
