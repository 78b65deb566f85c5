// One door per machine: every access to a machine's files and state goes through Machine.
// FolderMachine keeps a machine in a folder of the network root; another implementation can
// reach a real server over its own protocols without the callers changing.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/network/win32_error.h"

namespace tamsel::platform::network {

class Machine {
 public:
  virtual ~Machine() = default;

  // Upper-case machine name.
  virtual const std::string& Name() const = 0;

  // Exists and is not marked offline.
  virtual bool IsReachable() const = 0;

  // Host folder for the machine's own state: its registry store, event log locks, service
  // state, data folder. Created on demand inside an existing machine folder only, so asking
  // never brings a machine into existence.
  virtual std::filesystem::path StateFolder() const = 0;

  // "D:\a\b" on this machine -> host path. Each component is matched without regard to
  // case; a component that does not exist yet keeps its given spelling. ".." and anything
  // that would leave the machine's folder fail with ERROR_BAD_PATHNAME / ERROR_ACCESS_DENIED.
  virtual Win32Error ResolveLocalPath(std::string_view localPath,
                                      std::filesystem::path& hostPath) const = 0;

  // "D$\a\b" (share name and path below it) -> host path; an unknown share gives
  // ERROR_BAD_NET_NAME.
  virtual Win32Error ResolveSharePath(std::string_view shareAndPath,
                                      std::filesystem::path& hostPath) const = 0;

  // File operations with Windows semantics on a local path of this machine.
  virtual Win32Error CreateFolder(
      std::string_view localPath) const;  // ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND
  virtual Win32Error DeleteFile(std::string_view localPath) const;  // ERROR_FILE_NOT_FOUND
  virtual bool FileExists(std::string_view localPath) const;
  // Moves a file within this machine; an existing target is never replaced
  // (ERROR_ALREADY_EXISTS), a missing source gives ERROR_FILE_NOT_FOUND.
  virtual Win32Error MoveFile(std::string_view fromLocalPath, std::string_view toLocalPath) const;
};

// A machine kept in a folder: <root>/<NAME>/{drives/C,drives/D,state}, offline while
// <root>/<NAME>/OFFLINE exists.
class FolderMachine : public Machine {
 public:
  FolderMachine(std::filesystem::path folder, std::string name);

  const std::string& Name() const override { return name_; }
  bool IsReachable() const override;
  std::filesystem::path StateFolder() const override;
  Win32Error ResolveLocalPath(std::string_view localPath,
                              std::filesystem::path& hostPath) const override;
  Win32Error ResolveSharePath(std::string_view shareAndPath,
                              std::filesystem::path& hostPath) const override;

  const std::filesystem::path& Folder() const { return folder_; }
  void SetOnline(bool online) const;

 private:
  std::filesystem::path folder_;
  std::string name_;
};

}  // namespace tamsel::platform::network
