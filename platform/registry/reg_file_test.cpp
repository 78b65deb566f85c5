// .reg text files: the registry editor's format, round trips, and faulty files.
#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::registry {
namespace {

using network::Network;

class RegFileTest : public ::testing::Test {
 protected:
  RegFileTest() : scope_(Network(temp_.Path(), "SRV01")) {
    Network::Current().CreateMachineFolder("SRV01");
    Network::Current().CreateMachineFolder("SRV02");
  }

  static std::string Export(const char* key) {
    RegistryPath path;
    EXPECT_TRUE(ParseRegistryPath(key, path)) << key;
    std::string text;
    EXPECT_EQ(ExportRegFile(path, text), 0) << key;
    return text;
  }

  static LSTATUS Import(std::string_view text, std::string_view machine = "") {
    std::string error;
    LSTATUS status = ImportRegFile(machine, text, error);
    EXPECT_EQ(status, 0) << error;
    return status;
  }

  static RegistryKey Open(const char* path, const char* machine = "") {
    RegistryKey root;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Connect(machine, HKEY_LOCAL_MACHINE, root), 0);
    EXPECT_EQ(RegistryKey::Open(root.Get(), path, KEY_READ, key), 0) << path;
    return key;
  }

  testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork scope_;
};

// The example of the format reference, as the registry editor writes it.
constexpr const char* kReference =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Settings]\r\n"
    "@=\"default value text\"\r\n"
    "\"Server\"=\"SRV01\"\r\n"
    "\"Path\"=\"D:\\\\EvtBak\"\r\n"
    "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
    "\"Period\"=dword:00000384\r\n"
    "\"Blob\"=hex:01,02,ff\r\n"
    "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
    "  00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Obsolete\"=-\r\n"
    "\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\OldKey]\r\n";

TEST_F(RegFileTest, ImportsEveryFormOfTheReferenceFile) {
  RegistryKey root;
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Example\\OldKey\\Deep", root), 0);
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Example\\Settings", root), 0);
  ASSERT_EQ(root.SetString("Obsolete", "going"), 0);
  root = RegistryKey();
  ASSERT_EQ(Import(kReference), 0);

  RegistryKey key = Open("SOFTWARE\\Example\\Settings");
  std::string text;
  ASSERT_EQ(key.GetString("", text), 0);
  EXPECT_EQ(text, "default value text");
  ASSERT_EQ(key.GetString("Path", text), 0);
  EXPECT_EQ(text, "D:\\EvtBak");
  ASSERT_EQ(key.GetString("Quote", text), 0);
  EXPECT_EQ(text, "say \"hi\"");
  DWORD period = 0;
  ASSERT_EQ(key.GetDword("Period", period), 0);
  EXPECT_EQ(period, 900u);
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  ASSERT_EQ(key.GetBinary("Blob", data, type), 0);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 0xFF}));
  ASSERT_EQ(key.GetBinary("Expand", data, type), 0);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string("%SystemRoot%\0", 13));
  std::vector<std::string> multi;
  ASSERT_EQ(key.GetMultiString("Multi", multi), 0);
  EXPECT_EQ(multi, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(key.GetBinary("Big", data, type), 0);
  EXPECT_EQ(type, 11u);
  EXPECT_EQ(data.size(), 8u);
  EXPECT_EQ(key.GetString("Obsolete", text), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  RegistryKey old;
  EXPECT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Example\\OldKey", KEY_READ, old),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegFileTest, ExportWritesTheEditorsFormExactly) {
  ASSERT_EQ(Import(kReference), 0);
  // Values come in enumeration order (default first); the rest is byte for byte the reference.
  EXPECT_EQ(
      Export("HKLM\\SOFTWARE\\Example"),
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Settings]\r\n"
      "@=\"default value text\"\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Blob\"=hex:01,02,ff\r\n"
      "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
      "  00,25,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Path\"=\"D:\\\\EvtBak\"\r\n"
      "\"Period\"=dword:00000384\r\n"
      "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
      "\"Server\"=\"SRV01\"\r\n"
      "\r\n");
}

