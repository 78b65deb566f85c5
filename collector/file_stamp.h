// What a file looked like: its size and modification time. A cached answer read from files
// is served again only while their stamps are unchanged, and only once the files have been
// quiet for longer than the file system's time granularity, so that a change made in the
// same clock tick as the reading can never hide behind an equal stamp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/network/machine.h"

namespace tamsel::collector {

struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since 1970
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOfFile(const std::filesystem::path& file);

// True when every stamp is older than the quiet period: an answer read now from those files
// may be kept.
bool QuietSince(std::initializer_list<FileStamp> stamps);

// Stamps of the machines' registries, as the registry keeps them (its store file and the
// store's write-ahead log in the machine's state folder). Machines are looked up once per
// pass.
class RegistryStamps {
 public:
  struct Stamp {
    bool usable = false;  // reachable and quiet: answers read now may be cached
    FileStamp store;
    FileStamp log;
    bool operator==(const Stamp&) const = default;
  };
  // The stamp of a machine's registry; unusable when the machine cannot be reached or its
  // registry changed too recently. Taken once per batch of records: every look at a machine
  // until the next Renew sees the same moment, so a batch costs one look per machine instead
  // of several per record.
  Stamp Of(const std::string& machineName);
  // The stamp of the collector's own registry, as read locally (the system environment).
  Stamp OfLocalMachine();
  // Whether the machine can be reached, at the same moment.
  bool Reachable(const std::string& machineName);
  // A new batch of records: every stamp, and every file stamp checked against this moment
  // (see Moment), is taken afresh.
  void Renew() {
    taken_.clear();
    ++moment_;
  }
  void Clear() {
    machines_.clear();
    Renew();
  }
  // Changes with every Renew: a file stamp checked at the same moment need not be checked
  // again.
  std::uint64_t Moment() const { return moment_; }

 private:
  struct Taken {
    bool reachable = false;
    bool stamped = false;
    Stamp stamp;
  };
  Taken& Look(const std::string& machineName);
  Stamp Stamped(Taken& taken, const std::shared_ptr<platform::network::Machine>& machine);

  std::unordered_map<std::string, std::shared_ptr<platform::network::Machine>> machines_;
  std::unordered_map<std::string, Taken> taken_;
  std::uint64_t moment_ = 0;
};

}  // namespace tamsel::collector
