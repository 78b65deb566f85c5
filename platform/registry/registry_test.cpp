// The registry API: Windows semantics, remote connect, and several processes writing at once.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::registry {
namespace {

using network::Network;
using network::ScopedCurrentNetwork;

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : scope_(Network(temp_.Path(), "SRV01")) {
    Network::Current().CreateMachineFolder("SRV01");
    Network::Current().CreateMachineFolder("SRV02");
  }

  static RegistryKey CreateKey(HKEY root, const char* path) {
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Create(root, path, key), 0) << path;
    return key;
  }

  testing::ScopedTempDir temp_;
  ScopedCurrentNetwork scope_;
};

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tamsel\\Collector");
  ASSERT_EQ(key.SetString("RefreshRate", "15"), 0);
  RegistryKey again;
  DWORD disposition = 0;
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\TAMSEL\\collector", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &raw, &disposition),
            0);
  again = RegistryKey(raw);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  std::string value;
  ASSERT_EQ(again.GetString("REFRESHRATE", value), 0);
  EXPECT_EQ(value, "15");
  ASSERT_EQ(again.SetString("refreshrate", "30"), 0);  // the same value, its name kept
  EXPECT_EQ(key.ValueNames(), std::vector<std::string>{"RefreshRate"});
  RegistryKey parent;
  ASSERT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\tamsel", KEY_READ, parent), 0);
  EXPECT_EQ(parent.SubKeyNames(), std::vector<std::string>{"Collector"});
  ASSERT_EQ(key.GetString("RefreshRate", value), 0);
  EXPECT_EQ(value, "30");
}

TEST_F(RegistryTest, TypesComeBackAsStored) {
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Types");
  ASSERT_EQ(key.SetString("Sz", "text"), 0);
  ASSERT_EQ(key.SetString("Expand", "%SystemRoot%\\x", REG_EXPAND_SZ), 0);
  ASSERT_EQ(key.SetDword("Dword", 0xDEADBEEF), 0);
  ASSERT_EQ(key.SetMultiString("Multi", {"a", "bc"}), 0);
  ASSERT_EQ(key.SetBinary("Binary", {0, 1, 0xFF}), 0);

  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key.Get(), "Sz", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 5u);  // with its NUL, as the ANSI function reports it
  std::string text;
  ASSERT_EQ(key.GetString("Expand", text), 0);
  EXPECT_EQ(text, "%SystemRoot%\\x");
  DWORD dword = 0;
  ASSERT_EQ(key.GetDword("Dword", dword), 0);
  EXPECT_EQ(dword, 0xDEADBEEFu);
  std::vector<std::string> multi;
  ASSERT_EQ(key.GetMultiString("Multi", multi), 0);
  EXPECT_EQ(multi, (std::vector<std::string>{"a", "bc"}));
  std::vector<std::uint8_t> binary;
  ASSERT_EQ(key.GetBinary("Binary", binary, type), 0);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(binary, (std::vector<std::uint8_t>{0, 1, 0xFF}));
  // Typed getters refuse a value of another type.
  EXPECT_EQ(key.GetDword("Sz", dword), static_cast<LSTATUS>(ERROR_INVALID_DATA));
  EXPECT_EQ(key.GetString("Dword", text), static_cast<LSTATUS>(ERROR_INVALID_DATA));
  // A DWORD must be four bytes.
  std::uint8_t two[2] = {1, 2};
  EXPECT_EQ(RegSetValueExA(key.Get(), "Bad", 0, REG_DWORD, two, 2),
            static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryTest, MissingKeysAndValues) {
  HKEY raw = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_READ, &raw),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(raw, nullptr);
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Some");
  std::string value;
  EXPECT_EQ(key.GetString("Nope", value), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key.DeleteValue("Nope"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope"),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, EnumerationByIndexWithSizesAndEnd) {
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog");
  for (const char* log : {"System", "Application", "Security"}) CreateKey(key.Get(), log);
  ASSERT_EQ(key.SetString("LongValueName", "0123456789"), 0);

  char name[256];
  std::vector<std::string> names;
  DWORD index = 0;
  LSTATUS status;
  for (;; ++index) {
    DWORD size = sizeof name;
    status = RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status != 0) break;
    EXPECT_EQ(size, std::strlen(name));
    names.emplace_back(name);
  }
  EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(names, (std::vector<std::string>{"Application", "Security", "System"}));

  DWORD small = 4;  // "Application" needs 12 with its NUL
  EXPECT_EQ(RegEnumKeyExA(key.Get(), 0, name, &small, nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(small, 12u);

  std::uint8_t data[4];
  DWORD dataSize = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key.Get(), "LongValueName", nullptr, &type, data, &dataSize),
            static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(dataSize, 11u);
  DWORD nameSize = sizeof name;
  dataSize = sizeof data;
  EXPECT_EQ(RegEnumValueA(key.Get(), 0, name, &nameSize, nullptr, &type, data, &dataSize),
            static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(dataSize, 11u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(key.Get(), 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));

  DWORD subKeys = 0;
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key.Get(), &subKeys, &values), 0);
  EXPECT_EQ(subKeys, 3u);
  EXPECT_EQ(values, 1u);
}

