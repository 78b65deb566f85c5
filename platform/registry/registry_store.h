// One machine's registry kept in a SQLite file: keys as a tree of rows, values per key.
// Shared by every handle of the process on that machine; safe across threads and processes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamsel::platform::registry {

class RegistryStore {
 public:
  static constexpr std::int64_t kLocalMachine = 1;
  static constexpr std::int64_t kCurrentUser = 2;
  static constexpr std::int64_t kUsers = 3;

  // The store of the machine whose state folder is given; one instance per file per process.
  static std::shared_ptr<RegistryStore> ForFile(const std::filesystem::path& file);

  explicit RegistryStore(const std::filesystem::path& file);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  bool KeyExists(std::int64_t key);
  std::optional<std::int64_t> FindChild(std::int64_t parent, std::string_view name);
  // Creates the child if missing; `created` tells which.
  std::int64_t CreateChild(std::int64_t parent, std::string_view name, bool& created);
  bool HasChildren(std::int64_t key);
  void DeleteKey(std::int64_t key);  // with everything below it
  std::optional<std::string> ChildName(std::int64_t parent, std::uint32_t index);
  std::uint32_t ChildCount(std::int64_t parent);

  std::optional<Value> GetValue(std::int64_t key, std::string_view name);
  std::optional<Value> ValueAt(std::int64_t key, std::uint32_t index);
  std::uint32_t ValueCount(std::int64_t key);
  void SetValue(std::int64_t key, std::string_view name, std::uint32_t type,
                const std::uint8_t* data, size_t size);
  bool DeleteValue(std::int64_t key, std::string_view name);

 private:
  class Statement;
  sqlite3_stmt* Prepare(const char* sql);
  void Exec(const char* sql);
  void CollectSubtree(std::int64_t key, std::vector<std::int64_t>& keys);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

}  // namespace tamsel::platform::registry