TEST_F(RegFileTest, ExportImportExportIsIdentical) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Round\\Trip\\Deeper", key), 0);
  ASSERT_EQ(key.SetString("Unicode", "Grüße €𝄞"), 0);
  ASSERT_EQ(key.SetString("Lines", "one\r\ntwo"), 0);  // cannot be quoted: goes as hex(1)
  ASSERT_EQ(key.SetString("Empty", ""), 0);
  ASSERT_EQ(key.SetString("Expand", "%windir%\\Grüße", REG_EXPAND_SZ), 0);
  ASSERT_EQ(key.SetMultiString("Multi", {"eins", "zwei", "drei"}), 0);
  std::vector<std::uint8_t> blob(200);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(key.SetBinary("Blob", blob), 0);
  ASSERT_EQ(key.SetBinary("EmptyBlob", {}), 0);
  ASSERT_EQ(key.SetBinary("None", {1, 2}, REG_NONE), 0);
  ASSERT_EQ(key.SetDword("Max", 0xFFFFFFFF), 0);
  ASSERT_EQ(key.SetString("Odd\"Name\\", "v"), 0);
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Round\\Empty Key", key), 0);

  std::string first = Export("HKEY_LOCAL_MACHINE\\SOFTWARE\\Round");
  EXPECT_NE(first.find("\"Lines\"=hex(1):"), std::string::npos);
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Round"), 0);
  ASSERT_EQ(Import(first), 0);
  EXPECT_EQ(Export("HKLM\\SOFTWARE\\Round"), first);
  // Into another machine, the same tree.
  ASSERT_EQ(Import(first, "SRV02"), 0);
  RegistryPath other;
  ASSERT_TRUE(ParseRegistryPath("\\\\SRV02\\HKLM\\SOFTWARE\\Round", other));
  std::string second;
  ASSERT_EQ(ExportRegFile(other, second), 0);
  EXPECT_EQ(second, first);
  std::string lines;
  ASSERT_EQ(Open("SOFTWARE\\Round\\Trip\\Deeper", "SRV02").GetString("Lines", lines), 0);
  EXPECT_EQ(lines, "one\r\ntwo");
}

TEST_F(RegFileTest, HexListsWrapAfterColumnSeventySix) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wrap", key), 0);
  ASSERT_EQ(key.SetBinary("B", std::vector<std::uint8_t>(60, 0xAB)), 0);
  std::string text = Export("HKLM\\SOFTWARE\\Wrap");
  // "B"=hex: takes 8 columns, so 23 bytes fill the first line and 25 each next line.
  std::string first = "\"B\"=hex:";
  for (int i = 0; i < 23; ++i) first += "ab,";
  std::string second = "  ";
  for (int i = 0; i < 25; ++i) second += "ab,";
  std::string third = "  ";
  for (int i = 0; i < 12; ++i) third += i ? ",ab" : "ab";
  EXPECT_NE(text.find(first + "\\\r\n" + second + "\\\r\n" + third + "\r\n"), std::string::npos)
      << text;
}

TEST_F(RegFileTest, ReadsUtf16FilesAndTheOlderFormat) {
  std::string utf8 =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\International]\n"
      "\"sShortDate\"=\"dd.MM.yyyy\"\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : utf8) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  ASSERT_EQ(Import(utf16), 0);
  RegistryKey international;
  ASSERT_EQ(
      RegistryKey::Open(HKEY_CURRENT_USER, "control panel\\international", KEY_READ, international),
      0);
  std::string value;
  ASSERT_EQ(international.GetString("sShortDate", value), 0);
  EXPECT_EQ(value, "dd.MM.yyyy");

  // REGEDIT4 keeps expandable strings as 8-bit bytes.
  ASSERT_EQ(Import("REGEDIT4\r\n\r\n; a comment\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
                   "\"E\"=hex(2):25,41,25,00\r\n"),
            0);
  ASSERT_EQ(Open("SOFTWARE\\Old").GetString("E", value), 0);
  EXPECT_EQ(value, "%A%");
}

