// The .evt ring buffer: checks, walks, appends and linear copies.
#include "platform/eventlog/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tamsel::platform::eventlog {

namespace {

constexpr std::uint32_t kNeverOverwrite = 0xFFFFFFFF;
constexpr std::uint64_t kMaxFileSize = 0xFFFF0000;

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t step) {
  return (value + step - 1) / step * step;
}

}  // namespace

Win32Error LogFile::Open(const std::filesystem::path& path, bool writable) {
  struct stat info {};
  return OpenRegularFile(path, writable ? O_RDWR : O_RDONLY, fd_, info);
}

Win32Error LogFile::WriteEmpty(const std::filesystem::path& path, std::uint32_t maxSize,
                               std::uint32_t retention) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd) return ErrnoToWin32(errno, path);
  LogState state;
  state.maxSize = maxSize;
  state.retention = retention;
  auto header = EncodeHeader(state);
  auto eof = EncodeEof(state);
  if (Win32Error status = WriteAll(fd.Get(), 0, header.data(), header.size())) return status;
  if (Win32Error status = WriteAll(fd.Get(), kHeaderSize, eof.data(), eof.size())) return status;
  if (ftruncate(fd.Get(), kAllocationStep) != 0 || fsync(fd.Get()) != 0) {
    return ErrnoToWin32(errno, path);
  }
  return ERROR_SUCCESS;
}

bool LogFile::IsSameFileAs(const std::filesystem::path& path) const {
  struct stat mine {};
  struct stat now {};
  return fstat(fd_.Get(), &mine) == 0 && stat(path.c_str(), &now) == 0 &&
         mine.st_ino == now.st_ino && mine.st_dev == now.st_dev;
}

