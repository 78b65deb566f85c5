// Test support for the event log tests: a temporary network with a local machine and a server,
// and helpers to register logs and sources and to read a whole log the way the collector does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/eventlog/event_log.h"
#include "platform/eventlog/evt_format.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::eventlog::testsupport {

class TestNetwork {
 public:
  TestNetwork() : scoped_(network::Network(temp_.Path(), "LOCALPC")) {
    network::Network::Current().CreateMachineFolder("LOCALPC");
    network::Network::Current().CreateMachineFolder("SRV01");
  }
  const std::filesystem::path& Root() const { return temp_.Path(); }
  std::filesystem::path Drive(const std::string& machine, char drive) const {
    return temp_.Path() / machine / "drives" / std::string(1, drive);
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork scoped_;
};

// A value of the machine's Windows version key (SystemRoot, CurrentVersion).
inline void SetVersionValue(const std::string& machine, const std::string& name,
                            const std::string& value) {
  registry::RegistryKey root;
  registry::RegistryKey version;
  registry::RegistryKey::Connect(machine, registry::HKEY_LOCAL_MACHINE, root);
  registry::RegistryKey::Create(root.Get(), registry::kWindowsVersionKey, version);
  version.SetString(name, value);
}

inline void RegisterLog(const std::string& machine, const std::string& log, const std::string& file,
                        std::uint32_t maxSize = 0x80000, std::uint32_t retention = 0) {
  registry::RegistryKey root;
  registry::RegistryKey key;
  registry::RegistryKey::Connect(machine, registry::HKEY_LOCAL_MACHINE, root);
  registry::RegistryKey::Create(root.Get(), std::string(kEventLogKey) + "\\" + log, key);
  key.SetString("File", file, registry::REG_EXPAND_SZ);
  key.SetDword("MaxSize", maxSize);
  key.SetDword("Retention", retention);
}

inline void RegisterSource(const std::string& machine, const std::string& log,
                           const std::string& source) {
  registry::RegistryKey root;
  registry::RegistryKey key;
  registry::RegistryKey::Connect(machine, registry::HKEY_LOCAL_MACHINE, root);
  registry::RegistryKey::Create(root.Get(), std::string(kEventLogKey) + "\\" + log + "\\" + source,
                                key);
  key.SetDword("TypesSupported", 7);
}

// Reads every record through a 1024-byte buffer, growing it for a record that needs more.
inline std::vector<ParsedRecord> ReadAll(HANDLE log, DWORD direction = EVENTLOG_FORWARDS_READ,
                                         DWORD* lastError = nullptr) {
  std::vector<ParsedRecord> records;
  std::vector<std::uint8_t> buffer(1024);
  DWORD read = 0;
  DWORD needed = 0;
  while (true) {
    if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | direction, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      if (lastError) *lastError = GetLastError();
      return records;
    }
    for (DWORD at = 0; at < read;) {
      DWORD length = GetU32(buffer.data() + at);
      ParsedRecord record;
      if (length == 0 || at + length > read ||
          !ParseAnsiRecord({buffer.data() + at, length}, record)) {
        if (lastError) *lastError = ERROR_EVENTLOG_FILE_CORRUPT;
        return records;
      }
      records.push_back(std::move(record));
      at += length;
    }
    buffer.resize(1024);
  }
}

}  // namespace tamsel::platform::eventlog::testsupport
