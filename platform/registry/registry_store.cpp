// SQLite-backed registry store. Names are matched through a lower-cased copy, so keys and
// values are case-insensitive and keep the spelling they were created with.
#include "platform/registry/registry_store.h"

#include <sys/stat.h>

#include <map>
#include <stdexcept>

#include "platform/network/network.h"

namespace tamsel::platform::registry {

using network::ToLower;

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_key("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    "  lname TEXT NOT NULL, UNIQUE(parent, lname));"
    "CREATE TABLE IF NOT EXISTS reg_value("
    "  key INTEGER NOT NULL, name TEXT NOT NULL, lname TEXT NOT NULL,"
    "  type INTEGER NOT NULL, data BLOB, PRIMARY KEY(key, lname)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO reg_key(id, parent, name, lname) VALUES"
    "  (1, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine'),"
    "  (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),"
    "  (3, 0, 'HKEY_USERS', 'hkey_users');";

}  // namespace

// Resets a cached statement when the call is done with it.
class RegistryStore::Statement {
 public:
  Statement(RegistryStore& store, const char* sql) : stmt_(store.Prepare(sql)) {}
  ~Statement() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const std::uint8_t* data, size_t size) {
    sqlite3_bind_blob(stmt_, index, size ? data : reinterpret_cast<const std::uint8_t*>(""),
                      static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
  }
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw std::runtime_error(std::string("registry store: ") +
                             sqlite3_errmsg(sqlite3_db_handle(stmt_)));
  }
  std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) {
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? text : "";
  }
  std::vector<std::uint8_t> Blob(int column) {
    auto data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(stmt_, column));
  }

 private:
  sqlite3_stmt* stmt_;
};

std::shared_ptr<RegistryStore> RegistryStore::ForFile(const std::filesystem::path& file) {
  // Stores stay open for the life of the process: opening SQLite (and its WAL) on every key
  // access would dominate the cost of a registry read. The file's identity is checked on each
  // use, so a machine removed and made anew gets a fresh store.
  struct CachedStore {
    std::shared_ptr<RegistryStore> store;
    dev_t device = 0;
    ino_t inode = 0;
  };
  static std::mutex cacheMutex;
  static std::map<std::filesystem::path, CachedStore> cache;
  std::lock_guard lock(cacheMutex);
  struct stat info {};
  bool exists = ::stat(file.c_str(), &info) == 0;
  CachedStore& cached = cache[file];
  if (cached.store && exists && cached.device == info.st_dev && cached.inode == info.st_ino) {
    return cached.store;
  }
  cached.store = std::make_shared<RegistryStore>(file);
  if (::stat(file.c_str(), &info) == 0) {
    cached.device = info.st_dev;
    cached.inode = info.st_ino;
  }
  return cached.store;
}

RegistryStore::RegistryStore(const std::filesystem::path& file) {
  if (sqlite3_open_v2(file.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("cannot open registry store " + file.string() + ": " + message);
  }
  sqlite3_busy_timeout(db_, 30000);
  Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  Exec(kSchema);
}

RegistryStore::~RegistryStore() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

void RegistryStore::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("registry store: " + message);
  }
}

sqlite3_stmt* RegistryStore::Prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("registry store: ") + sqlite3_errmsg(db_));
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

bool RegistryStore::KeyExists(std::int64_t key) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT 1 FROM reg_key WHERE id = ?");
  return stmt.Bind(1, key).Step();
}

std::optional<std::int64_t> RegistryStore::FindChild(std::int64_t parent, std::string_view name) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT id FROM reg_key WHERE parent = ? AND lname = ?");
  if (!stmt.Bind(1, parent).Bind(2, ToLower(name)).Step()) return std::nullopt;
  return stmt.Int(0);
}

std::int64_t RegistryStore::CreateChild(std::int64_t parent, std::string_view name, bool& created) {
  std::lock_guard lock(mutex_);
  {
    Statement insert(*this, "INSERT OR IGNORE INTO reg_key(parent, name, lname) VALUES (?, ?, ?)");
    insert.Bind(1, parent).Bind(2, name).Bind(3, ToLower(name)).Step();
    created = sqlite3_changes(db_) > 0;
  }
  Statement stmt(*this, "SELECT id FROM reg_key WHERE parent = ? AND lname = ?");
  stmt.Bind(1, parent).Bind(2, ToLower(name)).Step();
  return stmt.Int(0);
}

