// Trace file names, their place on the host, and line writing.
#include "reports/core/trace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "platform/network/network.h"

namespace tamsel::reports {

namespace {

bool IsWindowsFolder(std::string_view folder) {
  if (folder.empty() || folder.front() == '\\') return true;
  return folder.size() >= 2 && folder[1] == ':' &&
         std::isalpha(static_cast<unsigned char>(folder[0]));
}

}  // namespace

std::string TraceFileName(std::string_view folder, const std::tm& time) {
  char name[64];
  std::snprintf(name, sizeof name, "TamselReportsCom%02d%02d%04d_%02d.txt", time.tm_mon + 1,
                time.tm_mday, time.tm_year + 1900, time.tm_hour);
  return std::string(folder) + (IsWindowsFolder(folder) ? "\\" : "/") + name;
}

std::optional<std::filesystem::path> TraceFileHostPath(std::string_view fileName) {
  if (!IsWindowsFolder(fileName)) return std::filesystem::path(fileName);
  std::string windowsPath(fileName);
  // "\name" is the root of the current drive; a single leading backslash is not a share.
  if (windowsPath.size() >= 2 && windowsPath[0] == '\\' && windowsPath[1] != '\\') {
    windowsPath = "C:" + windowsPath;
  }
  std::filesystem::path hostPath;
  if (platform::network::Network::Current().ResolvePath(windowsPath, hostPath) != 0) {
    return std::nullopt;
  }
  return hostPath;
}

std::string TraceLine(const std::tm& now, const platform::network::RegionalFormats& formats,
                      std::string_view text) {
  std::string line = platform::network::FormatDateTime(now, formats);
  line += '\t';
  line += text;
  line += "\r\n";
  return line;
}

bool AppendToTraceFile(std::string_view fileName, std::string_view line) {
  std::optional<std::filesystem::path> path = TraceFileHostPath(fileName);
  if (!path) return false;
  int fd = ::open(path->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written == static_cast<ssize_t>(line.size());
}

}  // namespace tamsel::reports
