// MessageModuleCache: message modules kept by path, checked against their machine and their
// file's stamp on the first use of each moment.
#include "collector/message_module_cache.h"

#include "platform/network/files.h"
#include "platform/network/network.h"

namespace tamsel::collector {

namespace msg = platform::messages;
namespace net = platform::network;

namespace {

// The machine a share path ("\\NAME\C$\...") names; the local machine for a local path.
std::string MachineOf(const std::string& path) {
  if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') {
    return net::Network::Current().LocalMachineName();
  }
  return path.substr(2, path.find('\\', 2) - 2);
}

}  // namespace

msg::HMODULE MessageModuleCache::Load(const std::string& path) {
  auto found = entries_.find(path);
  if (found != entries_.end()) {
    Entry& entry = found->second;
    if (entry.checkedAt == machines_.Moment()) return entry.module.Get();
    if (machines_.Reachable(entry.machine) && StampOfFile(entry.hostPath) == entry.stamp) {
      entry.checkedAt = machines_.Moment();
      return entry.module.Get();
    }
    entries_.erase(found);  // changed, gone or out of reach: never serve the old text
  }
  Entry entry;
  const bool resolved = net::ResolveWindowsPath(path, entry.hostPath) == platform::ERROR_SUCCESS;
  if (resolved) entry.stamp = StampOfFile(entry.hostPath);
  msg::HMODULE module =
      msg::LoadLibraryExA(path.c_str(), nullptr, msg::DONT_RESOLVE_DLL_REFERENCES);
  if (module == nullptr) return nullptr;
  // Kept only when the file read is the file stamped, and it has been quiet for a while.
  entry.machine = MachineOf(path);
  if (!resolved || !entry.stamp.exists || !QuietSince({entry.stamp}) ||
      !(StampOfFile(entry.hostPath) == entry.stamp)) {
    transient_ = msg::ModuleHandle(module);
    return module;
  }
  entry.checkedAt = machines_.Moment();
  entry.module = msg::ModuleHandle(module);
  entries_.emplace(path, std::move(entry));
  return module;
}

}  // namespace tamsel::collector
