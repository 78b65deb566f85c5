// The debug sink behind OutputDebugString.
#include "platform/network/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace tamsel::platform::network {

namespace {

std::mutex sinkMutex;
std::function<void(std::string_view)> capture;

void AppendToFile(const char* path, std::string_view text) {
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string line(text);
  if (line.empty() || line.back() != '\n') line.push_back('\n');
  // One write per text, so lines of concurrent writers never interleave.
  [[maybe_unused]] ssize_t written = write(fd, line.data(), line.size());
  close(fd);
}

}  // namespace

void OutputDebugString(std::string_view text) {
  {
    std::lock_guard lock(sinkMutex);
    if (capture) {
      capture(text);
      return;
    }
  }
  const char* path = std::getenv("TAMSEL_DEBUG_LOG");
  if (path != nullptr && *path != '\0') AppendToFile(path, text);
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
