// `tamsel reg`: Windows reg's output and switches over a machine's registry.
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/tamsel/tool_test_support.h"

namespace tamsel::tools {
namespace {

class RegCommandTest : public ToolTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tamsel("net create SRV01").exitCode, 0);
    ASSERT_EQ(Tamsel("net create SRV02").exitCode, 0);
  }

  static constexpr const char* kKey = "HKLM\\\\SOFTWARE\\\\Tamsel";

  void Add(const std::string& args) {
    auto result = Tamsel(std::string("reg add ") + kKey + " " + args);
    ASSERT_EQ(result.exitCode, 0) << args;
    EXPECT_EQ(result.output, "The operation completed successfully.\n");
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(temp_.Path() / name, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
};

TEST_F(RegCommandTest, QueryPrintsKeyValuesAndSubkeysAsReg) {
  Add("/ve /d \"default text\"");
  Add("/v RefreshRate /t REG_DWORD /d 900");
  Add("/v Mask /t REG_DWORD /d 0xDEADBEEF");
  Add("/v BakupPath /d D:\\\\EvtBak");
  Add("/v Servers /t REG_MULTI_SZ /d 'SRV01\\0SRV02'");
  Add("/v Blob /t REG_BINARY /d 0102aBff");
  Add("/v File /t REG_EXPAND_SZ /d '%SystemRoot%\\x'");
  Add("/v Big /t REG_QWORD /d 4294967296");
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\Status").exitCode, 0);
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\Parameters").exitCode, 0);

  auto query = Tamsel("reg query hklm\\\\software\\\\TAMSEL");
  ASSERT_EQ(query.exitCode, 0);
  EXPECT_EQ(query.output,
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\TAMSEL\n"
            "    (Default)    REG_SZ    default text\n"
            "    BakupPath    REG_SZ    D:\\EvtBak\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Blob    REG_BINARY    0102ABFF\n"
            "    File    REG_EXPAND_SZ    %SystemRoot%\\x\n"
            "    Mask    REG_DWORD    0xdeadbeef\n"
            "    RefreshRate    REG_DWORD    0x384\n"
            "    Servers    REG_MULTI_SZ    SRV01\\0SRV02\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\TAMSEL\\Parameters\n"
            "HKEY_LOCAL_MACHINE\\software\\TAMSEL\\Status\n");

  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey + " /v refreshrate").output,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\n    RefreshRate    REG_DWORD    0x384\n\n");
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey + " /ve").output,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\n    (Default)    REG_SZ    default text\n\n");
  EXPECT_EQ(Tamsel("reg query HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Tamsel\\\\Status /ve").output,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\\Status\n"
            "    (Default)    REG_SZ    (value not set)\n\n");
}

TEST_F(RegCommandTest, QueryAsJson) {
  Add("/v RefreshRate /t REG_DWORD /d 15");
  Add("/v Servers /t REG_MULTI_SZ /d 'A\\0B'");
  Add("/v Blob /t REG_BINARY /d 00ff");
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\Status").exitCode, 0);
  auto query = Tamsel(std::string("reg query ") + kKey + " --json");
  ASSERT_EQ(query.exitCode, 0);
  EXPECT_EQ(nlohmann::json::parse(query.output), nlohmann::json::parse(R"([{
      "key": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel",
      "values": [{"name": "Blob", "type": "REG_BINARY", "data": "00FF"},
                 {"name": "RefreshRate", "type": "REG_DWORD", "data": 15},
                 {"name": "Servers", "type": "REG_MULTI_SZ", "data": ["A", "B"]}],
      "subkeys": ["Status"]}])"));
  auto tree = nlohmann::json::parse(Tamsel(std::string("reg query ") + kKey + " /s --json").output);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[1]["key"], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\\Status");
}

TEST_F(RegCommandTest, SearchingAValueBelowAKey) {
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\A /v Target /d one").exitCode, 0);
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\B\\\\C /v target /d two").exitCode, 0);
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\D /v Other /d x").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey + " /v TARGET /s").output,
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\\A\n"
            "    Target    REG_SZ    one\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\\B\\C\n"
            "    target    REG_SZ    two\n"
            "\n"
            "End of search: 2 match(es) found.\n");
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey + " /v Nowhere /s").exitCode, 1);
}

