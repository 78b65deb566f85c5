// The Win32 registry functions over RegistryStore.
#include "platform/registry/registry.h"

#include <cstring>
#include <exception>

#include "platform/network/network.h"
#include "platform/registry/registry_store.h"

namespace tamsel::platform::registry {

using network::Network;

// An open key. Predefined roots have no store: they bind to the local machine of the current
// network at each use, so a process that switches networks (tests) follows it.
struct OpenKey {
  std::shared_ptr<RegistryStore> store;
  std::int64_t id = 0;
  DWORD access = KEY_ALL_ACCESS;
  bool predefined = false;
  const char* classesPath = nullptr;  // HKEY_CLASSES_ROOT: a path below HKLM
};

namespace {

OpenKey localMachineRoot{nullptr, RegistryStore::kLocalMachine, KEY_ALL_ACCESS, true, nullptr};
OpenKey currentUserRoot{nullptr, RegistryStore::kCurrentUser, KEY_ALL_ACCESS, true, nullptr};
OpenKey usersRoot{nullptr, RegistryStore::kUsers, KEY_ALL_ACCESS, true, nullptr};
OpenKey classesRoot{nullptr, RegistryStore::kLocalMachine, KEY_ALL_ACCESS, true,
                    "SOFTWARE\\Classes"};

constexpr LSTATUS ERROR_KEY_DELETED = 1018;
constexpr size_t kMaxKeyNameLength = 255;  // per path component, as Windows

std::shared_ptr<RegistryStore> StoreOf(const network::Machine& machine) {
  return RegistryStore::ForFile(machine.StateFolder() / "registry.db");
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// HKLM\SOFTWARE\Classes, made on first use. Looked up first, so a read through
// HKEY_CLASSES_ROOT does not take the store's write lock.
std::int64_t ClassesKey(RegistryStore& store, std::int64_t id) {
  for (const std::string& part : SplitPath(classesRoot.classesPath)) {
    if (auto child = store.FindChild(id, part)) {
      id = *child;
      continue;
    }
    bool created = false;
    id = store.CreateChild(id, part, created);
  }
  return id;
}

// The store and key id a handle stands for; roots resolve to the local machine.
LSTATUS Resolve(HKEY key, std::shared_ptr<RegistryStore>& store, std::int64_t& id) {
  if (key == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  id = key->id;
  store = key->store;
  if (!store) {
    auto machine = Network::Current().LocalMachine();
    if (!machine->IsReachable()) return static_cast<LSTATUS>(ERROR_BAD_NETPATH);
    store = StoreOf(*machine);
  }
  if (key->classesPath != nullptr) id = ClassesKey(*store, id);
  if (!key->predefined && !store->KeyExists(id)) return ERROR_KEY_DELETED;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS Walk(RegistryStore& store, std::int64_t start, std::string_view path, std::int64_t& id) {
  id = start;
  for (const std::string& part : SplitPath(path)) {
    auto child = store.FindChild(id, part);
    if (!child) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    id = *child;
  }
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

HKEY NewHandle(std::shared_ptr<RegistryStore> store, std::int64_t id, DWORD access) {
  return new OpenKey{std::move(store), id, access == 0 ? KEY_READ : access, false, nullptr};
}

bool CanWrite(HKEY key) { return (key->access & KEY_SET_VALUE) != 0; }

// Every store failure (disk, corruption) becomes a Win32 code; nothing escapes to callers.
template <typename Body>
LSTATUS Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return static_cast<LSTATUS>(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception&) {
    return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
  }
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

const HKEY HKEY_CLASSES_ROOT = &classesRoot;
const HKEY HKEY_CURRENT_USER = &currentUserRoot;
const HKEY HKEY_LOCAL_MACHINE = &localMachineRoot;
const HKEY HKEY_USERS = &usersRoot;

LSTATUS RegConnectRegistryA(const char* machineName, HKEY root, HKEY* result) {
  return Guarded([&]() -> LSTATUS {
    if (result == nullptr || root == nullptr || !root->predefined) {
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    auto machine = Network::Current().OpenMachine(machineName ? machineName : "");
    if (!machine->IsReachable()) return static_cast<LSTATUS>(ERROR_BAD_NETPATH);
    auto store = StoreOf(*machine);
    std::int64_t id = root->id;
    if (root->classesPath != nullptr) id = ClassesKey(*store, id);
    *result = new OpenKey{store, id, KEY_ALL_ACCESS, false, nullptr};
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD, DWORD access, HKEY* result) {
  return Guarded([&]() -> LSTATUS {
    if (result == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    std::int64_t target;
    if (LSTATUS status = Walk(*store, id, subKey ? subKey : "", target)) return status;
    *result = NewHandle(store, target, access);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, DWORD access, void*,
                        HKEY* result, DWORD* disposition) {
  return Guarded([&]() -> LSTATUS {
    if (result == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    bool anyCreated = false;
    for (const std::string& part : SplitPath(subKey ? subKey : "")) {
      if (part.size() > kMaxKeyNameLength) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
      if (auto child = store->FindChild(id, part)) {
        id = *child;
        continue;
      }
      if ((key->access & KEY_CREATE_SUB_KEY) == 0) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
      bool created = false;
      id = store->CreateChild(id, part, created);
      anyCreated = anyCreated || created;
    }
    if (disposition) *disposition = anyCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(store, id, access == 0 ? KEY_ALL_ACCESS : access);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  if (!key->predefined) delete key;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

static LSTATUS DeleteKey(HKEY key, const char* subKey, bool tree) {
  return Guarded([&]() -> LSTATUS {
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    std::int64_t target;
    if (LSTATUS status = Walk(*store, id, subKey ? subKey : "", target)) return status;
    if (target <= RegistryStore::kUsers) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    if (!tree && store->HasChildren(target)) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    store->DeleteKey(target);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey) {
  if (subKey == nullptr || *subKey == '\0') return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  return DeleteKey(key, subKey, false);
}

LSTATUS RegDeleteTreeA(HKEY key, const char* subKey) { return DeleteKey(key, subKey, true); }

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, std::uint8_t* data,
                         DWORD* dataSize) {
  return Guarded([&]() -> LSTATUS {
    if (data != nullptr && dataSize == nullptr)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    auto value = store->GetValue(id, valueName ? valueName : "");
    if (!value) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    if (type) *type = value->type;
    auto needed = static_cast<DWORD>(value->data.size());
    if (dataSize == nullptr) return static_cast<LSTATUS>(ERROR_SUCCESS);
    if (data == nullptr) {
      *dataSize = needed;
      return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (*dataSize < needed) {
      *dataSize = needed;
      return static_cast<LSTATUS>(ERROR_MORE_DATA);
    }
    if (needed) std::memcpy(data, value->data.data(), needed);
    *dataSize = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const std::uint8_t* data,
                       DWORD dataSize) {
  return Guarded([&]() -> LSTATUS {
    if (data == nullptr && dataSize != 0) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    if (type == REG_DWORD && dataSize != 4) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    if (!CanWrite(key)) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    std::vector<std::uint8_t> bytes(data, data + dataSize);
    // Strings are kept with their terminating NUL, as the ANSI API hands them back.
    if (IsStringType(type) && (bytes.empty() || bytes.back() != 0)) bytes.push_back(0);
    store->SetValue(id, valueName ? valueName : "", type, bytes.data(), bytes.size());
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegDeleteValueA(HKEY key, const char* valueName) {
  return Guarded([&]() -> LSTATUS {
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    if (!CanWrite(key)) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    return store->DeleteValue(id, valueName ? valueName : "")
               ? static_cast<LSTATUS>(ERROR_SUCCESS)
               : static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  });
}

static LSTATUS CopyName(const std::string& text, char* out, DWORD* size) {
  if (out == nullptr || size == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  if (text.size() + 1 > *size) {
    *size = static_cast<DWORD>(text.size() + 1);
    return static_cast<LSTATUS>(ERROR_MORE_DATA);
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  *size = static_cast<DWORD>(text.size());
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char*, DWORD*,
                      void*) {
  return Guarded([&]() -> LSTATUS {
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    auto child = store->ChildName(id, index);
    if (!child) return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
    return CopyName(*child, name, nameSize);
  });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD*,
                      DWORD* type, std::uint8_t* data, DWORD* dataSize) {
  return Guarded([&]() -> LSTATUS {
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    auto value = store->ValueAt(id, index);
    if (!value) return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
    if (LSTATUS status = CopyName(value->name, valueName, valueNameSize)) return status;
    if (type) *type = value->type;
    if (dataSize) {
      auto needed = static_cast<DWORD>(value->data.size());
      if (data != nullptr && *dataSize < needed) {
        *dataSize = needed;
        return static_cast<LSTATUS>(ERROR_MORE_DATA);
      }
      if (data != nullptr && needed) std::memcpy(data, value->data.data(), needed);
      *dataSize = needed;
    }
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

LSTATUS RegQueryInfoKeyA(HKEY key, DWORD* subKeyCount, DWORD* valueCount) {
  return Guarded([&]() -> LSTATUS {
    std::shared_ptr<RegistryStore> store;
    std::int64_t id;
    if (LSTATUS status = Resolve(key, store, id)) return status;
    if (subKeyCount) *subKeyCount = store->ChildCount(id);
    if (valueCount) *valueCount = store->ValueCount(id);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

}  // namespace tamsel::platform::registry