TEST_F(RegFileTest, FaultyFilesChangeNothingAndNameTheLine) {
  struct Case {
    const char* body;
    const char* error;
  };
  const Case cases[] = {
      {"\"x\"=\"1\"\n", "line 3: value outside a key section"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=dword:123456789\n", "line 4: dword"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=hex:01,zz\n", "line 4: invalid hex byte 'zz'"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=hex(2):41\n", "line 4: odd number"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x=\"1\"\n", "line 4: "},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=\"1\" trailing\n", "line 4: unexpected text"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=hex:01,\\\n",
       "line 4: hex list continued past the end"},
      {"[HKEY_NOWHERE\\X]\n", "line 3: invalid key name"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n[-HKEY_LOCAL_MACHINE]\n",
       "line 4: a root key cannot be deleted"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F\n", "line 3: key name without closing"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\F]\n\"x\"=sz:1\n", "line 4: unknown value data"},
  };
  for (const Case& faulty : cases) {
    std::string text = std::string(kRegFileHeader) + "\n\n" + faulty.body;
    std::string error;
    EXPECT_EQ(ImportRegFile("", text, error), static_cast<LSTATUS>(ERROR_INVALID_DATA))
        << faulty.body;
    EXPECT_NE(error.find(faulty.error), std::string::npos) << error;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\F", KEY_READ, key),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
        << faulty.body;
  }
  std::string error;
  EXPECT_EQ(ImportRegFile("", "[HKEY_LOCAL_MACHINE\\X]\n", error),
            static_cast<LSTATUS>(ERROR_INVALID_DATA));
  EXPECT_NE(error.find("not a registry file"), std::string::npos);
  EXPECT_EQ(ImportRegFile("", "", error), static_cast<LSTATUS>(ERROR_INVALID_DATA));
}

TEST_F(RegFileTest, ExportFailuresCarryWin32Codes) {
  RegistryPath path;
  std::string text;
  ASSERT_TRUE(ParseRegistryPath("HKLM\\SOFTWARE\\Missing", path));
  EXPECT_EQ(ExportRegFile(path, text), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(ParseRegistryPath("\\\\NOSUCH\\HKLM\\SOFTWARE", path));
  EXPECT_EQ(ExportRegFile(path, text), static_cast<LSTATUS>(ERROR_BAD_NETPATH));
  std::string error;
  EXPECT_EQ(ImportRegFile("NOSUCH", kReference, error), static_cast<LSTATUS>(ERROR_BAD_NETPATH));
}

TEST(RegistryPath, RootsMachinesAndAbbreviations) {
  RegistryPath path;
  ASSERT_TRUE(ParseRegistryPath("\\\\srv01\\hkcu\\Control Panel\\International\\", path));
  EXPECT_EQ(path.machine, "SRV01");
  EXPECT_EQ(path.root, HKEY_CURRENT_USER);
  EXPECT_EQ(path.subKey, "Control Panel\\International");
  EXPECT_EQ(FullKeyName(path), "HKEY_CURRENT_USER\\Control Panel\\International");
  const std::pair<const char*, HKEY> roots[] = {{"HKLM", HKEY_LOCAL_MACHINE},
                                                {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                                {"hkcr\\.txt", HKEY_CLASSES_ROOT},
                                                {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                                                {"HKU\\.DEFAULT", HKEY_USERS},
                                                {"HKEY_USERS", HKEY_USERS},
                                                {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}};
  for (const auto& [text, root] : roots) {
    ASSERT_TRUE(ParseRegistryPath(text, path)) << text;
    EXPECT_EQ(path.root, root) << text;
    EXPECT_TRUE(path.machine.empty());
  }
  EXPECT_FALSE(ParseRegistryPath("SOFTWARE\\X", path));
  EXPECT_FALSE(ParseRegistryPath("\\\\SRV01", path));
  EXPECT_FALSE(ParseRegistryPath("\\\\SRV01\\HKXX\\a", path));
  EXPECT_FALSE(ParseRegistryPath("", path));
}

}  // namespace
}  // namespace tamsel::platform::registry