TEST_F(RegCommandTest, FailuresGoToStderrWithExitOne) {
  const std::pair<std::string, std::string> cases[] = {
      {"reg query HKLM\\\\SOFTWARE\\\\Missing",
       "ERROR: The system was unable to find the specified registry key or value.\n"},
      {"reg query HKLM\\\\SOFTWARE /v Missing",
       "ERROR: The system was unable to find the specified registry key or value.\n"},
      {"reg query SOFTWARE\\\\X", "ERROR: Invalid key name.\n"},
      {"reg query \\\\\\\\NOSUCH\\\\HKLM\\\\SOFTWARE", "ERROR: The network path was not found.\n"},
      {"reg query HKLM /z",
       "ERROR: Invalid syntax.\nType \"tamsel reg query --help\" for usage.\n"},
      {"reg add HKLM\\\\SOFTWARE\\\\T /v x /t REG_DWORD /d 12abc",
       "ERROR: Invalid data \"12abc\" for REG_DWORD.\n"},
      {"reg add HKLM\\\\SOFTWARE\\\\T /v x /t REG_DWORD /d 4294967296",
       "ERROR: Invalid data \"4294967296\" for REG_DWORD.\n"},
      {"reg add HKLM\\\\SOFTWARE\\\\T /v x /t REG_BINARY /d 123",
       "ERROR: Invalid data \"123\" for REG_BINARY.\n"},
      {"reg add HKLM\\\\SOFTWARE\\\\T /v x /t REG_WHAT /d 1",
       "ERROR: Invalid type \"REG_WHAT\".\n"},
      {"reg add HKLM\\\\SOFTWARE\\\\T /v",
       "ERROR: Invalid syntax.\nType \"tamsel reg add --help\" for usage.\n"},
      {"reg delete HKLM /f", "ERROR: Invalid key name.\n"},
      {"reg delete HKLM\\\\SOFTWARE /v Missing /f",
       "ERROR: The system was unable to find the specified registry key or value.\n"},
      {"reg frob",
       "ERROR: Invalid operation 'frob'.\nusage: tamsel reg query|add|delete|export|import ...\n"
       "  'tamsel reg OPERATION --help' describes an operation.\n"},
  };
  for (const auto& [args, error] : cases) {
    auto result = Tamsel(args + " 2>&1 >/dev/null");
    EXPECT_EQ(result.output, error) << args;
    EXPECT_EQ(Tamsel(args).exitCode, 1) << args;
  }
  // Nothing half-made by the refused adds.
  EXPECT_EQ(Tamsel("reg query HKLM\\\\SOFTWARE\\\\T").exitCode, 1);
}

TEST_F(RegCommandTest, OverwriteAndDeleteAskFirst) {
  Add("/v Keep /d original");
  auto declined = Tamsel(std::string("reg add ") + kKey + " /v Keep /d changed", "n\\n");
  EXPECT_EQ(declined.exitCode, 1);
  EXPECT_EQ(declined.output,
            "Value Keep exists, overwrite (Yes/No)? The operation was canceled by the user.\n");
  auto unattended = Tamsel(std::string("reg add ") + kKey + " /v Keep /d changed");  // no input
  EXPECT_EQ(unattended.exitCode, 1);
  EXPECT_NE(Tamsel(std::string("reg query ") + kKey + " /v Keep").output.find("original"),
            std::string::npos);
  auto accepted = Tamsel(std::string("reg add ") + kKey + " /v Keep /d changed", "yes\\n");
  EXPECT_EQ(accepted.exitCode, 0);
  Add("/v Keep /d forced /f");
  EXPECT_NE(Tamsel(std::string("reg query ") + kKey + " /v Keep").output.find("forced"),
            std::string::npos);

  EXPECT_EQ(Tamsel(std::string("reg delete ") + kKey, "No\\n").exitCode, 1);
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey).exitCode, 0);
  auto deleted = Tamsel(std::string("reg delete ") + kKey + " /v keep", "y\\n");
  EXPECT_EQ(deleted.exitCode, 0);
  EXPECT_EQ(deleted.output,
            "Delete the registry value keep (Yes/No)? The operation completed successfully.\n");
}

