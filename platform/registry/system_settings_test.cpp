// A machine's system environment and regional settings as its registry keeps them.
#include <gtest/gtest.h>

#include "platform/network/network.h"
#include "platform/registry/regional_settings.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::registry {
namespace {

using network::Network;

class SystemSettingsTest : public ::testing::Test {
 protected:
  SystemSettingsTest() : scope_(Network(temp_.Path(), "SRV01")) {
    Network::Current().CreateMachineFolder("SRV01");
    Network::Current().CreateMachineFolder("SRV02");
  }

  static void SetEnvironment(const char* machine, const char* name, const char* value,
                             DWORD type = REG_SZ) {
    RegistryKey root;
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Connect(machine, HKEY_LOCAL_MACHINE, root), 0);
    ASSERT_EQ(RegistryKey::Create(root.Get(), kEnvironmentKey, key), 0);
    ASSERT_EQ(key.SetString(name, value, type), 0);
  }

  testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork scope_;
};

TEST_F(SystemSettingsTest, SystemRootComesFromTheVersionKeyAndExpandsInOtherValues) {
  RegistryKey version;
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, kWindowsVersionKey, version), 0);
  ASSERT_EQ(version.SetString("SystemRoot", "C:\\WINNT"), 0);
  SetEnvironment("", "windir", "%SystemRoot%", REG_EXPAND_SZ);
  SetEnvironment("", "ComSpec", "%windir%\\system32\\cmd.exe", REG_EXPAND_SZ);
  SetEnvironment("", "Literal", "%SystemRoot%", REG_SZ);  // REG_SZ stays as written
  EXPECT_EQ(SystemEnvironmentValue("", "systemroot"), "C:\\WINNT");
  EXPECT_EQ(SystemEnvironmentValue("", "WINDIR"), "C:\\WINNT");
  EXPECT_EQ(SystemEnvironmentValue("", "ComSpec"), "C:\\WINNT\\system32\\cmd.exe");
  EXPECT_EQ(SystemEnvironmentValue("", "Literal"), "%SystemRoot%");
  EXPECT_EQ(SystemEnvironmentValue("", "Nope"), std::nullopt);
  EXPECT_EQ(SystemEnvironmentValue("NOSUCH", "windir"), std::nullopt);
}

TEST_F(SystemSettingsTest, ReferenceLoopsEnd) {
  SetEnvironment("", "A", "%B%", REG_EXPAND_SZ);
  SetEnvironment("", "B", "x%A%", REG_EXPAND_SZ);
  auto value = SystemEnvironmentValue("", "A");
  ASSERT_TRUE(value);
  // Expanded a few levels deep, then left as it stands.
  EXPECT_TRUE(value->starts_with("xx")) << *value;
  EXPECT_TRUE(value->ends_with("%B%") || value->ends_with("%A%")) << *value;
}

TEST_F(SystemSettingsTest, ExpansionPrefersTheProcessEnvironment) {
  SetEnvironment("", "SystemRoot", "C:\\WINDOWS");
  SetEnvironment("", "TamselOnlyInRegistry", "fromRegistry");
  SetEnvironment("SRV02", "SystemRoot", "E:\\OTHER");
  testing::ScopedEnv systemRoot("SystemRoot", std::nullopt);
  testing::ScopedEnv process("TAMSELONLYINREGISTRY", std::nullopt);
  EXPECT_EQ(ExpandEnvironmentStrings("%SystemRoot%\\x;%TamselOnlyInRegistry%;%Unknown%"),
            "C:\\WINDOWS\\x;fromRegistry;%Unknown%");
  testing::ScopedEnv fromProcess("TamselOnlyInRegistry", "fromProcess");
  EXPECT_EQ(ExpandEnvironmentStrings("%TamselOnlyInRegistry%"), "fromProcess");

  char small[4];
  EXPECT_EQ(ExpandEnvironmentStringsA("%SystemRoot%", small, sizeof small), 11u);
  char exact[11];
  EXPECT_EQ(ExpandEnvironmentStringsA("%SystemRoot%", exact, sizeof exact), 11u);
  EXPECT_STREQ(exact, "C:\\WINDOWS");
}

TEST_F(SystemSettingsTest, RegionalSettingsOfTheLocalMachine) {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 11;
  time.tm_mday = 7;
  time.tm_hour = 18;
  time.tm_min = 5;
  time.tm_sec = 9;
  EXPECT_EQ(RegionalDateTime(time), "12/7/2026 6:05:09 PM");  // en-US when nothing is set
  RegistryKey international;
  ASSERT_EQ(RegistryKey::Create(HKEY_CURRENT_USER, kInternationalKey, international), 0);
  ASSERT_EQ(international.SetString("sShortDate", "dd.MM.yyyy"), 0);
  ASSERT_EQ(international.SetString("sTimeFormat", "HH:mm:ss"), 0);
  EXPECT_EQ(RegionalDateTime(time), "07.12.2026 18:05:09");
  ASSERT_EQ(international.SetString("sTimeFormat", "h:mm tt"), 0);
  ASSERT_EQ(international.SetString("s2359", "nachm."), 0);
  EXPECT_EQ(RegionalDateTime(time), "07.12.2026 6:05 nachm.");
  network::RegionalFormats formats = LoadRegionalFormats();
  auto parsed = network::ParseDateTime("07.12.2026 6:05 nachm.", formats);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tm_hour, 18);
  EXPECT_EQ(parsed->tm_mday, 7);
}

}  // namespace
}  // namespace tamsel::platform::registry
