// File stamps, the quiet period, and the stamps of machines' registries.
#include "collector/file_stamp.h"

#include <sys/stat.h>

#include <chrono>

#include "platform/network/network.h"

namespace tamsel::collector {

namespace {

// Far above any file system's time granularity.
constexpr std::int64_t kQuietNanoseconds = 2'000'000'000;

}  // namespace

FileStamp StampOfFile(const std::filesystem::path& file) {
  FileStamp stamp;
  struct stat info;
  if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return stamp;
  stamp.exists = true;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.modified =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  return stamp;
}

bool QuietSince(std::initializer_list<FileStamp> stamps) {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  for (const FileStamp& stamp : stamps) {
    if (stamp.exists && now - stamp.modified < kQuietNanoseconds) return false;
  }
  return true;
}

RegistryStamps::Taken& RegistryStamps::Look(const std::string& machineName) {
  auto [found, added] = taken_.try_emplace(machineName);
  if (added) {
    auto& machine = machines_[machineName];
    if (!machine) machine = platform::network::Network::Current().OpenMachine(machineName);
    found->second.reachable = machine && machine->IsReachable();
  }
  return found->second;
}

bool RegistryStamps::Reachable(const std::string& machineName) {
  return Look(machineName).reachable;
}

RegistryStamps::Stamp RegistryStamps::Of(const std::string& machineName) {
  return Stamped(Look(machineName), machines_[machineName]);
}

RegistryStamps::Stamp RegistryStamps::OfLocalMachine() {
  // Read without going over the network: no reachability to look at.
  const platform::network::Network& network = platform::network::Network::Current();
  // Kept under a key no machine name can have.
  const std::string key = "\\";
  auto [found, added] = taken_.try_emplace(key);
  if (added) found->second.reachable = true;
  auto& machine = machines_[key];
  if (!machine) machine = network.LocalMachine();
  return Stamped(found->second, machine);
}

RegistryStamps::Stamp RegistryStamps::Stamped(
    Taken& taken, const std::shared_ptr<platform::network::Machine>& machine) {
  if (!taken.reachable || taken.stamped || !machine) return taken.stamp;
  taken.stamped = true;
  Stamp& stamp = taken.stamp;
  const std::filesystem::path store = machine->StateFolder() / "registry.db";
  stamp.store = StampOfFile(store);
  stamp.log = StampOfFile(store.string() + "-wal");
  stamp.usable = stamp.store.exists && QuietSince({stamp.store, stamp.log});
  return stamp;
}

}  // namespace tamsel::collector