TEST_F(RegistryTest, LongNamesAreEnumeratedWhole) {
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Long");
  std::string longName(300, 'v');
  ASSERT_EQ(key.SetDword(longName, 1), 0);
  EXPECT_EQ(key.ValueNames(), std::vector<std::string>{longName});
  CreateKey(key.Get(), std::string(255, 'k').c_str());
  EXPECT_EQ(key.SubKeyNames(), std::vector<std::string>{std::string(255, 'k')});
  // Key names longer than Windows allows are refused, not stored unreachable.
  HKEY raw = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key.Get(), std::string(256, 'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &raw, nullptr),
            static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryTest, ReadOnlyHandleRefusesWrites) {
  CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly").SetDword("x", 1);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly", KEY_READ, key), 0);
  EXPECT_EQ(key.SetDword("x", 2), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(key.DeleteValue("x"), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  HKEY raw = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(key.Get(), "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr),
      static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  DWORD value = 0;
  ASSERT_EQ(key.GetDword("x", value), 0);
  EXPECT_EQ(value, 1u);
}

TEST_F(RegistryTest, ClassesRootIsAViewOfMachineClasses) {
  RegistryKey progId = CreateKey(HKEY_CLASSES_ROOT, "TamselReportsCom.Reports\\CLSID");
  ASSERT_EQ(progId.SetString("", "{11111111-2222-3333-4444-555555555555}"), 0);
  RegistryKey viaMachine;
  ASSERT_EQ(
      RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\tamselreportscom.reports\\clsid",
                        KEY_READ, viaMachine),
      0);
  std::string clsid;
  ASSERT_EQ(viaMachine.GetString("", clsid), 0);
  EXPECT_EQ(clsid, "{11111111-2222-3333-4444-555555555555}");
  RegistryKey classes;
  ASSERT_EQ(RegistryKey::Open(HKEY_CLASSES_ROOT, "", KEY_READ, classes), 0);
  EXPECT_EQ(classes.SubKeyNames(), std::vector<std::string>{"TamselReportsCom.Reports"});
}

TEST_F(RegistryTest, KeyWithSubkeysIsNotDeletedButATreeIs) {
  CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent\\Child\\Grandchild").SetDword("v", 1);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent"),
            static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  RegistryKey still;
  EXPECT_EQ(
      RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent\\Child\\Grandchild", KEY_READ, still),
      0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent\\Child\\Grandchild"), 0);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PARENT"), 0);
  RegistryKey gone;
  EXPECT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent", KEY_READ, gone),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, ""), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
}

TEST_F(RegistryTest, HandleOfADeletedKeyStaysDeleted) {
  constexpr LSTATUS kKeyDeleted = 1018;
  RegistryKey key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"), 0);
  EXPECT_EQ(key.SetDword("x", 1), kKeyDeleted);
  std::string value;
  EXPECT_EQ(key.GetString("x", value), kKeyDeleted);
  // A key made afterwards must not take the deleted key's place behind the old handle.
  RegistryKey newer = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Newer");
  ASSERT_EQ(newer.SetDword("mine", 1), 0);
  EXPECT_EQ(key.SetDword("x", 1), kKeyDeleted);
  EXPECT_EQ(newer.ValueNames(), std::vector<std::string>{"mine"});
}

