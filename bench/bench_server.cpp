#include "bench/bench_server.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/accounts/account_names.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"

namespace tamsel::bench {
namespace {

namespace net = platform::network;
namespace reg = platform::registry;
namespace evl = platform::eventlog;
namespace acc = platform::accounts;

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("benchmark server: ") + what + " failed");
}

}  // namespace

void MakeBenchServer(const std::string& name, const std::filesystem::path& messageFile,
                     bool modern) {
  const net::Network& network = net::Network::Current();
  network.CreateMachineFolder(name);
  auto machine = network.OpenMachine(name);
  for (const char* folder :
       {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32\\config",
        "C:\\WINDOWS\\system32\\winevt", "C:\\WINDOWS\\system32\\winevt\\Logs"}) {
    machine->CreateFolder(folder);
  }
  std::filesystem::path host;
  Require(network.ResolvePath("\\\\" + name + "\\C$\\WINDOWS\\system32", host) == 0, "resolve");
  std::filesystem::copy_file(messageFile, host / "coll.dll");
  reg::RegistryKey root, key;
  Require(reg::RegistryKey::Connect(name, reg::HKEY_LOCAL_MACHINE, root) == 0, "connect");
  reg::RegistryKey::Create(root.Get(), reg::kWindowsVersionKey, key);
  key.SetString("SystemRoot", "C:\\WINDOWS");
  key.SetString("CurrentVersion", modern ? "6.3" : "5.2");
  reg::RegistryKey::Create(root.Get(), std::string(evl::kEventLogKey) + "\\Application", key);
  key.SetString("File",
                modern ? "%SystemRoot%\\system32\\winevt\\Logs\\Application.evtx"
                       : "%SystemRoot%\\system32\\config\\AppEvent.Evt",
                reg::REG_EXPAND_SZ);
  key.SetDword("MaxSize", 0x8000000);
  key.SetDword("Retention", 0);
  for (int source = 0; source < kBenchSources; ++source) {
    reg::RegistryKey::Create(
        root.Get(),
        std::string(evl::kEventLogKey) + "\\Application\\Source" + std::to_string(source), key);
    key.SetString("EventMessageFile", "%SystemRoot%\\system32\\coll.dll", reg::REG_EXPAND_SZ);
    key.SetString("CategoryMessageFile", "%SystemRoot%\\system32\\coll.dll", reg::REG_EXPAND_SZ);
    key.SetDword("CategoryCount", 2);
    key.SetDword("TypesSupported", 7);
  }
  for (int user = 0; user < kBenchUsers; ++user) {
    acc::AddAccount(name, acc::MachineDomainSid(name).WithRid(1000 + user),
                    "user" + std::to_string(user));
  }
}

void WriteBenchEvents(const std::string& name, int count) {
  std::vector<evl::EventLogHandle> sources;
  for (int source = 0; source < kBenchSources; ++source) {
    sources.emplace_back(
        evl::RegisterEventSourceA(name.c_str(), ("Source" + std::to_string(source)).c_str()));
  }
  std::vector<std::vector<std::uint8_t>> sids;
  for (int user = 0; user < kBenchUsers; ++user) {
    sids.push_back(acc::MachineDomainSid(name).WithRid(1000 + user).Bytes());
  }
  static const std::uint32_t kIds[] = {1000, 1001, 0xC0001B7Cu, 1003};
  static const std::uint16_t kTypes[] = {1, 2, 4, 8, 16};
  for (int i = 0; i < count; ++i) {
    const std::string a = "item " + std::to_string(i);
    const std::string b = "the operation completed after " + std::to_string(i % 977) + " ms";
    const char* strings[] = {a.c_str(), b.c_str(), "third"};
    Require(evl::ReportEventA(sources[i % kBenchSources].Get(), kTypes[i % 5],
                              static_cast<std::uint16_t>(i % 3), kIds[i % 4],
                              i % kBenchUsers == 0 ? nullptr : sids[i % kBenchUsers].data(), 3, 0,
                              strings, nullptr) != 0,
            "ReportEventA");
  }
}

}  // namespace tamsel::bench