Win32Error LogFile::Load() {
  window_.Drop();
  struct stat info {};
  if (fstat(fd_.Get(), &info) != 0) return ErrnoToWin32(errno);
  size_ = static_cast<std::uint64_t>(info.st_size);
  std::uint8_t bytes[kHeaderSize];
  LogState header;
  if (size_ < kHeaderSize + kEofRecordSize || size_ > kMaxFileSize ||
      !ReadExact(fd_.Get(), 0, bytes, kHeaderSize) || !DecodeHeader(bytes, header)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  LogState state = header;
  if (header.flags & ELF_LOGFILE_HEADER_DIRTY) {
    // The header may be stale; the EOF record is the up-to-date copy.
    if (LocateEof(header, state) != ERROR_SUCCESS) return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  if (!OffsetIsValid(state.startOffset) || !OffsetIsValid(state.endOffset) ||
      state.Count() > (size_ - kHeaderSize) / kMinRecordSize) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  state_ = state;
  return ERROR_SUCCESS;
}

Win32Error LogFile::LocateEof(const LogState& header, LogState& eof) const {
  std::uint8_t bytes[kEofRecordSize];
  eof = header;
  if (OffsetIsValid(header.endOffset) && RingRead(header.endOffset, bytes, kEofRecordSize) &&
      DecodeEof(bytes, eof) && eof.endOffset == header.endOffset) {
    return ERROR_SUCCESS;
  }
  // Scan the whole ring, wrapping at the end; stale EOF records can survive in wasted space,
  // so the one with the highest next record number wins.
  auto ringSize = static_cast<std::uint32_t>(size_ - kHeaderSize);
  std::vector<std::uint8_t> ring(ringSize);
  if (!ReadExact(fd_.Get(), kHeaderSize, ring.data(), ringSize)) return ERROR_EVENTLOG_FILE_CORRUPT;
  for (std::uint32_t i = 0; i < kEofRecordSize; ++i) ring.push_back(ring[i % ringSize]);
  bool found = false;
  for (std::uint32_t pos = 0; pos < ringSize; pos += 4) {
    LogState candidate = header;
    if (DecodeEof(ring.data() + pos, candidate) && candidate.endOffset == pos + kHeaderSize &&
        (!found || candidate.currentRecordNumber > eof.currentRecordNumber)) {
      eof = candidate;
      found = true;
    }
  }
  return found ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

bool LogFile::OffsetIsValid(std::uint32_t offset) const {
  return offset % 4 == 0 && offset >= kHeaderSize && offset < size_;
}

std::uint32_t LogFile::Normalize(std::uint32_t pos) const {
  return size_ - pos < kFixedRecordSize ? kHeaderSize : pos;
}

std::uint32_t LogFile::Distance(std::uint32_t from, std::uint32_t to) const {
  return to >= from ? to - from : Size() - from + (to - kHeaderSize);
}

bool LogFile::RingRead(std::uint32_t offset, void* out, std::uint32_t size) const {
  if (offset < kHeaderSize || offset >= size_ || size > size_ - kHeaderSize) return false;
  std::uint32_t first = std::min<std::uint32_t>(size, Size() - offset);
  auto* bytes = static_cast<std::uint8_t*>(out);
  return ReadAt(offset, bytes, first) &&
         (first == size || ReadAt(kHeaderSize, bytes + first, size - first));
}

bool LogFile::ReadAt(std::uint64_t offset, void* out, std::uint32_t size) const {
  if (!readAhead_) return ReadExact(fd_.Get(), offset, out, size);
  return window_.Read(fd_.Get(), size_, offset, out, size);
}

Win32Error LogFile::RingWrite(std::uint32_t offset, const void* data, std::uint32_t size) const {
  std::uint32_t first = std::min<std::uint32_t>(size, Size() - offset);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (Win32Error status = WriteAll(fd_.Get(), offset, bytes, first)) return status;
  return first == size ? ERROR_SUCCESS
                       : WriteAll(fd_.Get(), kHeaderSize, bytes + first, size - first);
}

Win32Error LogFile::FillTail(std::uint32_t from) const {
  std::vector<std::uint8_t> filler(Size() - from);
  for (std::size_t i = 0; i + 4 <= filler.size(); i += 4) PutU32(filler.data() + i, kFillerWord);
  return WriteAll(fd_.Get(), from, filler.data(), filler.size());
}

bool LogFile::FrameAt(std::uint32_t offset, std::uint32_t& length) const {
  std::uint8_t fixed[8];
  if (!RingRead(offset, fixed, sizeof fixed)) return false;
  length = GetU32(fixed);
  return GetU32(fixed + 4) == kSignature && length >= kMinRecordSize && length % 4 == 0 &&
         length <= size_ - kHeaderSize;
}

Win32Error LogFile::ReadRecord(std::uint32_t offset, std::uint32_t number,
                               std::vector<std::uint8_t>& record) const {
  if (!OffsetIsValid(offset)) return ERROR_EVENTLOG_FILE_CORRUPT;
  offset = Normalize(offset);
  std::uint32_t length = 0;
  if (!FrameAt(offset, length)) return ERROR_EVENTLOG_FILE_CORRUPT;
  record.resize(length);
  if (!RingRead(offset, record.data(), length) || GetU32(record.data() + length - 4) != length ||
      GetU32(record.data() + field::kRecordNumber) != number) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  return ERROR_SUCCESS;
}

std::uint32_t LogFile::NextOffset(std::uint32_t offset, std::uint32_t length) const {
  std::uint64_t pos = static_cast<std::uint64_t>(offset) + length;
  if (pos >= size_) pos = kHeaderSize + (pos - size_);
  return Normalize(static_cast<std::uint32_t>(pos));
}

Win32Error LogFile::PreviousOffset(std::uint32_t offset, std::uint32_t& previous) const {
  if (!OffsetIsValid(offset)) return ERROR_EVENTLOG_FILE_CORRUPT;
  // A record that ends at the start of the ring ended at the physical end, or just before a
  // filler tail too short for another record.
  std::uint64_t last = offset == kHeaderSize ? size_ : offset;
  std::uint64_t first = offset == kHeaderSize ? size_ - kFixedRecordSize + 4 : offset;
  for (std::uint64_t end = last; end >= first && end > kHeaderSize + 4; end -= 4) {
    std::uint8_t copy[4];
    if (!ReadAt(end - 4, copy, 4)) continue;
    std::uint64_t length = GetU32(copy);
    if (length < kMinRecordSize || length % 4 != 0 || length > size_ - kHeaderSize) continue;
    std::uint64_t start =
        end >= kHeaderSize + length ? end - length : size_ - (kHeaderSize + length - end);
    std::uint32_t frameLength = 0;
    if (FrameAt(static_cast<std::uint32_t>(start), frameLength) && frameLength == length) {
      previous = static_cast<std::uint32_t>(start);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_EVENTLOG_FILE_CORRUPT;
}

Win32Error LogFile::FindRecord(std::uint32_t number, std::uint32_t& offset) const {
  if (!Contains(number)) return ERROR_INVALID_PARAMETER;
  std::uint32_t pos = Normalize(state_.startOffset);
  for (std::uint32_t n = state_.oldestRecordNumber; n != number; ++n) {
    std::uint8_t fixed[12];
    std::uint32_t length = 0;
    if (!FrameAt(pos, length) || !RingRead(pos, fixed, sizeof fixed) ||
        GetU32(fixed + field::kRecordNumber) != n) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    pos = NextOffset(pos, length);
  }
  offset = pos;
  return ERROR_SUCCESS;
}

Win32Error LogFile::WriteHeader() const {
  auto header = EncodeHeader(state_);
  return WriteAll(fd_.Get(), 0, header.data(), header.size());
}

Win32Error LogFile::MakeRoom(std::uint32_t length, std::uint32_t maxSize, std::uint32_t retention,
                             std::uint32_t now, bool& discarded) {
  const std::uint64_t allowed =
      std::min(kMaxFileSize, RoundUp(std::max(maxSize, kAllocationStep), kAllocationStep));
  while (true) {
    std::uint32_t pos = Normalize(state_.endOffset);
    std::uint64_t raw = static_cast<std::uint64_t>(pos) + length;
    if (raw >= size_) raw = kHeaderSize + (raw - size_);
    std::uint64_t needed = std::uint64_t{Distance(state_.endOffset, pos)} + length +
                           (Normalize(static_cast<std::uint32_t>(raw)) != raw ? size_ - raw : 0) +
                           kEofRecordSize;
    std::uint64_t free =
        Count() == 0 ? size_ - kHeaderSize : Distance(state_.endOffset, state_.startOffset);
    if (length <= size_ - kHeaderSize && needed <= free) return ERROR_SUCCESS;

    bool linear = Count() == 0 || state_.startOffset <= state_.endOffset;
    if (linear && size_ < allowed) {
      std::uint64_t grown =
          RoundUp(std::uint64_t{state_.endOffset} + length + kEofRecordSize + kFixedRecordSize,
                  kAllocationStep);
      grown = std::min(allowed, std::max(grown, size_ + kAllocationStep));
      if (ftruncate(fd_.Get(), static_cast<off_t>(grown)) != 0) return ErrnoToWin32(errno);
      size_ = grown;
      continue;
    }
    if (Count() == 0) return ERROR_LOG_FILE_FULL;  // larger than the whole log

    std::uint8_t fixed[field::kTimeWritten + 4];
    std::uint32_t oldestLength = 0;
    if (!FrameAt(Normalize(state_.startOffset), oldestLength) ||
        !RingRead(Normalize(state_.startOffset), fixed, sizeof fixed)) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    std::uint32_t written = GetU32(fixed + field::kTimeWritten);
    if (retention == kNeverOverwrite || (retention != 0 && now - written < retention)) {
      state_.flags |= ELF_LOGFILE_LOGFULL_WRITTEN;
      WriteHeader();
      return ERROR_LOG_FILE_FULL;
    }
    state_.startOffset = NextOffset(Normalize(state_.startOffset), oldestLength);
    state_.flags |= ELF_LOGFILE_HEADER_WRAP;
    discarded = true;
    if (++state_.oldestRecordNumber == state_.currentRecordNumber) {
      state_.oldestRecordNumber = 0;
      state_.startOffset = state_.endOffset;
    }
  }
}

Win32Error LogFile::Append(std::vector<std::uint8_t>& record, std::uint32_t maxSize,
                           std::uint32_t retention, std::uint32_t now) {
  window_.Drop();
  auto length = static_cast<std::uint32_t>(record.size());
  PutU32(record.data() + field::kRecordNumber, state_.currentRecordNumber);
  PutU32(record.data() + field::kTimeWritten, now);
  bool discarded = false;
  if (Win32Error status = MakeRoom(length, maxSize, retention, now, discarded)) return status;
  // Records about to be overwritten leave the header first, so a crash midway loses only them.
  if (discarded) {
    if (Win32Error status = WriteHeader()) return status;
  }
  std::uint32_t pos = Normalize(state_.endOffset);
  if (pos != state_.endOffset) {
    if (Win32Error status = FillTail(state_.endOffset)) return status;
  }
  if (Win32Error status = RingWrite(pos, record.data(), length)) return status;
  std::uint64_t raw = std::uint64_t{pos} + length;
  if (raw >= size_) raw = kHeaderSize + (raw - size_);
  std::uint32_t end = Normalize(static_cast<std::uint32_t>(raw));
  if (end != raw) {
    if (Win32Error status = FillTail(static_cast<std::uint32_t>(raw))) return status;
  }
  if (state_.oldestRecordNumber == 0) {
    state_.oldestRecordNumber = state_.currentRecordNumber;
    state_.startOffset = pos;
  }
  ++state_.currentRecordNumber;
  state_.endOffset = end;
  state_.maxSize = maxSize;
  state_.retention = retention;
  state_.flags &= ~(ELF_LOGFILE_HEADER_DIRTY | ELF_LOGFILE_LOGFULL_WRITTEN);
  auto eof = EncodeEof(state_);
  if (Win32Error status = RingWrite(end, eof.data(), kEofRecordSize)) return status;
  return WriteHeader();
}

Win32Error LogFile::CopyTo(int fd) const {
  // The ring is read through the window and the copy written in large pieces, so a backup
  // costs a few system calls per megabyte rather than three per record; memory stays bounded
  // whatever the log's size. The header is written last, once the end is known.
  const bool readAhead = readAhead_;
  readAhead_ = true;
  Win32Error status = CopyRecords(fd);
  readAhead_ = readAhead;
  if (!readAhead) window_.Drop();
  return status;
}

Win32Error LogFile::CopyRecords(int fd) const {
  std::vector<std::uint8_t> record;
  BufferedWriter out(fd, kHeaderSize);
  std::uint32_t pos = Normalize(state_.startOffset);
  for (std::uint32_t i = 0, n = state_.oldestRecordNumber; i < Count(); ++i, ++n) {
    if (Win32Error status = ReadRecord(pos, n, record)) return status;
    if (Win32Error status = out.Write(record.data(), record.size())) return status;
    pos = NextOffset(pos, static_cast<std::uint32_t>(record.size()));
  }
  const std::uint64_t written = out.Offset();
  LogState copy = state_;
  copy.startOffset = kHeaderSize;
  copy.endOffset = static_cast<std::uint32_t>(written);
  copy.flags = 0;
  std::uint64_t fileSize = RoundUp(written + kEofRecordSize, kAllocationStep);
  if (fileSize - written < kFixedRecordSize) fileSize += kAllocationStep;
  copy.maxSize = static_cast<std::uint32_t>(fileSize);
  auto eof = EncodeEof(copy);
  if (Win32Error status = out.Write(eof.data(), eof.size())) return status;
  std::vector<std::uint8_t> padding(fileSize - written - eof.size(), 0);
  if (Win32Error status = out.Write(padding.data(), padding.size())) return status;
  if (Win32Error status = out.Flush()) return status;
  auto header = EncodeHeader(copy);
  return WriteAll(fd, 0, header.data(), header.size());
}

}  // namespace tamsel::platform::eventlog
