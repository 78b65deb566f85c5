// The message modules a pass has loaded, kept by path so every record of a source does not
// parse its message file again. An entry is used only while its machine can be reached and
// its file keeps its size and modification time, both looked at once per moment of the
// machines' stamps (a batch of records); a changed or vanished file is loaded afresh, and a
// file changed moments ago is not kept at all (see file_stamp.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "collector/file_stamp.h"
#include "platform/messages/library.h"

namespace tamsel::collector {

class MessageModuleCache {
 public:
  // Reachability of machines is asked of `machines`, at the moment of the record.
  explicit MessageModuleCache(RegistryStamps& machines) : machines_(machines) {}
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
  struct Entry {
    std::string machine;
    std::filesystem::path hostPath;
    FileStamp stamp;
    std::uint64_t checkedAt = 0;  // the moment of the machines' stamps it was last checked at
    platform::messages::ModuleHandle module;
  };

  RegistryStamps& machines_;
  std::map<std::string, Entry> entries_;
  platform::messages::ModuleHandle transient_;  // the last module that could not be kept
};

}  // namespace tamsel::collector
