// Backup file names, their share form and folder chain, and the collector's clock.
#include "collector/backup_files.h"

#include <algorithm>
#include <cctype>

#include "platform/network/network.h"

namespace tamsel::collector {

namespace {

std::function<std::time_t()>& Clock() {
  static std::function<std::time_t()> clock = [] { return std::time(nullptr); };
  return clock;
}

}  // namespace

std::string ShareForm(std::string_view serverName, std::string_view path) {
  std::string text = "\\\\" + std::string(serverName) + "\\" + std::string(path);
  std::replace(text.begin(), text.end(), ':', '$');
  return text;
}

std::vector<std::string> BackupFolderChain(std::string_view shareFolder) {
  std::vector<std::string> chain;
  const size_t share = shareFolder.find('$');
  if (share == std::string_view::npos || share + 1 >= shareFolder.size()) return chain;
  std::string prefix(shareFolder.substr(0, share + 2));
  std::string_view rest = shareFolder.substr(share + 2);
  for (size_t slash = rest.find('\\', 1); !rest.empty() && slash != std::string_view::npos;
       slash = rest.find('\\', 1)) {
    prefix.append(rest.substr(0, slash + 1));
    rest.remove_prefix(slash + 1);
    chain.push_back(prefix);
  }
  return chain;
}

std::string BackupFileName(std::string_view backupPath, std::string_view logName,
                           std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  return std::string(backupPath) + "\\" + std::string(logName) + "_" + stamp + ".evt";
}

std::optional<std::string> BackupTimeStamp(std::string_view fileName, std::string_view logName) {
  constexpr size_t kStampLength = 14;
  const size_t expected = logName.size() + 1 + kStampLength + 4;
  if (fileName.size() != expected) return std::nullopt;
  if (!platform::network::EqualsIgnoreCase(fileName.substr(0, logName.size()), logName) ||
      fileName[logName.size()] != '_' ||
      !platform::network::EqualsIgnoreCase(fileName.substr(expected - 4), ".evt")) {
    return std::nullopt;
  }
  std::string_view stamp = fileName.substr(logName.size() + 1, kStampLength);
  if (!std::all_of(stamp.begin(), stamp.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
    return std::nullopt;
  }
  return std::string(stamp);
}

std::time_t CollectorTime() { return Clock()(); }

ScopedCollectorClock::ScopedCollectorClock(std::function<std::time_t()> clock)
    : saved_(std::move(Clock())) {
  Clock() = std::move(clock);
}

ScopedCollectorClock::~ScopedCollectorClock() { Clock() = std::move(saved_); }

}  // namespace tamsel::collector
