// The component's folder: the override of a scope, else the folder of the loaded module.
#include "reports/core/component_folder.h"

#include <mutex>

#include "platform/com/inproc_server.h"

namespace tamsel::reports {

namespace {

std::mutex folderMutex;
std::filesystem::path overrideFolder;

}  // namespace

std::filesystem::path ComponentFolder() {
  {
    std::lock_guard lock(folderMutex);
    if (!overrideFolder.empty()) return overrideFolder;
  }
  static const std::filesystem::path moduleFolder =
      platform::com::ModuleFileOf(reinterpret_cast<const void*>(&ComponentFolder)).parent_path();
  return moduleFolder;
}

ScopedComponentFolder::ScopedComponentFolder(std::filesystem::path folder) {
  std::lock_guard lock(folderMutex);
  saved_ = std::move(overrideFolder);
  overrideFolder = std::move(folder);
}

ScopedComponentFolder::~ScopedComponentFolder() {
  std::lock_guard lock(folderMutex);
  overrideFolder = std::move(saved_);
}

}  // namespace tamsel::reports