bool RegistryStore::HasChildren(std::int64_t key) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT 1 FROM reg_key WHERE parent = ? LIMIT 1");
  return stmt.Bind(1, key).Step();
}

void RegistryStore::CollectSubtree(std::int64_t key, std::vector<std::int64_t>& keys) {
  keys.push_back(key);
  std::vector<std::int64_t> children;
  {
    Statement stmt(*this, "SELECT id FROM reg_key WHERE parent = ?");
    stmt.Bind(1, key);
    while (stmt.Step()) children.push_back(stmt.Int(0));
  }
  for (std::int64_t child : children) CollectSubtree(child, keys);
}

void RegistryStore::DeleteKey(std::int64_t key) {
  std::lock_guard lock(mutex_);
  Exec("BEGIN IMMEDIATE");
  try {
    std::vector<std::int64_t> keys;
    CollectSubtree(key, keys);
    for (std::int64_t id : keys) {
      Statement values(*this, "DELETE FROM reg_value WHERE key = ?");
      values.Bind(1, id).Step();
      Statement row(*this, "DELETE FROM reg_key WHERE id = ?");
      row.Bind(1, id).Step();
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::optional<std::string> RegistryStore::ChildName(std::int64_t parent, std::uint32_t index) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this,
                 "SELECT name FROM reg_key WHERE parent = ? ORDER BY lname LIMIT 1 OFFSET ?");
  if (!stmt.Bind(1, parent).Bind(2, static_cast<std::int64_t>(index)).Step()) return std::nullopt;
  return stmt.Text(0);
}

std::uint32_t RegistryStore::ChildCount(std::int64_t parent) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT COUNT(*) FROM reg_key WHERE parent = ?");
  stmt.Bind(1, parent).Step();
  return static_cast<std::uint32_t>(stmt.Int(0));
}

std::optional<RegistryStore::Value> RegistryStore::GetValue(std::int64_t key,
                                                            std::string_view name) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT name, type, data FROM reg_value WHERE key = ? AND lname = ?");
  if (!stmt.Bind(1, key).Bind(2, ToLower(name)).Step()) return std::nullopt;
  return Value{stmt.Text(0), static_cast<std::uint32_t>(stmt.Int(1)), stmt.Blob(2)};
}

std::optional<RegistryStore::Value> RegistryStore::ValueAt(std::int64_t key, std::uint32_t index) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this,
                 "SELECT name, type, data FROM reg_value WHERE key = ? ORDER BY lname "
                 "LIMIT 1 OFFSET ?");
  if (!stmt.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step()) return std::nullopt;
  return Value{stmt.Text(0), static_cast<std::uint32_t>(stmt.Int(1)), stmt.Blob(2)};
}

std::uint32_t RegistryStore::ValueCount(std::int64_t key) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "SELECT COUNT(*) FROM reg_value WHERE key = ?");
  stmt.Bind(1, key).Step();
  return static_cast<std::uint32_t>(stmt.Int(0));
}

void RegistryStore::SetValue(std::int64_t key, std::string_view name, std::uint32_t type,
                             const std::uint8_t* data, size_t size) {
  std::lock_guard lock(mutex_);
  // One statement: a concurrent reader sees the old value or the new one, never a part.
  Statement stmt(
      *this,
      "INSERT INTO reg_value(key, name, lname, type, data) VALUES (?, ?, ?, ?, ?) "
      "ON CONFLICT(key, lname) DO UPDATE SET type = excluded.type, data = excluded.data");
  stmt.Bind(1, key).Bind(2, name).Bind(3, ToLower(name)).Bind(4, static_cast<std::int64_t>(type));
  stmt.BindBlob(5, data, size).Step();
}

bool RegistryStore::DeleteValue(std::int64_t key, std::string_view name) {
  std::lock_guard lock(mutex_);
  Statement stmt(*this, "DELETE FROM reg_value WHERE key = ? AND lname = ?");
  stmt.Bind(1, key).Bind(2, ToLower(name)).Step();
  return sqlite3_changes(db_) > 0;
}

}  // namespace tamsel::platform::registry
