// A monitored server of a benchmark network: its machine folders and registry, an Application
// log with ten sources that share one message file, twenty local accounts, and events written
// into that log. The collector's benchmarks on either database engine collect such servers.
#pragma once

#include <filesystem>
#include <string>

namespace tamsel::bench {

inline constexpr int kBenchSources = 10;
inline constexpr int kBenchUsers = 20;

// Makes the server `name` on the current network; `modern` keeps its log as .evtx (Windows
// 6.3), else as .evt (5.2). The message file is copied in as system32\coll.dll. Throws
// std::runtime_error on failure.
void MakeBenchServer(const std::string& name, const std::filesystem::path& messageFile,
                     bool modern);

// Writes `count` events into the server's Application log: varied sources, types, messages
// (one with severity bits, one with two lines), categories, users and insertion strings.
void WriteBenchEvents(const std::string& name, int count);

}  // namespace tamsel::bench
