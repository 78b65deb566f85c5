// MessageModuleCache: message modules kept by path, checked against the file's size and
// modification time on every use.
#include "collector/message_module_cache.h"

#include <sys/stat.h>

#include <filesystem>

#include "platform/network/files.h"

namespace tamsel::collector {

namespace msg = platform::messages;

bool MessageModuleCache::StampOf(const std::string& path, FileStamp& stamp) {
  std::filesystem::path hostPath;
  if (platform::network::ResolveWindowsPath(path, hostPath) != platform::ERROR_SUCCESS) {
    return false;
  }
  struct stat info;
  if (::stat(hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.modified =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

msg::HMODULE MessageModuleCache::Load(const std::string& path) {
  FileStamp stamp;
  const bool known = StampOf(path, stamp);
  auto found = entries_.find(path);
  if (found != entries_.end()) {
    if (known && found->second.stamp == stamp) return found->second.module.Get();
    entries_.erase(found);  // changed or gone: never serve the old text
  }
  msg::HMODULE module =
      msg::LoadLibraryExA(path.c_str(), nullptr, msg::DONT_RESOLVE_DLL_REFERENCES);
  if (module == nullptr) return nullptr;
  // A file replaced while it was being loaded is not kept: its stamp may not match what was
  // read. The module stays loaded until the next load, for the caller to use.
  FileStamp after;
  if (!known || !StampOf(path, after) || !(after == stamp)) {
    transient_ = msg::ModuleHandle(module);
    return module;
  }
  Entry& entry = entries_[path];
  entry.stamp = stamp;
  entry.module = msg::ModuleHandle(module);
  return module;
}

}  // namespace tamsel::collector
