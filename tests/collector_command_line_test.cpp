// TamselCollector's command line on a fresh machine: the exact console output of every option
// and action, and what each stores in the service's Parameters key.
#include <fstream>
#include <sstream>

#include "tests/collector_test_support.h"

namespace tamsel::e2e {
namespace {

constexpr const char* kRestart = "\nRestart Tamsel service for changes to take effect.";

class CommandLineTest : public CollectorTest {
 protected:
  // The output of a run that must end with exit code 0.
  std::string Output(const std::string& args) {
    auto result = Program(args);
    EXPECT_EQ(result.exitCode, 0) << args;
    return result.output;
  }
  std::string Banner() { return "Tamsel Version 1.12  - Release, Linux build of December 2026\n"; }
};

TEST_F(CommandLineTest, HelpText) {
  const std::string help =
      Banner() +
      "Usage:\n======\n-i \tInstall\n-u \tUninstall\n-v \tPrint version\n"
      "-r [n] \tSet the refresh rate to n minutes.\n"
      "-b [p] \tSet event log temp. backup file path, where p parameter is the path.\n"
      "-s [p] \tSet database server name, where p parameter is the server name.\n"
      "-n [ 1|0 ] \tSet NTAuthentication on (1) or off (0).\n"
      "-p [p] \tSet database password (not required NTAuthentication is set to 1), where p "
      "parameter is the password.\n"
      "-a [p] \tSet database user name (not required NTAuthentication is set to 1), where p "
      "parameter is the user name.\n";
  EXPECT_EQ(Output("'/?'"), help);
  EXPECT_EQ(Output("help"), help);
  EXPECT_EQ(Output("HELP"), help);
  // "/?" and "help" have one form each.
  EXPECT_EQ(Output("'-?'"), "");
  EXPECT_EQ(Output("/help"), "");
}

TEST_F(CommandLineTest, VersionCreditsInstallAndRemove) {
  EXPECT_EQ(Output("-v"), Banner() + "The service is not installed\n");
  EXPECT_EQ(Output("-x"),
            "Tamsel gathers the event logs of a network's servers into one database.\n"
            "Written by the Tamsel developers; maintained on Linux with its platform layer.\n");
  EXPECT_EQ(Output("-u"), "Tamsel is not installed\n");
  EXPECT_EQ(Output("-i"), "Tamsel installed\n");
  EXPECT_EQ(Output("-i"), "Tamsel is already installed\n");
  EXPECT_EQ(Output("-I"), "Tamsel is already installed\n");
  EXPECT_EQ(Output("/i"), "Tamsel is already installed\n");
  EXPECT_EQ(Output("/V"), Banner() + "The service is currently installed\n");
  EXPECT_EQ(String("", "ImagePath"), Collector());
  EXPECT_EQ(Output("/U"),
            "Tamsel removed. (You must delete the file (" + Collector() + ") yourself.)\n");
  EXPECT_EQ(String("", "ImagePath"), std::nullopt);
  EXPECT_EQ(Output("-v"), Banner() + "The service is not installed\n");
}

TEST_F(CommandLineTest, InstallFailureShowsTheError) {
  // A local machine without a folder has no registry to hold the service.
  auto result = tamsel::testing::RunCommand("TAMSEL_NETWORK='" + Root().string() +
                                            "' TAMSEL_MACHINE=NOSUCH '" + Collector() + "' -i");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "Tamsel failed to install. Error 53\n");
}

TEST_F(CommandLineTest, ProgramPathTooLongForTheRecordIsRefused) {
  std::filesystem::path folder = temp_.Path() / std::string(200, 'd') / std::string(60, 'e');
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(Collector(), folder / "TamselCollector");
  auto result = Run((folder / "TamselCollector").string(), "-i");
  EXPECT_EQ(result.output, "Tamsel failed to install. Error 122\n");
  EXPECT_EQ(String("", "ImagePath"), std::nullopt);
}

TEST_F(CommandLineTest, RefreshRate) {
  EXPECT_EQ(Output("-r 15"), std::string("Refresh rate set to 15 minutes.") + kRestart);
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), 900000u);
  EXPECT_EQ(Output("-r 0"), std::string("Refresh rate set to 0 minutes.") + kRestart);
  EXPECT_EQ(Output("-r -5"), std::string("Refresh rate set to -5 minutes.") + kRestart);
  EXPECT_EQ(Output("/R 20x extra"), std::string("Refresh rate set to 20 minutes.") + kRestart);
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), 1200000u);
  EXPECT_EQ(Output("-r"), "\nMissing parameter: refresh rate in minutes.");
  EXPECT_EQ(Output("-r 40000"), "Refresh rate must be at most 35791 minutes.");
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), 1200000u);
  // Settings given before the install are kept by it.
  EXPECT_EQ(Output("-i"), "Tamsel installed\n");
  EXPECT_EQ(Dword("\\Parameters", "RefreshRate"), 1200000u);
}

