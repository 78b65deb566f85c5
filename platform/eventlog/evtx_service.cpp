// .evtx logs and backups behind the classic event log handles.
#include "platform/eventlog/evtx_service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "platform/eventlog/event_log_object.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/eventlog/evtx_writer.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"

namespace tamsel::platform::eventlog {

namespace {

constexpr int kFirstEvtxVersion = 6;

// The file's identity and times, and its header: the writer rewrites the header with every
// record, so a record written within the clock's resolution still changes the stamp.
EvtxStamp StampOf(int fd, const struct stat& info) {
  EvtxStamp stamp{info.st_dev,
                  info.st_ino,
                  static_cast<std::uint64_t>(info.st_size),
                  static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000ULL +
                      static_cast<std::uint64_t>(info.st_mtim.tv_nsec),
                  {}};
  if (!ReadExact(fd, 0, stamp.header.data(), stamp.header.size())) stamp.header.fill(0);
  return stamp;
}

bool SameStamp(const EvtxStamp& a, const EvtxStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modified == b.modified && a.header == b.header;
}

}  // namespace

bool IsEvtxFile(const std::filesystem::path& path) {
  // A FIFO in a log's place is no log at all.
  UniqueFd fd;
  struct stat info {};
  std::uint8_t signature[8];
  return OpenRegularFile(path, O_RDONLY, fd, info) == ERROR_SUCCESS &&
         ReadExact(fd.Get(), 0, signature, sizeof signature) && evtx::HasFileSignature(signature);
}

bool KeepsEvtxLogs(const network::Machine& machine) {
  registry::RegistryKey root;
  registry::RegistryKey version;
  std::string text;
  if (registry::RegistryKey::Connect(machine.Name(), registry::HKEY_LOCAL_MACHINE, root) != 0 ||
      registry::RegistryKey::Open(root.Get(), registry::kWindowsVersionKey, registry::KEY_READ,
                                  version) != 0 ||
      version.GetString("CurrentVersion", text) != 0) {
    return false;
  }
  int major = 0;
  std::from_chars(text.data(), text.data() + text.size(), major);
  return major >= kFirstEvtxVersion;
}

Win32Error WriteEmptyLogFor(const LogLocation& location, const std::filesystem::path& path) {
  if (location.machine && KeepsEvtxLogs(*location.machine)) return evtx::WriteEmptyLog(path);
  return LogFile::WriteEmpty(path, location.maxSize, location.retention);
}

Win32Error LoadEvtx(EventLogObject& log, const std::filesystem::path& path) {
  UniqueFd fd;
  struct stat info {};
  if (Win32Error status = OpenRegularFile(path, O_RDONLY, fd, info)) return status;
  const EvtxStamp now = StampOf(fd.Get(), info);
  if (log.modern && SameStamp(now, log.modernStamp)) return ERROR_SUCCESS;
  // The descriptor stays with the records: they are read from the file that was indexed, even
  // when another file takes its name later.
  auto records = std::make_shared<evtx::EvtxRecords>();
  if (Win32Error status = records->Open(std::move(fd), static_cast<std::uint64_t>(info.st_size))) {
    return status;
  }
  log.modern = std::move(records);
  log.modernStamp = now;
  return ERROR_SUCCESS;
}

BOOL ReadEvtx(EventLogObject& log, bool seek, bool forwards, DWORD recordNumber, void* buffer,
              DWORD numberOfBytesToRead, DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  evtx::EvtxRecords& records = *log.modern;
  const std::size_t count = records.Count();
  std::size_t index = count;
  if (seek) {
    index = records.Find(recordNumber);
    if (index == count) return Fail(ERROR_INVALID_PARAMETER);
  } else if (!log.started) {
    if (count == 0) return Fail(ERROR_HANDLE_EOF);
    index = forwards ? 0 : count - 1;
  } else {
    index = records.Find(log.nextNumber);
    // Records overwritten since the last read: go on with the oldest.
    if (index == count && forwards && count > 0 &&
        static_cast<std::int32_t>(log.nextNumber - records.Number(0)) < 0) {
      index = 0;
    }
    if (index == count) return Fail(ERROR_HANDLE_EOF);
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  DWORD used = 0;
  while (index < count) {
    std::span<const std::uint8_t> record = records.Record(index);
    if (record.empty()) {
      // Records already placed are returned; the fault shows on the next call.
      if (used == 0) return Fail(ERROR_EVENTLOG_FILE_CORRUPT);
      break;
    }
    if (record.size() > numberOfBytesToRead - used) {
      if (used == 0) {
        *minNumberOfBytesNeeded = static_cast<DWORD>(record.size());
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      break;
    }
    std::memcpy(out + used, record.data(), record.size());
    used += static_cast<DWORD>(record.size());
    log.started = true;
    log.nextNumber = forwards ? records.Number(index) + 1 : records.Number(index) - 1;
    if (forwards) {
      ++index;
    } else if (index-- == 0) {
      break;
    }
  }
  *bytesRead = used;
  SetLastError(ERROR_SUCCESS);
  return 1;
}

Win32Error AppendEvtx(const LogLocation& location, const EventFields& fields, std::uint32_t now) {
  UniqueFd fd(open(location.file.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd) return ErrnoToWin32(errno, location.file);
  evtx::EvtxWriter writer(fd.Get());
  return writer.Append(fields, location.logName, location.maxSize, location.retention, now);
}

Win32Error CopyEvtx(const std::filesystem::path& from, int fd) {
  UniqueFd source(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!source) return ErrnoToWin32(errno, from);
  // A backup of an .evtx log is the file as it is: the kernel copies it without passing it
  // through this process where it can, block by block where it cannot.
  std::uint64_t offset = 0;
  while (true) {
    loff_t in = static_cast<loff_t>(offset);
    loff_t out = static_cast<loff_t>(offset);
    const ssize_t copied = copy_file_range(source.Get(), &in, fd, &out, 1 << 30, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0) break;
    if (copied == 0) return ERROR_SUCCESS;
    offset += static_cast<std::uint64_t>(copied);
  }
  std::vector<std::uint8_t> block(evtx::kChunkSize);
  while (true) {
    ssize_t got = pread(source.Get(), block.data(), block.size(), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ErrnoToWin32(errno, from);
    if (got == 0) return ERROR_SUCCESS;
    if (Win32Error status = WriteAll(fd, offset, block.data(), static_cast<std::size_t>(got))) {
      return status;
    }
    offset += static_cast<std::uint64_t>(got);
  }
}

}  // namespace tamsel::platform::eventlog
