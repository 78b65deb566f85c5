// Tests of the ring buffer: wrap-around and retention on our own writes, and files laid out the
// way Windows leaves them (wrapped, split records, filler, dirty header), built here byte by
// byte; and corrupt files, which must fail cleanly.
#include "platform/eventlog/log_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "testing/temp_dir.h"

namespace tamsel::platform::eventlog {
namespace {

std::vector<std::uint8_t> MakeRecord(std::uint32_t number, const std::string& text) {
  EventFields fields;
  fields.source = "Src";
  fields.computer = "SRV01";
  fields.strings = {text};
  std::vector<std::uint8_t> record = BuildDiskRecord(fields);
  PutU32(record.data() + field::kRecordNumber, number);
  return record;
}

std::string FirstString(const std::vector<std::uint8_t>& disk) {
  std::vector<std::uint8_t> ansi;
  ParsedRecord parsed;
  if (ConvertToAnsi(disk, ansi) != ERROR_SUCCESS || !ParseAnsiRecord(ansi, parsed) ||
      parsed.strings.empty()) {
    return "<bad>";
  }
  return parsed.strings[0];
}

// Walks the whole log oldest first; stops at the first fault and reports it.
std::vector<std::string> WalkForwards(const LogFile& file, Win32Error* fault = nullptr) {
  std::vector<std::string> texts;
  std::uint32_t offset = 0;
  std::vector<std::uint8_t> record;
  Win32Error status = ERROR_SUCCESS;
  if (file.Count() > 0) status = file.FindRecord(file.State().oldestRecordNumber, offset);
  for (std::uint32_t i = 0; status == ERROR_SUCCESS && i < file.Count(); ++i) {
    status = file.ReadRecord(offset, file.State().oldestRecordNumber + i, record);
    if (status != ERROR_SUCCESS) break;
    texts.push_back(FirstString(record));
    offset = file.NextOffset(offset, static_cast<std::uint32_t>(record.size()));
  }
  if (fault) *fault = status;
  return texts;
}

std::vector<std::string> WalkBackwards(const LogFile& file) {
  std::vector<std::string> texts;
  std::uint32_t offset = file.State().endOffset;
  std::vector<std::uint8_t> record;
  for (std::uint32_t i = 0; i < file.Count(); ++i) {
    if (file.PreviousOffset(offset, offset) != ERROR_SUCCESS ||
        file.ReadRecord(offset, file.NewestNumber() - i, record) != ERROR_SUCCESS) {
      break;
    }
    texts.push_back(FirstString(record));
  }
  return texts;
}

// A file image of a given size whose record area is a ring from 0x30 to the end.
class RingImage {
 public:
  explicit RingImage(std::uint32_t size) : bytes_(size, 0xAB) {}