TEST_F(CommandLineTest, StringSettings) {
  EXPECT_EQ(Output("/S SQL1"), std::string("Set database server name to SQL1.") + kRestart);
  EXPECT_EQ(String("\\Parameters", "DatabaseServerName"), "SQL1");
  EXPECT_EQ(Output("-s ''"), std::string("Set database server name to .") + kRestart);
  EXPECT_EQ(String("\\Parameters", "DatabaseServerName"), "");
  EXPECT_EQ(Output("-b 'D:\\Event Backups'"),
            std::string("Set log backup file path to D:\\Event Backups.") + kRestart);
  EXPECT_EQ(String("\\Parameters", "BakupPath"), "D:\\Event Backups");
  EXPECT_EQ(Output("/a collector"), std::string("Set database user name to collector.") + kRestart);
  EXPECT_EQ(String("\\Parameters", "DBUserName"), "collector");
  EXPECT_EQ(Output("-P 's3cret!'"),
            std::string("Set database access password to s3cret!.") + kRestart);
  EXPECT_EQ(String("\\Parameters", "DBPassword"), "s3cret!");

  EXPECT_EQ(Output("-p"), "\nMissing parameter: password.");
  EXPECT_EQ(Output("-a"), "\nMissing parameter: user name.");
  EXPECT_EQ(Output("-b"), "\nMissing parameter: log backup file path.");
  EXPECT_EQ(Output("-s"), "\nMissing parameter: database server name.");
  EXPECT_EQ(String("\\Parameters", "DBPassword"), "s3cret!");
}

TEST_F(CommandLineTest, NtAuthentication) {
  EXPECT_EQ(Output("-n"), "\nMissing parameter: 0 | 1.");
  EXPECT_EQ(Dword("\\Parameters", "DBUseNTAuthentication"), std::nullopt);
  EXPECT_EQ(Output("-n 1"),
            std::string("NT authentication is set to 1, where 1 - On, 2 - Off.") + kRestart);
  EXPECT_EQ(Dword("\\Parameters", "DBUseNTAuthentication"), 1u);
  EXPECT_EQ(Output("-n 2"),
            std::string("NT authentication must be 1 or 0, where 1 - On, 2 - Off.") +
                "NT authentication is set to 2, where 1 - On, 2 - Off." + kRestart);
  EXPECT_EQ(Dword("\\Parameters", "DBUseNTAuthentication"), 1u);
  EXPECT_EQ(Output("/N abc"),
            std::string("NT authentication is set to 0, where 1 - On, 2 - Off.") + kRestart);
  EXPECT_EQ(Dword("\\Parameters", "DBUseNTAuthentication"), 0u);
}

TEST_F(CommandLineTest, WithoutAnActionTheProgramTriesToRunAsAService) {
  for (const char* args : {"", "-z", "install"}) {
    auto result = Program(args);
    EXPECT_EQ(result.exitCode, 0) << args;
    EXPECT_EQ(result.output, "") << args;
  }
  std::ifstream in(DebugLog());
  std::stringstream trace;
  trace << in.rdbuf();
  std::string text = trace.str();
  // Each run: the dispatcher fails at once between its two traces.
  size_t calls = 0;
  for (size_t at = text.find("): Calling StartServiceCtrlDispatcher()\n"); at != std::string::npos;
       at = text.find("): Calling StartServiceCtrlDispatcher()\n", at + 1)) {
    ++calls;
  }
  EXPECT_EQ(calls, 3u);
  EXPECT_NE(text.find("): Returned from StartServiceCtrlDispatcher()\n"), std::string::npos);
  EXPECT_EQ(text.find("ServiceMain"), std::string::npos);
}

}  // namespace
}  // namespace tamsel::e2e