TEST_F(RegistryTest, ConnectReachesOtherMachinesByAnyOfTheirNames) {
  RegistryKey remote;
  ASSERT_EQ(RegistryKey::Connect("\\\\srv02", HKEY_LOCAL_MACHINE, remote), 0);
  CreateKey(remote.Get(), "SOFTWARE\\OnlyOn2").SetString("where", "SRV02");
  for (const char* name : {"SRV02", "srv02", "\\\\SRV02"}) {
    RegistryKey root;
    ASSERT_EQ(RegistryKey::Connect(name, HKEY_LOCAL_MACHINE, root), 0) << name;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(root.Get(), "SOFTWARE\\OnlyOn2", KEY_READ, key), 0) << name;
  }
  for (const char* local : {"", "SRV01", "\\\\srv01"}) {
    RegistryKey root;
    ASSERT_EQ(RegistryKey::Connect(local, HKEY_LOCAL_MACHINE, root), 0) << local;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(root.Get(), "SOFTWARE\\OnlyOn2", KEY_READ, key),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
        << local;
  }
}

TEST_F(RegistryTest, UnreachableMachinesGiveBadNetpath) {
  RegistryKey root;
  EXPECT_EQ(RegistryKey::Connect("\\\\NOSUCH", HKEY_LOCAL_MACHINE, root),
            static_cast<LSTATUS>(ERROR_BAD_NETPATH));
  EXPECT_EQ(RegistryKey::Connect("..\\escape", HKEY_LOCAL_MACHINE, root),
            static_cast<LSTATUS>(ERROR_BAD_NETPATH));
  auto srv02 =
      std::dynamic_pointer_cast<network::FolderMachine>(Network::Current().OpenMachine("SRV02"));
  srv02->SetOnline(false);
  EXPECT_EQ(RegistryKey::Connect("SRV02", HKEY_LOCAL_MACHINE, root),
            static_cast<LSTATUS>(ERROR_BAD_NETPATH));
  EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "NOSUCH"));
  // The local machine gone offline: even the predefined roots report it.
  std::dynamic_pointer_cast<network::FolderMachine>(Network::Current().LocalMachine())
      ->SetOnline(false);
  HKEY raw = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &raw),
            static_cast<LSTATUS>(ERROR_BAD_NETPATH));
}

TEST_F(RegistryTest, ValuesSurviveTheStoreBeingClosed) {
  CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durable").SetString("kept", "yes");
  // Every handle is closed here, so the store is too; the next open reads the file again.
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durable", KEY_READ, key), 0);
  std::string value;
  ASSERT_EQ(key.GetString("kept", value), 0);
  EXPECT_EQ(value, "yes");
}

// Two writer processes on the same machine, a reader in this one: every write lands, and no
// read ever sees a value made of two writes.
TEST_F(RegistryTest, ConcurrentProcessesLoseNoUpdate) {
  constexpr int kWrites = 150;
  constexpr size_t kValueSize = 4096;
  CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared");
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        RegistryKey key;
        failures += RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", key) != 0;
        std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
        failures += key.SetDword(name, static_cast<DWORD>(i)) != 0;
        // Sizes alternate, so a reader's buffer is sometimes too small for the next write.
        std::vector<std::uint8_t> block(i % 2 ? kValueSize : kValueSize / 16,
                                        static_cast<std::uint8_t>(writer * 100 + i));
        failures += key.SetBinary("Block", block) != 0;
        RegistryKey sub;
        failures += RegistryKey::Create(key.Get(), ("Sub\\" + name).c_str(), sub) != 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  int tornReads = 0;
  for (int i = 0; i < 200; ++i) {
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", KEY_READ, key), 0);
    std::vector<std::uint8_t> block;
    DWORD type = 0;
    LSTATUS status = key.GetBinary("Block", block, type);
    if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) continue;  // not written yet
    EXPECT_EQ(status, 0);
    if ((block.size() != kValueSize && block.size() != kValueSize / 16) ||
        std::count(block.begin(), block.end(), block[0]) != static_cast<long>(block.size())) {
      ++tornReads;
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(tornReads, 0);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", KEY_READ, key), 0);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key.Get(), nullptr, &values), 0);
  EXPECT_EQ(values, 2u * kWrites + 1);  // every named value and the shared block
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kWrites; i += 37) {
      DWORD value = 0;
      EXPECT_EQ(key.GetDword("w" + std::to_string(writer) + "_" + std::to_string(i), value), 0);
      EXPECT_EQ(value, static_cast<DWORD>(i));
    }
  }
  RegistryKey sub;
  ASSERT_EQ(RegistryKey::Open(key.Get(), "Sub", KEY_READ, sub), 0);
  EXPECT_EQ(sub.SubKeyNames().size(), 2u * kWrites);
}

}  // namespace
}  // namespace tamsel::platform::registry