TEST_F(RegCommandTest, DeleteValuesAllValuesAndKeys) {
  Add("/v a /d 1");
  Add("/v b /d 2");
  Add("/ve /d 3");
  ASSERT_EQ(Tamsel("reg add HKLM\\\\SOFTWARE\\\\Tamsel\\\\Sub\\\\Deep /v c /d 4").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg delete ") + kKey + " /ve /f").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey + " /v a").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg delete ") + kKey + " /va /f").exitCode, 0);
  EXPECT_EQ(
      Tamsel(std::string("reg query ") + kKey).output,
      "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel\\Sub\n");
  // /va leaves subkeys and their values alone; deleting the key takes the whole tree.
  EXPECT_EQ(Tamsel("reg query HKLM\\\\SOFTWARE\\\\Tamsel\\\\Sub\\\\Deep /v c").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg delete ") + kKey + " /f").exitCode, 0);
  EXPECT_EQ(Tamsel(std::string("reg query ") + kKey).exitCode, 1);
}

TEST_F(RegCommandTest, ExportImportRoundTripAcrossMachines) {
  Add("/v RefreshRate /t REG_DWORD /d 900");
  Add("/v Servers /t REG_MULTI_SZ /d 'SRV01\\0SRV02'");
  Add("/v File /t REG_EXPAND_SZ /d '%SystemRoot%\\system32\\config\\AppEvent.Evt'");
  Add("/v Path /d 'D:\\EvtBak \"quoted\"'");
  std::string file = (temp_.Path() / "tamsel.reg").string();
  auto exported = Tamsel(std::string("reg export ") + kKey + " '" + file + "'");
  ASSERT_EQ(exported.exitCode, 0);
  std::string first = ReadFile("tamsel.reg");
  EXPECT_TRUE(
      first.starts_with("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsel]\r\n"));
  EXPECT_NE(first.find("\"Path\"=\"D:\\\\EvtBak \\\"quoted\\\"\"\r\n"), std::string::npos);
  // An existing file is kept unless confirmed or /y.
  EXPECT_EQ(Tamsel(std::string("reg export ") + kKey + " '" + file + "'", "n\\n").exitCode, 1);

  // Import into SRV02 by choosing it as the local machine, then export it from here.
  auto imported = testing::RunCommand("TAMSEL_NETWORK='" + Root().string() + "' '" +
                                      (testing::BuildDir() / "tools/tamsel").string() +
                                      "' --machine SRV02 reg import '" + file + "'");
  ASSERT_EQ(imported.exitCode, 0);
  std::string second = (temp_.Path() / "srv02.reg").string();
  ASSERT_EQ(
      Tamsel("reg export \\\\\\\\SRV02\\\\HKLM\\\\SOFTWARE\\\\Tamsel '" + second + "'").exitCode,
      0);
  EXPECT_EQ(ReadFile("srv02.reg"), first);

  // Back into SRV01 after deleting: identical again.
  ASSERT_EQ(Tamsel(std::string("reg delete ") + kKey + " /f").exitCode, 0);
  ASSERT_EQ(Tamsel("reg import '" + file + "'").exitCode, 0);
  ASSERT_EQ(Tamsel(std::string("reg export ") + kKey + " '" + file + "' /y").exitCode, 0);
  EXPECT_EQ(ReadFile("tamsel.reg"), first);
}

TEST_F(RegCommandTest, FaultyImportChangesNothing) {
  std::ofstream(temp_.Path() / "bad.reg")
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\n"
         "\"ok\"=\"1\"\n\"broken\"=dword:xyz\n";
  std::string file = (temp_.Path() / "bad.reg").string();
  EXPECT_EQ(Errors("reg import '" + file + "'"),
            "ERROR: " + file + ": line 5: dword needs 1 to 8 hex digits\n");
  EXPECT_EQ(Tamsel("reg query HKLM\\\\SOFTWARE\\\\Bad").exitCode, 1);
  EXPECT_EQ(Errors("reg import '" + (temp_.Path() / "none.reg").string() + "'"),
            "ERROR: Error opening the file " + (temp_.Path() / "none.reg").string() + ".\n");
}

TEST_F(RegCommandTest, HelpForEveryOperation) {
  for (const char* operation : {"query", "add", "delete", "export", "import"}) {
    auto help = Tamsel(std::string("reg ") + operation + " --help");
    EXPECT_EQ(help.exitCode, 0) << operation;
    EXPECT_TRUE(help.output.starts_with(std::string("usage: tamsel reg ") + operation))
        << help.output;
  }
  EXPECT_EQ(Tamsel("reg --help").exitCode, 0);
  EXPECT_EQ(Tamsel("reg").exitCode, 1);
}

}  // namespace
}  // namespace tamsel::tools
