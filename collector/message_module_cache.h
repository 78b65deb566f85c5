// The message modules a pass has loaded, kept by path so every record of a source does not
// parse its message file again. An entry is used only while its file keeps its size and
// modification time; a changed or vanished file is loaded afresh.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/messages/library.h"

namespace tamsel::collector {

class MessageModuleCache {
 public:
  MessageModuleCache() = default;
  MessageModuleCache(const MessageModuleCache&) = delete;
  MessageModuleCache& operator=(const MessageModuleCache&) = delete;

  // The module of `path` (a share path) as LoadLibraryExA would load it now, owned by the
  // cache and valid until the next Load or Clear; null with GetLastError() set when it
  // cannot be loaded.
  platform::messages::HMODULE Load(const std::string& path);

  // Frees every module (at the end of a pass).
  void Clear() {
    entries_.clear();
    transient_.Reset();
  }
  std::size_t Size() const { return entries_.size(); }

 private:
  struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    bool operator==(const FileStamp&) const = default;
  };
  struct Entry {
    FileStamp stamp;
    platform::messages::ModuleHandle module;
  };
  // False when the file cannot be found or examined.
  static bool StampOf(const std::string& path, FileStamp& stamp);

  std::map<std::string, Entry> entries_;
  platform::messages::ModuleHandle transient_;  // the last module that could not be kept
};

}  // namespace tamsel::collector
