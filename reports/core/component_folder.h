// The folder of the component's own library file, where AppConfig.xml lies. Tests and hosts
// that link the component statically name the folder for a scope instead.
#pragma once

#include <filesystem>

namespace tamsel::reports {

std::filesystem::path ComponentFolder();

class ScopedComponentFolder {
 public:
  explicit ScopedComponentFolder(std::filesystem::path folder);
  ~ScopedComponentFolder();
  ScopedComponentFolder(const ScopedComponentFolder&) = delete;
  ScopedComponentFolder& operator=(const ScopedComponentFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace tamsel::reports
