// The network root: one folder per machine, the local machine's name, and the process's
// current network (TAMSEL_NETWORK / TAMSEL_MACHINE), which the Win32-shaped functions use.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine.h"

namespace tamsel::platform::network {

class Network {
 public:
  Network(std::filesystem::path root, std::string localMachineName);

  // TAMSEL_NETWORK (else $HOME/.local/share/tamsel/network) and TAMSEL_MACHINE (else the
  // host name), both upper-cased where they name a machine.
  static Network FromEnvironment();

  // The network the process works in. Tools and programs set it once at start; tests replace
  // it with ScopedCurrentNetwork.
  static const Network& Current();
  static void SetCurrent(Network network);

  const std::filesystem::path& Root() const { return root_; }
  const std::string& LocalMachineName() const { return localMachineName_; }

  // The machine by name: "", "\\NAME", "NAME" and the local name all work, in any case.
  // A machine that does not exist, or whose name is invalid, is returned too; it is simply not
  // reachable.
  std::shared_ptr<Machine> OpenMachine(std::string_view name) const;
  std::shared_ptr<Machine> LocalMachine() const { return OpenMachine(localMachineName_); }

  // Names of the machines that have a folder, sorted.
  std::vector<std::string> MachineNames() const;

  // Makes the machine's folder with drives C and D. Returns false if it already exists or the
  // name is not a valid machine name.
  bool CreateMachineFolder(std::string_view name) const;

  // Resolves "\\SRV\D$\a\b" (machine must be reachable) or, without a leading "\\", a local
  // path "D:\a\b" on the local machine. Returns a Win32 error code.
  Win32Error ResolvePath(std::string_view windowsPath, std::filesystem::path& hostPath) const;

 private:
  std::filesystem::path root_;
  std::string localMachineName_;
};

// Replaces the current network for a scope (tests).
class ScopedCurrentNetwork {
 public:
  explicit ScopedCurrentNetwork(Network network);
  ~ScopedCurrentNetwork();
  ScopedCurrentNetwork(const ScopedCurrentNetwork&) = delete;
  ScopedCurrentNetwork& operator=(const ScopedCurrentNetwork&) = delete;

 private:
  std::optional<Network> saved_;
};

// "\\srv01" / "srv01" / "SRV01" -> "SRV01".
std::string CanonicalMachineName(std::string_view name);

// A name a machine can have: 1 to 63 letters, digits and "-_.$", not only dots. Anything
// else (separators, "..") could name a folder outside the network root.
bool IsValidMachineName(std::string_view name);

// Case-insensitive comparison for machine, log and source names (ASCII folding).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);

}  // namespace tamsel::platform::network
