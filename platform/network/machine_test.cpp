// Machines of a network root: reachability, share and drive path resolution, file operations.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/network/files.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::network {
namespace {

namespace fs = std::filesystem;

class MachineTest : public ::testing::Test {
 protected:
  MachineTest() : scope_(Network(temp_.Path() / "net", "srv01")) {
    const Network& network = Network::Current();
    EXPECT_TRUE(network.CreateMachineFolder("SRV01"));
    EXPECT_TRUE(network.CreateMachineFolder("\\\\srv02"));
    fs::create_directories(Root() / "SRV02/drives/D/EvtBak/Sub");
  }

  fs::path Root() const { return Network::Current().Root(); }

  testing::ScopedTempDir temp_;
  ScopedCurrentNetwork scope_;
};

TEST_F(MachineTest, MachineNamesAreCanonicalAndListed) {
  const Network& network = Network::Current();
  EXPECT_EQ(network.LocalMachineName(), "SRV01");
  EXPECT_FALSE(network.CreateMachineFolder("srv02"));  // exists already, in any case
  EXPECT_EQ(network.MachineNames(), (std::vector<std::string>{"SRV01", "SRV02"}));
  for (const char* name : {"srv02", "\\\\SRV02", "\\\\srv02"}) {
    EXPECT_EQ(network.OpenMachine(name)->Name(), "SRV02") << name;
  }
  EXPECT_EQ(network.OpenMachine("")->Name(), "SRV01");
  EXPECT_EQ(network.OpenMachine(".")->Name(), "SRV01");
}

TEST_F(MachineTest, InvalidMachineNamesNeverLeaveTheRoot) {
  const Network& network = Network::Current();
  for (const char* name : {"..", "a/b", "a\\b", "...", "x y", "*"}) {
    EXPECT_FALSE(IsValidMachineName(name)) << name;
    EXPECT_FALSE(network.CreateMachineFolder(name)) << name;
    auto machine = network.OpenMachine(name);
    EXPECT_FALSE(machine->IsReachable()) << name;
    fs::path host;
    EXPECT_EQ(machine->ResolveLocalPath("C:\\x", host), ERROR_BAD_NETPATH) << name;
  }
  // "\\..\C$" would otherwise resolve next to the network root.
  fs::create_directories(temp_.Path() / "drives/C");
  fs::path host;
  EXPECT_EQ(network.ResolvePath("\\\\..\\C$\\x", host), ERROR_BAD_NETPATH);
  EXPECT_TRUE(IsValidMachineName("SRV-01.corp"));
}

TEST_F(MachineTest, ReachabilityFollowsTheOfflineMarker) {
  auto machine = std::dynamic_pointer_cast<FolderMachine>(Network::Current().OpenMachine("SRV02"));
  ASSERT_TRUE(machine);
  EXPECT_TRUE(machine->IsReachable());
  machine->SetOnline(false);
  EXPECT_FALSE(machine->IsReachable());
  fs::path host;
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\D$\\EvtBak", host), ERROR_BAD_NETPATH);
  EXPECT_EQ(CreateFolder("\\\\SRV02\\D$\\EvtBak\\New"), ERROR_BAD_NETPATH);
  machine->SetOnline(true);
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\D$\\EvtBak", host), ERROR_SUCCESS);
  EXPECT_FALSE(Network::Current().OpenMachine("NOSUCH")->IsReachable());
}

TEST_F(MachineTest, AskingForTheStateOfAMissingMachineDoesNotCreateIt) {
  auto machine = Network::Current().OpenMachine("GHOST");
  machine->StateFolder();
  EXPECT_FALSE(fs::exists(Root() / "GHOST"));
  EXPECT_FALSE(machine->IsReachable());
}

TEST_F(MachineTest, SharePathsResolveEachComponentWithoutCase) {
  fs::path host;
  ASSERT_EQ(ResolveWindowsPath("\\\\srv02\\d$\\EVTBAK\\sub\\file.evt", host), ERROR_SUCCESS);
  EXPECT_EQ(host, Root() / "SRV02/drives/D/EvtBak/Sub/file.evt");
  ASSERT_EQ(ResolveWindowsPath("\\\\SRV02\\D$", host), ERROR_SUCCESS);
  EXPECT_EQ(host, Root() / "SRV02/drives/D");
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\ADMIN\\x", host), ERROR_BAD_NET_NAME);
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\E$\\x", host), ERROR_BAD_NET_NAME);
  EXPECT_EQ(ResolveWindowsPath("\\\\NOSUCH\\D$\\x", host), ERROR_BAD_NETPATH);
  EXPECT_EQ(ResolveWindowsPath("\\\\\\D$", host), ERROR_BAD_NETPATH);
}

TEST_F(MachineTest, LocalPathsResolveOnTheLocalMachine) {
  fs::path host;
  ASSERT_EQ(ResolveWindowsPath("c:\\Windows\\x.txt", host), ERROR_SUCCESS);
  EXPECT_EQ(host, Root() / "SRV01/drives/C/Windows/x.txt");  // new components keep their case
  auto srv02 = Network::Current().OpenMachine("SRV02");
  ASSERT_EQ(srv02->ResolveLocalPath("D:/evtbak/SUB", host), ERROR_SUCCESS);
  EXPECT_EQ(host, Root() / "SRV02/drives/D/EvtBak/Sub");
  EXPECT_EQ(srv02->ResolveLocalPath("D:relative", host), ERROR_BAD_PATHNAME);
  EXPECT_EQ(srv02->ResolveLocalPath("\\no\\drive", host), ERROR_BAD_PATHNAME);
  EXPECT_EQ(srv02->ResolveLocalPath("Q:\\x", host), ERROR_PATH_NOT_FOUND);
}

TEST_F(MachineTest, ClimbingOutIsRefused) {
  fs::path host;
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\D$\\EvtBak\\..\\..\\..\\SRV01", host),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(ResolveWindowsPath("C:\\.\\x", host), ERROR_BAD_PATHNAME);
  EXPECT_EQ(ResolveWindowsPath("C:\\a:b", host), ERROR_BAD_PATHNAME);
  // A symbolic link inside a drive that points out of it is not followed.
  fs::create_directories(temp_.Path() / "outside");
  std::ofstream(temp_.Path() / "outside/secret.txt") << "secret";
  fs::create_directory_symlink(temp_.Path() / "outside", Root() / "SRV02/drives/D/link");
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\D$\\LINK\\secret.txt", host), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(FileExists("\\\\SRV02\\D$\\link\\secret.txt"));
  EXPECT_EQ(DeleteFile("\\\\SRV02\\D$\\link\\secret.txt"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::exists(temp_.Path() / "outside/secret.txt"));
  // A link that stays inside the drive is fine.
  fs::create_directory_symlink(Root() / "SRV02/drives/D/EvtBak", Root() / "SRV02/drives/D/bak");
  EXPECT_EQ(ResolveWindowsPath("\\\\SRV02\\D$\\bak\\Sub", host), ERROR_SUCCESS);
}

TEST_F(MachineTest, FileOperationsGiveWindowsErrors) {
  EXPECT_EQ(CreateFolder("\\\\SRV02\\D$\\EvtBak\\New"), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_directory(Root() / "SRV02/drives/D/EvtBak/New"));
  EXPECT_EQ(CreateFolder("\\\\SRV02\\D$\\evtbak\\NEW"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CreateFolder("\\\\SRV02\\D$\\Missing\\New"), ERROR_PATH_NOT_FOUND);

  std::ofstream(Root() / "SRV02/drives/D/EvtBak/App.evt") << "data";
  EXPECT_TRUE(FileExists("\\\\SRV02\\D$\\EVTBAK\\app.EVT"));
  EXPECT_EQ(DeleteFile("\\\\SRV02\\D$\\EvtBak"), ERROR_ACCESS_DENIED);  // a folder
  EXPECT_EQ(DeleteFile("\\\\SRV02\\D$\\EvtBak\\App.evt"), ERROR_SUCCESS);
  EXPECT_FALSE(FileExists("\\\\SRV02\\D$\\EvtBak\\App.evt"));
  EXPECT_EQ(DeleteFile("\\\\SRV02\\D$\\EvtBak\\App.evt"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(DeleteFile("\\\\SRV02\\D$\\Missing\\App.evt"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateFolder("C:\\Local"), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_directory(Root() / "SRV01/drives/C/Local"));
}

TEST(CaseHelpers, FoldAsciiOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Application", "APPLICATION"));
  EXPECT_FALSE(EqualsIgnoreCase("Application", "Applications"));
  EXPECT_EQ(CanonicalMachineName("\\\\srv01"), "SRV01");
  EXPECT_EQ(ToLower("MiXeD"), "mixed");
}

}  // namespace
}  // namespace tamsel::platform::network
