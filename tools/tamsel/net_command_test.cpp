// `tamsel net`: machines created with the standard keys, listed, taken offline, resolved.
#include <nlohmann/json.hpp>

#include "tools/tamsel/tool_test_support.h"

namespace tamsel::tools {
namespace {

namespace fs = std::filesystem;

class NetCommandTest : public ToolTest {};

TEST_F(NetCommandTest, CreateBuildsAMachineWithTheStandardKeysAndFolders) {
  auto created = Tamsel("net create srv01");
  ASSERT_EQ(created.exitCode, 0);
  EXPECT_EQ(created.output, "created machine SRV01 in " + (Root() / "SRV01").string() + "\n");
  for (const char* folder : {"SRV01/drives/C/WINDOWS/system32/config", "SRV01/drives/D"}) {
    EXPECT_TRUE(fs::is_directory(Root() / folder)) << folder;
  }
  auto query = Tamsel("reg query HKLM\\\\SYSTEM\\\\CurrentControlSet\\\\Services\\\\EventLog /s");
  ASSERT_EQ(query.exitCode, 0);
  EXPECT_EQ(query.output,
            "\n"
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\n"
            "    File    REG_EXPAND_SZ    %SystemRoot%\\system32\\config\\AppEvent.Evt\n"
            "    MaxSize    REG_DWORD    0x80000\n"
            "    Retention    REG_DWORD    0x0\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security\n"
            "    File    REG_EXPAND_SZ    %SystemRoot%\\system32\\config\\SecEvent.Evt\n"
            "    MaxSize    REG_DWORD    0x80000\n"
            "    Retention    REG_DWORD    0x0\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\n"
            "    File    REG_EXPAND_SZ    %SystemRoot%\\system32\\config\\SysEvent.Evt\n"
            "    MaxSize    REG_DWORD    0x80000\n"
            "    Retention    REG_DWORD    0x0\n"
            "\n");
  auto root = Tamsel(
      "reg query \"HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\" /v SystemRoot");
  EXPECT_EQ(root.output,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\n"
            "    SystemRoot    REG_SZ    C:\\WINDOWS\n\n");
  auto environment = Tamsel(
      "reg query \"HKLM\\\\SYSTEM\\\\CurrentControlSet\\\\Control\\\\Session "
      "Manager\\\\Environment\"");
  for (const char* line :
       {"    windir    REG_EXPAND_SZ    %SystemRoot%\n",
        "    ComSpec    REG_EXPAND_SZ    %SystemRoot%\\system32\\cmd.exe\n",
        "    SystemRoot    REG_SZ    C:\\WINDOWS\n", "    Path    REG_EXPAND_SZ"}) {
    EXPECT_NE(environment.output.find(line), std::string::npos) << line;
  }
  auto international = Tamsel("reg query \"HKCU\\\\Control Panel\\\\International\" --json");
  auto json = nlohmann::json::parse(international.output);
  std::map<std::string, std::string> values;
  for (const auto& value : json[0]["values"]) values[value["name"]] = value["data"];
  EXPECT_EQ(values["sShortDate"], "M/d/yyyy");
  EXPECT_EQ(values["sTimeFormat"], "h:mm:ss tt");
  EXPECT_EQ(values["s1159"], "AM");
  EXPECT_EQ(values["s2359"], "PM");
}

TEST_F(NetCommandTest, CreateRefusesExistingAndInvalidNames) {
  ASSERT_EQ(Tamsel("net create SRV02").exitCode, 0);
  EXPECT_EQ(Tamsel("net create \\\\\\\\srv02").exitCode, 1);
  EXPECT_EQ(Errors("net create srv02"), "tamsel net: machine SRV02 already exists\n");
  EXPECT_EQ(Errors("net create ../evil"), "tamsel net: invalid machine name '../evil'\n");
  EXPECT_FALSE(fs::exists(temp_.Path() / "evil"));
  EXPECT_EQ(Tamsel("net create").exitCode, 1);
  EXPECT_EQ(Tamsel("net create SRV07 --version 7.7").exitCode, 1);
  EXPECT_EQ(Tamsel("net create SRV07 --version").exitCode, 1);
  EXPECT_FALSE(fs::exists(Root() / "SRV07"));
}

TEST_F(NetCommandTest, ListOfflineOnline) {
  ASSERT_EQ(Tamsel("net create SRV01").exitCode, 0);
  ASSERT_EQ(Tamsel("net create SRV02").exitCode, 0);
  auto offline = Tamsel("net offline srv02");
  EXPECT_EQ(offline.exitCode, 0);
  EXPECT_EQ(offline.output, "SRV02 is offline\n");
  auto list = Tamsel("net list --json");
  ASSERT_EQ(list.exitCode, 0);
  EXPECT_EQ(nlohmann::json::parse(list.output),
            nlohmann::json::parse(R"([{"name":"SRV01","online":true},
                                      {"name":"SRV02","online":false}])"));
  EXPECT_EQ(Tamsel("net list").output, "SRV01            online\nSRV02            offline\n");
  auto remote = Tamsel("reg query \\\\\\\\SRV02\\\\HKLM\\\\SOFTWARE", "", true);
  EXPECT_EQ(remote.exitCode, 1);
  EXPECT_EQ(remote.output, "ERROR: The network path was not found.\n");
  EXPECT_EQ(Tamsel("net online SRV02").output, "SRV02 is online\n");
  EXPECT_EQ(Tamsel("reg query \\\\\\\\SRV02\\\\HKLM\\\\SOFTWARE").exitCode, 0);
  EXPECT_EQ(Errors("net offline NOSUCH"), "tamsel net: no machine named 'NOSUCH'\n");
  EXPECT_FALSE(fs::exists(Root() / "NOSUCH"));
}

TEST_F(NetCommandTest, PathShowsHostFolders) {
  ASSERT_EQ(Tamsel("net create SRV01").exitCode, 0);
  EXPECT_EQ(Tamsel("net path srv01").output, (Root() / "SRV01").string() + "\n");
  EXPECT_EQ(Tamsel("net path SRV01 'c:\\windows\\SYSTEM32\\new.txt'").output,
            (Root() / "SRV01/drives/C/WINDOWS/system32/new.txt").string() + "\n");
  EXPECT_EQ(Tamsel("net path SRV01 '\\\\SRV01\\C$\\Windows'").output,
            (Root() / "SRV01/drives/C/WINDOWS").string() + "\n");
  auto climbing = Tamsel("net path SRV01 'C:\\..\\..\\x'", "", true);
  EXPECT_EQ(climbing.exitCode, 1);
  EXPECT_EQ(climbing.output, "tamsel net: cannot resolve 'C:\\..\\..\\x' on SRV01 (error 161)\n");
  EXPECT_EQ(Tamsel("net path NOSUCH").exitCode, 1);
}

TEST_F(NetCommandTest, EnvironmentAndOptionsChooseTheNetwork) {
  // --network and --machine stand before the command and win over the environment.
  std::string other = (temp_.Path() / "other").string();
  auto created = Tamsel("--network '" + other + "' --machine SRV09 net create SRV09");
  ASSERT_EQ(created.exitCode, 0);
  EXPECT_TRUE(fs::is_directory(temp_.Path() / "other/SRV09"));
  EXPECT_EQ(Tamsel("--network '" + other + "' --machine srv09 reg query HKLM\\\\SOFTWARE").exitCode,
            0);
  // In the test's own network there is no SRV09 and the local SRV01 does not exist yet.
  EXPECT_EQ(Errors("reg query HKLM\\\\SOFTWARE"), "ERROR: The network path was not found.\n");
  EXPECT_EQ(Tamsel("net list --json").output, "[]\n");
}

TEST_F(NetCommandTest, HelpAndUsage) {
  for (const char* args : {"net --help", "net create --help", "net list --help", "net path -h"}) {
    auto help = Tamsel(args);
    EXPECT_EQ(help.exitCode, 0) << args;
    EXPECT_NE(help.output.find("usage: tamsel net create NAME"), std::string::npos) << args;
  }
  EXPECT_EQ(Tamsel("net").exitCode, 1);
  EXPECT_EQ(Tamsel("net frobnicate").exitCode, 1);
  EXPECT_EQ(Tamsel("net list --bad").exitCode, 1);
}

}  // namespace
}  // namespace tamsel::tools
