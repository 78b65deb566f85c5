// Test support: a temporary folder removed at scope exit, and scoped environment variables.
// Fixtures build their networks, logs and databases below a ScopedTempDir and nowhere else.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tamsel::testing {

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets (or, with std::nullopt, unsets) an environment variable and restores it at scope exit.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// The build folder (where the programs are) and the source folder: compiled in, or
// TAMSEL_BUILD_DIR / TAMSEL_SOURCE_DIR when set.
std::filesystem::path BuildDir();
std::filesystem::path SourceDir();

// Runs a shell command line, returns its exit code and captures stdout (and stderr when asked).
struct CommandResult {
  int exitCode = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& commandLine, bool mergeStderr = false);

}  // namespace tamsel::testing
