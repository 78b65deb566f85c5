// libFuzzer target for the .evt reader: any bytes as a backup file, opened and read through the
// event log API in both directions, with seeks, and walked through the ring directly.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/log_file.h"
#include "platform/network/network.h"

namespace {

namespace evt = tamsel::platform::eventlog;
namespace net = tamsel::platform::network;

// One network per process, in a folder of its own that goes away with the process.
class FuzzNetwork {
 public:
  FuzzNetwork()
      : root_(std::filesystem::temp_directory_path() / ("evt-fuzz-" + std::to_string(getpid()))) {
    net::Network::SetCurrent(net::Network(root_, "FUZZ"));
    net::Network::Current().CreateMachineFolder("FUZZ");
  }
  ~FuzzNetwork() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::filesystem::path File() const { return root_ / "FUZZ" / "drives" / "C" / "input.evt"; }

 private:
  std::filesystem::path root_;
};

const std::filesystem::path& FuzzFile() {
  static const FuzzNetwork network;
  static const std::filesystem::path file = network.File();
  return file;
}

// Reads until the end or a failure, growing the buffer as asked; never more than `limit` calls.
void ReadAll(evt::HANDLE handle, evt::DWORD flags, evt::DWORD number, std::size_t limit) {
  std::vector<std::uint8_t> buffer(1024);
  for (std::size_t call = 0; call < limit; ++call) {
    evt::DWORD read = 0;
    evt::DWORD needed = 0;
    if (!evt::ReadEventLogA(handle, flags, number, buffer.data(),
                            static_cast<evt::DWORD>(buffer.size()), &read, &needed)) {
      if (tamsel::platform::GetLastError() != tamsel::platform::ERROR_INSUFFICIENT_BUFFER ||
          needed > (1u << 20)) {
        return;
      }
      buffer.resize(needed);
      continue;
    }
    for (evt::DWORD at = 0; at + 4 <= read;) {
      evt::DWORD length = evt::GetU32(buffer.data() + at);
      evt::ParsedRecord record;
      if (length == 0 || length > read - at ||
          !evt::ParseAnsiRecord({buffer.data() + at, length}, record)) {
        __builtin_trap();  // the reader must only hand out well-formed ANSI records
      }
      at += length;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path& file = FuzzFile();
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  // The record converter on its own, with the input as one record.
  std::vector<std::uint8_t> ansi;
  evt::ConvertToAnsi({data, size}, ansi);

  evt::EventLogHandle handle(evt::OpenBackupEventLogA(nullptr, "\\\\FUZZ\\C$\\input.evt"));
  if (!handle) return 0;
  evt::DWORD count = 0;
  evt::DWORD oldest = 0;
  evt::GetNumberOfEventLogRecords(handle.Get(), &count);
  evt::GetOldestEventLogRecord(handle.Get(), &oldest);
  std::size_t limit = std::min<std::size_t>(count, 4096) + 4;
  ReadAll(handle.Get(), evt::EVENTLOG_SEQUENTIAL_READ | evt::EVENTLOG_FORWARDS_READ, 0, limit);
  evt::EventLogHandle backwards(evt::OpenBackupEventLogA(nullptr, "\\\\FUZZ\\C$\\input.evt"));
  ReadAll(backwards.Get(), evt::EVENTLOG_SEQUENTIAL_READ | evt::EVENTLOG_BACKWARDS_READ, 0, limit);
  ReadAll(handle.Get(), evt::EVENTLOG_SEEK_READ | evt::EVENTLOG_FORWARDS_READ, oldest + count / 2,
          2);
  ReadAll(handle.Get(), evt::EVENTLOG_SEEK_READ | evt::EVENTLOG_BACKWARDS_READ, oldest + count - 1,
          2);
  return 0;
}