  void Place(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      bytes_[offset] = data[i];
      if (++offset == bytes_.size()) offset = kHeaderSize;
    }
  }
  // Lays records one after another from `offset` with the writer's filler and split rules;
  // returns where the EOF record goes.
  std::uint32_t Chain(std::uint32_t offset, std::uint32_t firstNumber, int count) {
    for (int i = 0; i < count; ++i) {
      if (bytes_.size() - offset < kFixedRecordSize) {
        for (; offset + 4 <= bytes_.size(); offset += 4) PutU32(&bytes_[offset], kFillerWord);
        offset = kHeaderSize;
      }
      auto record = MakeRecord(firstNumber + i, "record " + std::to_string(firstNumber + i));
      Place(offset, record);
      offset += static_cast<std::uint32_t>(record.size());
      if (offset >= bytes_.size()) offset = kHeaderSize + (offset - bytes_.size());
    }
    return offset;
  }
  void SetHeader(const LogState& state) {
    auto header = EncodeHeader(state);
    std::copy(header.begin(), header.end(), bytes_.begin());
  }
  void PlaceEof(const LogState& state) {
    auto eof = EncodeEof(state);
    Place(state.endOffset, {eof.begin(), eof.end()});
  }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class LogFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::vector<std::uint8_t>& bytes) {
    auto path = temp_.Path() / ("log" + std::to_string(++files_) + ".evt");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  Win32Error OpenAndLoad(const std::filesystem::path& path, LogFile& file) {
    if (Win32Error status = file.Open(path, false)) return status;
    return file.Load();
  }
  // Records 10..14 in a 0x310-byte ring starting at 0x1A0: record 13 is split across the end.
  RingImage WrappedWithSplit(LogState& state) {
    RingImage image(0x310);
    state.startOffset = 0x1A0;
    state.endOffset = image.Chain(0x1A0, 10, 5);
    state.currentRecordNumber = 15;
    state.oldestRecordNumber = 10;
    state.flags = ELF_LOGFILE_HEADER_WRAP;
    image.SetHeader(state);
    image.PlaceEof(state);
    return image;
  }

  tamsel::testing::ScopedTempDir temp_;
  int files_ = 0;
};

const std::vector<std::string> kTenToFourteen = {"record 10", "record 11", "record 12", "record 13",
                                                 "record 14"};

TEST_F(LogFileTest, WindowsLayoutsReadInOrder) {
  {  // a record split across the physical end
    LogState state;
    RingImage image = WrappedWithSplit(state);
    ASSERT_LT(state.endOffset, state.startOffset);
    LogFile file;
    ASSERT_EQ(OpenAndLoad(Write(image.Bytes()), file), ERROR_SUCCESS);
    EXPECT_EQ(WalkForwards(file), kTenToFourteen);
    EXPECT_EQ(WalkBackwards(file),
              std::vector<std::string>(kTenToFourteen.rbegin(), kTenToFourteen.rend()));
  }
  {  // a tail too short for a fixed part, filled with 0x27 words
    RingImage image(0x300);
    LogState state;
    state.startOffset = 0x1C0;
    state.endOffset = image.Chain(0x1C0, 10, 5);
    state.currentRecordNumber = 15;
    state.oldestRecordNumber = 10;
    image.SetHeader(state);
    image.PlaceEof(state);
    ASSERT_EQ(GetU32(&image.Bytes()[0x2FC]), kFillerWord);
    LogFile file;
    ASSERT_EQ(OpenAndLoad(Write(image.Bytes()), file), ERROR_SUCCESS);
    EXPECT_EQ(WalkForwards(file), kTenToFourteen);
    EXPECT_EQ(WalkBackwards(file).front(), "record 14");
    EXPECT_EQ(WalkBackwards(file).back(), "record 10");
  }
}

TEST_F(LogFileTest, DirtyFileTrustsTheEofRecord) {
  LogState state;
  RingImage image = WrappedWithSplit(state);
  // The header still describes the log before record 14 was written.
  LogState stale = state;
  stale.endOffset = 0x40;
  stale.currentRecordNumber = 14;
  stale.flags |= ELF_LOGFILE_HEADER_DIRTY;
  image.SetHeader(stale);
  // An older EOF record left in the wasted space must not win.
  LogState old = state;
  old.endOffset = 0x120;
  old.currentRecordNumber = 9;
  image.PlaceEof(old);
  LogFile file;
  ASSERT_EQ(OpenAndLoad(Write(image.Bytes()), file), ERROR_SUCCESS);
  EXPECT_EQ(file.Count(), 5u);
  EXPECT_EQ(file.State().endOffset, state.endOffset);
  EXPECT_EQ(WalkForwards(file), kTenToFourteen);
}

TEST_F(LogFileTest, EofRecordSplitAcrossTheEndIsFound) {
  // Records 2..7 fill the ring up to 0x24 bytes before its end; the EOF record runs on at 0x30,
  // over space the discarded record 1 left. The header is stale and marked dirty.
  RingImage image(0x310);
  LogState state;
  state.startOffset = 0x94;
  state.endOffset = image.Chain(0x94, 2, 6);
  ASSERT_LT(image.Bytes().size() - state.endOffset, kEofRecordSize);
  state.currentRecordNumber = 8;
  state.oldestRecordNumber = 2;
  state.flags = ELF_LOGFILE_HEADER_WRAP;
  image.PlaceEof(state);
  LogState stale = state;
  stale.endOffset = 0x288;
  stale.currentRecordNumber = 7;
  stale.flags |= ELF_LOGFILE_HEADER_DIRTY;
  image.SetHeader(stale);
  LogFile file;
  ASSERT_EQ(OpenAndLoad(Write(image.Bytes()), file), ERROR_SUCCESS);
  EXPECT_EQ(file.State().endOffset, state.endOffset);
  std::vector<std::string> expected;
  for (int n = 2; n <= 7; ++n) expected.push_back("record " + std::to_string(n));
  EXPECT_EQ(WalkForwards(file), expected);
  EXPECT_EQ(WalkBackwards(file), std::vector<std::string>(expected.rbegin(), expected.rend()));
}

TEST_F(LogFileTest, CorruptFilesFailCleanly) {
  LogState state;
  std::vector<std::uint8_t> good = WrappedWithSplit(state).Bytes();
  auto load = [&](std::vector<std::uint8_t> bytes) {
    LogFile file;
    return OpenAndLoad(Write(bytes), file);
  };
  auto walk = [&](std::vector<std::uint8_t> bytes) {
    LogFile file;
    Win32Error fault = OpenAndLoad(Write(bytes), file);
    if (fault == ERROR_SUCCESS) WalkForwards(file, &fault);
    return fault;
  };
  ASSERT_EQ(walk(good), ERROR_SUCCESS);

  EXPECT_EQ(load({good.begin(), good.begin() + 0x20}), ERROR_EVENTLOG_FILE_CORRUPT);  // truncated
  auto bytes = good;
  bytes[4] = 'X';  // signature
  EXPECT_EQ(load(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
  bytes = good;
  PutU32(&bytes[0x10], 0x5000);  // start offset past the end
  EXPECT_EQ(load(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
  bytes = good;
  PutU32(&bytes[0x1C], 1);  // more records than the file could hold
  EXPECT_EQ(load(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
  bytes = good;
  PutU32(&bytes[0x24], ELF_LOGFILE_HEADER_DIRTY);  // dirty, and no EOF record anywhere
  for (std::size_t i = 0x30; i + 4 <= bytes.size(); i += 4) {
    if (GetU32(&bytes[i]) == 0x11111111) PutU32(&bytes[i], 0);
  }
  EXPECT_EQ(load(bytes), ERROR_EVENTLOG_FILE_CORRUPT);

  bytes = good;
  PutU32(&bytes[0x1A0], 0x7FFFFFF0);  // a length pointing far past the end
  EXPECT_EQ(walk(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
  const std::uint32_t second = 0x1A0 + GetU32(&good[0x1A0]);
  bytes = good;
  PutU32(&bytes[second + field::kRecordNumber], 10);  // numbers that stop increasing: a loop
  EXPECT_EQ(walk(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
  bytes = good;
  PutU32(&bytes[second - 4], 0x44);  // length copy that disagrees
  EXPECT_EQ(walk(bytes), ERROR_EVENTLOG_FILE_CORRUPT);
}

class AppendTest : public LogFileTest {
 protected:
  void SetUp() override {
    path_ = temp_.Path() / "app.evt";
    ASSERT_EQ(LogFile::WriteEmpty(path_, 0x10000, 0), ERROR_SUCCESS);
    ASSERT_EQ(file_.Open(path_, true), ERROR_SUCCESS);
    ASSERT_EQ(file_.Load(), ERROR_SUCCESS);
  }
  Win32Error Append(std::uint32_t n, std::uint32_t retention, std::uint32_t now,
                    std::size_t extra = 0) {
    auto record = MakeRecord(0, "record " + std::to_string(n) + std::string(extra, '.'));
    return file_.Append(record, 0x10000, retention, now);
  }
  std::filesystem::path path_;
  LogFile file_;
};

TEST_F(AppendTest, FullLogWrapsAndKeepsTheNewestInOrder) {
  for (std::uint32_t n = 1; n <= 3000; ++n) {
    ASSERT_EQ(Append(n, 0, 1000, n % 7 * 13), ERROR_SUCCESS) << n;
  }
  EXPECT_EQ(std::filesystem::file_size(path_), 0x10000u);
  EXPECT_TRUE(file_.State().flags & ELF_LOGFILE_HEADER_WRAP);
  EXPECT_EQ(file_.NewestNumber(), 3000u);
  EXPECT_GT(file_.State().oldestRecordNumber, 1u);

  LogFile reader;  // a second view reads what the writer left on disk
  ASSERT_EQ(OpenAndLoad(path_, reader), ERROR_SUCCESS);
  std::vector<std::string> texts = WalkForwards(reader);
  ASSERT_EQ(texts.size(), reader.Count());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::uint32_t n = reader.State().oldestRecordNumber + static_cast<std::uint32_t>(i);
    EXPECT_EQ(texts[i], "record " + std::to_string(n) + std::string(n % 7 * 13, '.'));
  }
  std::vector<std::string> backwards = WalkBackwards(reader);
  EXPECT_EQ(std::vector<std::string>(backwards.rbegin(), backwards.rend()), texts);
}

TEST_F(AppendTest, RetentionProtectsYoungRecords) {
  const std::uint32_t retention = 3600;
  Win32Error status = ERROR_SUCCESS;
  std::uint32_t n = 0;
  while (status == ERROR_SUCCESS && n < 5000) status = Append(++n, retention, 1000);
  EXPECT_EQ(status, ERROR_LOG_FILE_FULL);
  LogFile reader;
  ASSERT_EQ(OpenAndLoad(path_, reader), ERROR_SUCCESS);
  EXPECT_TRUE(reader.State().flags & ELF_LOGFILE_LOGFULL_WRITTEN);
  EXPECT_EQ(reader.State().oldestRecordNumber, 1u);
  EXPECT_EQ(reader.Count(), n - 1);
  // Once the oldest record is older than the retention period it may go.
  EXPECT_EQ(Append(n, retention, 1000 + retention), ERROR_SUCCESS);
  EXPECT_EQ(file_.State().oldestRecordNumber, 2u);
  EXPECT_EQ(Append(n + 1, 0xFFFFFFFF, 1000000), ERROR_LOG_FILE_FULL);  // never overwrite
}

TEST_F(AppendTest, RecordLargerThanTheLogIsRefused) {
  EXPECT_EQ(Append(1, 0, 1000, 0x10000), ERROR_LOG_FILE_FULL);
  EXPECT_EQ(file_.Count(), 0u);
  EXPECT_EQ(Append(1, 0, 1000), ERROR_SUCCESS);
}

TEST_F(AppendTest, BackupCopyIsCleanAndLinear) {
  for (std::uint32_t n = 1; n <= 1500; ++n) ASSERT_EQ(Append(n, 0, 1000), ERROR_SUCCESS);
  auto copyPath = temp_.Path() / "copy.evt";
  UniqueFd fd(open(copyPath.c_str(), O_WRONLY | O_CREAT, 0644));
  ASSERT_EQ(file_.CopyTo(fd.Get()), ERROR_SUCCESS);
  LogFile copy;
  ASSERT_EQ(OpenAndLoad(copyPath, copy), ERROR_SUCCESS);
  EXPECT_EQ(copy.State().flags, 0u);
  EXPECT_EQ(copy.State().startOffset, kHeaderSize);
  EXPECT_EQ(copy.State().oldestRecordNumber, file_.State().oldestRecordNumber);
  EXPECT_EQ(WalkForwards(copy), WalkForwards(file_));
}

// A wrapped log larger than the read-ahead window: walking it and copying it through the
// window must give what plain reads give, across window edges and the ring's wrap.
TEST_F(LogFileTest, WindowedReadsOfALargeWrappedLogMatchPlainReads) {
  constexpr std::uint32_t kMaxSize = 0x60000;
  const auto path = temp_.Path() / "large.evt";
  ASSERT_EQ(LogFile::WriteEmpty(path, kMaxSize, 0), ERROR_SUCCESS);
  LogFile writer;
  ASSERT_EQ(writer.Open(path, true), ERROR_SUCCESS);
  ASSERT_EQ(writer.Load(), ERROR_SUCCESS);
  for (std::uint32_t n = 1; n <= 9000; ++n) {
    auto record = MakeRecord(0, "record " + std::to_string(n) + std::string(n % 11 * 17, '.'));
    ASSERT_EQ(writer.Append(record, kMaxSize, 0, 1000), ERROR_SUCCESS) << n;
  }
  ASSERT_TRUE(writer.State().flags & ELF_LOGFILE_HEADER_WRAP);

  LogFile plain;
  ASSERT_EQ(OpenAndLoad(path, plain), ERROR_SUCCESS);
  LogFile windowed;
  windowed.ReadAhead();
  ASSERT_EQ(OpenAndLoad(path, windowed), ERROR_SUCCESS);
  const std::vector<std::string> forwards = WalkForwards(plain);
  ASSERT_EQ(forwards.size(), plain.Count());
  EXPECT_EQ(WalkForwards(windowed), forwards);
  EXPECT_EQ(WalkBackwards(windowed), WalkBackwards(plain));

  const auto copyPath = temp_.Path() / "copy.evt";
  UniqueFd fd(open(copyPath.c_str(), O_WRONLY | O_CREAT, 0644));
  ASSERT_EQ(plain.CopyTo(fd.Get()), ERROR_SUCCESS);
  LogFile copy;
  ASSERT_EQ(OpenAndLoad(copyPath, copy), ERROR_SUCCESS);
  EXPECT_EQ(copy.State().startOffset, kHeaderSize);
  EXPECT_EQ(WalkForwards(copy), forwards);
  // The copy's reads went through the window; the log's own reads are plain again after it.
  auto record = MakeRecord(0, "after the copy");
  ASSERT_EQ(writer.Append(record, kMaxSize, 0, 1000), ERROR_SUCCESS);
  ASSERT_EQ(plain.Load(), ERROR_SUCCESS);
  EXPECT_EQ(WalkForwards(plain).back(), "after the copy");
}

}  // namespace
}  // namespace tamsel::platform::eventlog
