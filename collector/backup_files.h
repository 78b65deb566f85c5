// Names of the backup files a pass leaves on a monitored server: the file name of a log
// archived at a given time, the share form through which the collector reaches it, the
// folders to create one level at a time, and the recognition of backups an earlier pass
// left behind.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::collector {

// "\\" + server + "\" + path, with every ":" of the result made "$".
std::string ShareForm(std::string_view serverName, std::string_view path);

// The folders to create before the share folder itself, in order: each prefix that ends in
// a "\" after the drive share ("\\S\D$\a\b\c" gives "\\S\D$\a\" and "\\S\D$\a\b\").
std::vector<std::string> BackupFolderChain(std::string_view shareFolder);

// backupPath + "\" + log + "_" + time as "%Y%m%d%H%M%S" (local time) + ".evt".
std::string BackupFileName(std::string_view backupPath, std::string_view logName, std::time_t time);

// The time stamp text of `fileName` when it names a backup of `logName` ("<log>_<14 digits>
// .evt", any case); nothing otherwise.
std::optional<std::string> BackupTimeStamp(std::string_view fileName, std::string_view logName);

// The collector's clock (seconds since 1970). Tests put in their own.
std::time_t CollectorTime();
class ScopedCollectorClock {
 public:
  explicit ScopedCollectorClock(std::function<std::time_t()> clock);
  ~ScopedCollectorClock();
  ScopedCollectorClock(const ScopedCollectorClock&) = delete;
  ScopedCollectorClock& operator=(const ScopedCollectorClock&) = delete;

 private:
  std::function<std::time_t()> saved_;
};

}  // namespace tamsel::collector
