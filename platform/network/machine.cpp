// FolderMachine: a machine kept in a folder of the network root, with Windows path rules.
#include "platform/network/machine.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <vector>

#include "platform/network/network.h"

namespace tamsel::platform::network {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// A component Windows would refuse, or that could climb out of the machine's folder.
bool IsUnsafeComponent(const std::string& part) {
  if (part == "." || part == "..") return true;
  for (char c : part) {
    if (c == ':' || c == '\0' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
        c == '|') {
      return true;
    }
  }
  return false;
}

// The existing child of `folder` whose name equals `name` without regard to case, else name.
fs::path MatchChild(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::exists(folder / name, error)) return folder / name;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (EqualsIgnoreCase(entry.path().filename().string(), name)) return entry.path();
  }
  return folder / name;
}

bool IsInside(const fs::path& base, const fs::path& candidate) {
  std::error_code error;
  fs::path realBase = fs::weakly_canonical(base, error);
  fs::path realCandidate = fs::weakly_canonical(candidate, error);
  auto [baseEnd, unused] =
      std::mismatch(realBase.begin(), realBase.end(), realCandidate.begin(), realCandidate.end());
  return baseEnd == realBase.end();
}

Win32Error ResolveBelow(const fs::path& drive, const std::vector<std::string>& parts, size_t first,
                        fs::path& hostPath) {
  std::error_code error;
  if (!fs::is_directory(drive, error)) return ERROR_PATH_NOT_FOUND;
  fs::path current = drive;
  for (size_t i = first; i < parts.size(); ++i) {
    if (IsUnsafeComponent(parts[i])) return ERROR_BAD_PATHNAME;
    current = MatchChild(current, parts[i]);
  }
  // A symbolic link anywhere on the way must not lead out of the drive.
  if (!IsInside(drive, current)) return ERROR_ACCESS_DENIED;
  hostPath = current;
  return ERROR_SUCCESS;
}

}  // namespace

FolderMachine::FolderMachine(fs::path folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {}

bool FolderMachine::IsReachable() const {
  std::error_code error;
  return fs::is_directory(folder_, error) && !fs::exists(folder_ / "OFFLINE", error);
}

void FolderMachine::SetOnline(bool online) const {
  if (online) {
    fs::remove(folder_ / "OFFLINE");
  } else {
    std::ofstream(folder_ / "OFFLINE") << "offline\n";
  }
}

fs::path FolderMachine::StateFolder() const {
  fs::path state = folder_ / "state";
  std::error_code error;
  // Only inside an existing machine folder: asking for the state of a machine that does not
  // exist must not bring it into existence.
  if (!folder_.empty() && fs::is_directory(folder_, error)) fs::create_directory(state, error);
  return state;
}

Win32Error FolderMachine::ResolveLocalPath(std::string_view localPath, fs::path& hostPath) const {
  if (folder_.empty()) return ERROR_BAD_NETPATH;
  if (localPath.size() < 2 || localPath[1] != ':' ||
      !std::isalpha(static_cast<unsigned char>(localPath[0]))) {
    return ERROR_BAD_PATHNAME;
  }
  if (localPath.size() > 2 && localPath[2] != '\\' && localPath[2] != '/') {
    return ERROR_BAD_PATHNAME;  // drive-relative paths have no meaning here
  }
  fs::path drive = MatchChild(folder_ / "drives", ToUpper(localPath.substr(0, 1)));
  return ResolveBelow(drive, SplitComponents(localPath.substr(2)), 0, hostPath);
}

Win32Error FolderMachine::ResolveSharePath(std::string_view shareAndPath,
                                           fs::path& hostPath) const {
  if (folder_.empty()) return ERROR_BAD_NETPATH;
  std::vector<std::string> parts = SplitComponents(shareAndPath);
  if (parts.empty()) return ERROR_BAD_NET_NAME;
  const std::string& share = parts[0];
  // Administrative shares: C$, D$, ... are the drives.
  if (share.size() != 2 || share[1] != '$' || !std::isalpha(static_cast<unsigned char>(share[0]))) {
    return ERROR_BAD_NET_NAME;
  }
  fs::path drive = MatchChild(folder_ / "drives", ToUpper(share.substr(0, 1)));
  std::error_code error;
  if (!fs::is_directory(drive, error)) return ERROR_BAD_NET_NAME;
  return ResolveBelow(drive, parts, 1, hostPath);
}

Win32Error Machine::CreateFolder(std::string_view localPath) const {
  fs::path host;
  if (Win32Error status = ResolveLocalPath(localPath, host); status != ERROR_SUCCESS) {
    return status;
  }
  std::error_code error;
  if (fs::exists(host, error)) return ERROR_ALREADY_EXISTS;
  if (!fs::is_directory(host.parent_path(), error)) return ERROR_PATH_NOT_FOUND;
  if (!fs::create_directory(host, error)) return error ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
  return ERROR_SUCCESS;
}

Win32Error Machine::DeleteFile(std::string_view localPath) const {
  fs::path host;
  if (Win32Error status = ResolveLocalPath(localPath, host); status != ERROR_SUCCESS) {
    return status;
  }
  std::error_code error;
  if (!fs::exists(fs::symlink_status(host, error))) {
    return fs::is_directory(host.parent_path(), error) ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND;
  }
  if (fs::is_directory(host, error)) return ERROR_ACCESS_DENIED;
  if (!fs::remove(host, error)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

bool Machine::FileExists(std::string_view localPath) const {
  fs::path host;
  std::error_code error;
  return ResolveLocalPath(localPath, host) == ERROR_SUCCESS && fs::exists(host, error);
}

Win32Error Machine::MoveFile(std::string_view fromLocalPath, std::string_view toLocalPath) const {
  fs::path from;
  fs::path to;
  if (Win32Error status = ResolveLocalPath(fromLocalPath, from); status != ERROR_SUCCESS) {
    return status;
  }
  if (Win32Error status = ResolveLocalPath(toLocalPath, to); status != ERROR_SUCCESS) {
    return status;
  }
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(from, error))) return ERROR_FILE_NOT_FOUND;
  if (!fs::is_directory(to.parent_path(), error)) return ERROR_PATH_NOT_FOUND;
  // A link cannot replace an existing name, which a rename would do.
  if (link(from.c_str(), to.c_str()) != 0) {
    return errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
  }
  unlink(from.c_str());
  return ERROR_SUCCESS;
}

}  // namespace tamsel::platform::network
