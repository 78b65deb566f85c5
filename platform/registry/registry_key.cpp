// RegistryKey: an owned HKEY with typed value access.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/registry/registry.h"

namespace tamsel::platform::registry {

RegistryKey::~RegistryKey() {
  if (key_) RegCloseKey(key_);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (key_) RegCloseKey(key_);
    key_ = other.key_;
    other.key_ = nullptr;
  }
  return *this;
}

LSTATUS RegistryKey::Open(HKEY parent, std::string_view path, DWORD access, RegistryKey& out) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(parent, std::string(path).c_str(), 0, access, &key);
  if (status == 0) out = RegistryKey(key);
  return status;
}

LSTATUS RegistryKey::Create(HKEY parent, std::string_view path, RegistryKey& out) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(parent, std::string(path).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == 0) out = RegistryKey(key);
  return status;
}

LSTATUS RegistryKey::Connect(std::string_view machineName, HKEY root, RegistryKey& out) {
  HKEY key = nullptr;
  LSTATUS status = RegConnectRegistryA(std::string(machineName).c_str(), root, &key);
  if (status == 0) out = RegistryKey(key);
  return status;
}

LSTATUS RegistryKey::GetBinary(std::string_view name, std::vector<std::uint8_t>& value,
                               DWORD& type) const {
  std::string valueName(name);
  // One call for the common small value; when another writer makes the value bigger between
  // the calls, ERROR_MORE_DATA gives the new size and the read is simply repeated.
  value.resize(std::max<size_t>(value.capacity(), 256));
  for (;;) {
    auto size = static_cast<DWORD>(value.size());
    LSTATUS status = RegQueryValueExA(key_, valueName.c_str(), nullptr, &type, value.data(), &size);
    if (status == static_cast<LSTATUS>(ERROR_MORE_DATA)) {
      value.resize(size);
      continue;
    }
    value.resize(status == 0 ? size : 0);
    return status;
  }
}

LSTATUS RegistryKey::GetString(std::string_view name, std::string& value) const {
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  if (LSTATUS status = GetBinary(name, data, type)) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
  value.assign(data.begin(), data.end());
  value.resize(std::strlen(value.c_str()));
  return 0;
}

LSTATUS RegistryKey::GetDword(std::string_view name, DWORD& value) const {
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  if (LSTATUS status = GetBinary(name, data, type)) return status;
  if (type != REG_DWORD || data.size() != 4) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
  std::memcpy(&value, data.data(), 4);
  return 0;
}

LSTATUS RegistryKey::GetMultiString(std::string_view name, std::vector<std::string>& value) const {
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  if (LSTATUS status = GetBinary(name, data, type)) return status;
  if (type != REG_MULTI_SZ) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
  value.clear();
  std::string current;
  for (std::uint8_t byte : data) {
    if (byte != 0) {
      current.push_back(static_cast<char>(byte));
    } else if (!current.empty()) {
      value.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) value.push_back(std::move(current));
  return 0;
}

LSTATUS RegistryKey::SetString(std::string_view name, std::string_view value, DWORD type) const {
  std::string data(value);
  return RegSetValueExA(key_, std::string(name).c_str(), 0, type,
                        reinterpret_cast<const std::uint8_t*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1));
}

LSTATUS RegistryKey::SetDword(std::string_view name, DWORD value) const {
  return RegSetValueExA(key_, std::string(name).c_str(), 0, REG_DWORD,
                        reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
}

LSTATUS RegistryKey::SetMultiString(std::string_view name,
                                    const std::vector<std::string>& value) const {
  std::string data;
  for (const std::string& item : value) {
    data += item;
    data.push_back('\0');
  }
  data.push_back('\0');
  return RegSetValueExA(key_, std::string(name).c_str(), 0, REG_MULTI_SZ,
                        reinterpret_cast<const std::uint8_t*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

LSTATUS RegistryKey::SetBinary(std::string_view name, const std::vector<std::uint8_t>& value,
                               DWORD type) const {
  return RegSetValueExA(key_, std::string(name).c_str(), 0, type, value.data(),
                        static_cast<DWORD>(value.size()));
}

LSTATUS RegistryKey::DeleteValue(std::string_view name) const {
  return RegDeleteValueA(key_, std::string(name).c_str());
}

// Enumerates names by index, growing the buffer when a name does not fit.
template <typename Enumerate>
static std::vector<std::string> EnumerateNames(Enumerate enumerate) {
  std::vector<std::string> names;
  std::vector<char> name(256);
  for (DWORD index = 0;;) {
    auto size = static_cast<DWORD>(name.size());
    LSTATUS status = enumerate(index, name.data(), &size);
    if (status == static_cast<LSTATUS>(ERROR_MORE_DATA)) {
      name.resize(std::max<size_t>(name.size() * 2, size + 1));
      continue;
    }
    if (status != 0) break;
    names.emplace_back(name.data(), size);
    ++index;
  }
  return names;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  return EnumerateNames([this](DWORD index, char* name, DWORD* size) {
    return RegEnumKeyExA(key_, index, name, size, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> RegistryKey::ValueNames() const {
  return EnumerateNames([this](DWORD index, char* name, DWORD* size) {
    return RegEnumValueA(key_, index, name, size, nullptr, nullptr, nullptr, nullptr);
  });
}

}  // namespace tamsel::platform::registry
