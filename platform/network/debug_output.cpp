// The debug sink behind OutputDebugString: level, journal, file.
#include "platform/network/debug_output.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/network/network.h"

namespace tamsel::platform::network {

namespace {

constexpr int kError = 3;
constexpr int kWarning = 4;
constexpr int kInfo = 6;
constexpr int kDebug = 7;
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

std::mutex sinkMutex;
std::function<void(std::string_view)> capture;

std::string Line(std::string_view text) {
  std::string line(text);
  if (line.empty() || line.back() != '\n') line.push_back('\n');
  return line;
}

bool AppendToFile(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
  if (fd < 0) return false;
  // One write per text, so lines of concurrent writers never interleave.
  bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  return written;
}

std::string ProgramName() {
  std::string name = program_invocation_short_name;
  return name.empty() ? "tamsel" : name;
}

// <network root>/log/<program>.log; the folder is made only when `create` says so.
bool AppendToLogFolder(const std::string& line, bool create) {
  std::error_code error;
  const std::filesystem::path folder = Network::Current().Root() / "log";
  if (create) std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return false;
  return AppendToFile((folder / (ProgramName() + ".log")).string(), line);
}

// JOURNAL_STREAM is "device:inode" of the stream systemd connected stderr to.
bool StderrIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr || *stream == '\0') return false;
  struct stat info {};
  if (fstat(STDERR_FILENO, &info) != 0) return false;
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) == stream;
}

bool SendToJournalStream(int priority, const std::string& line) {
  const std::string prefixed = "<" + std::to_string(priority) + ">" + line;
  // A socket: send, so a journal that went away ends nothing with SIGPIPE.
  return send(STDERR_FILENO, prefixed.data(), prefixed.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(prefixed.size());
}

// The journal's native datagram: fields, the message in its length-prefixed form, which may
// hold line breaks.
bool SendToJournalSocket(int priority, std::string_view text) {
  while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  std::string datagram = "PRIORITY=" + std::to_string(priority) +
                         "\nSYSLOG_IDENTIFIER=" + ProgramName() + "\nMESSAGE\n";
  const std::uint64_t size = text.size();
  for (int shift = 0; shift < 64; shift += 8) {
    datagram.push_back(static_cast<char>((size >> shift) & 0xff));
  }
  datagram.append(text);
  datagram.push_back('\n');
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, kJournalSocket, sizeof address.sun_path - 1);
  bool sent = sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&address),
                     sizeof address) == static_cast<ssize_t>(datagram.size());
  close(fd);
  return sent;
}

bool Contains(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         }) != text.end();
}

}  // namespace

int TracePriority(std::string_view text) {
  // The framework's lines start "[service](thread): "; rank what follows.
  if (size_t close = text.find("): "); text.starts_with("[") && close != std::string_view::npos) {
    text.remove_prefix(close + 3);
  }
  // What was passed over, for whatever reason, is a warning; a failure otherwise an error.
  for (std::string_view word : {"skipped", "ignored", "too long"}) {
    if (Contains(text, word)) return kWarning;
  }
  for (std::string_view word : {"fail", "error", "not written", "cannot"}) {
    if (Contains(text, word)) return kError;
  }
  for (std::string_view start : {"Entering ", "Leaving ", "Calling ", "Returned ", "Updating ",
                                 "Creating ", "Saving ", "Sleeping", "CNTService::"}) {
    if (text.starts_with(start)) return kDebug;
  }
  return kInfo;
}

int TraceLevel(const char* setting) {
  if (setting == nullptr || *setting == '\0') return kDebug;
  std::string value = ToLower(setting);
  if (value == "off" || value == "none") return -1;
  if (value == "error" || value == "err") return kError;
  if (value == "warning" || value == "warn") return kWarning;
  if (value == "info") return kInfo;
  if (value == "debug") return kDebug;
  char* end = nullptr;
  long number = std::strtol(value.c_str(), &end, 10);
  if (*end == '\0' && number >= 0 && number <= kDebug) return static_cast<int>(number);
  return kDebug;  // an unknown word keeps everything rather than hiding it
}

void OutputDebugString(std::string_view text) {
  {
    std::lock_guard lock(sinkMutex);
    if (capture) {
      capture(text);
      return;
    }
  }
  const int priority = TracePriority(text);
  if (priority > TraceLevel(std::getenv("TAMSEL_TRACE_LEVEL"))) return;
  const std::string line = Line(text);
  const char* path = std::getenv("TAMSEL_DEBUG_LOG");
  if (path != nullptr && *path != '\0') {
    AppendToFile(path, line);
    return;
  }
  const char* invocation = std::getenv("INVOCATION_ID");
  bool journal = false;
  if (StderrIsJournal()) {
    journal = true;
    if (SendToJournalStream(priority, line)) return;
  } else if (invocation != nullptr && *invocation != '\0') {
    journal = true;
    if (SendToJournalSocket(priority, text)) return;
  }
  AppendToLogFolder(line, journal);
}

ScopedDebugCapture::ScopedDebugCapture(std::function<void(std::string_view)> newCapture) {
  std::lock_guard lock(sinkMutex);
  saved_ = std::move(capture);
  capture = std::move(newCapture);
}

ScopedDebugCapture::~ScopedDebugCapture() {
  std::lock_guard lock(sinkMutex);
  capture = std::move(saved_);
}

}  // namespace tamsel::platform::network
