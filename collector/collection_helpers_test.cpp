// Tests of the names and texts a pass builds: backup file names and their share form and
// folder chain, recognition of kept backups, connection strings, record times, message file
// paths, line breaks and the fallback description, and the message module cache.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "collector/backup_files.h"
#include "collector/database_writer.h"
#include "collector/message_module_cache.h"
#include "collector/message_texts.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::collector {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Local time two hours east of UTC, without daylight saving.
class LocalTimeTest : public ::testing::Test {
 protected:
  LocalTimeTest() : zone_("TZ", "XST-2") { tzset(); }
  ~LocalTimeTest() override { tzset(); }
  tamsel::testing::ScopedEnv zone_;
};

TEST_F(LocalTimeTest, BackupFileNameAndRecordTimesUseLocalTime) {
  // 2002-06-28 19:40:27 UTC is 21:40:27 here.
  EXPECT_EQ(BackupFileName("D:\\EvtBak", "Application", 1025293227),
            "D:\\EvtBak\\Application_20020628214027.evt");
  EXPECT_EQ(BackupFileName("D:\\EvtBak", "File Replication Service", 1025293227),
            "D:\\EvtBak\\File Replication Service_20020628214027.evt");
  EXPECT_EQ(FormatRecordTime(1025293227), "06/28/2002 21:40:27");
  EXPECT_EQ(FormatRecordTime(0), "01/01/1970 02:00:00");
  EXPECT_EQ(FormatRecordTime(0xFFFFFFFFu), "02/07/2106 08:28:15");
}

TEST(BackupFilesTest, ShareFormAndFolderChain) {
  EXPECT_EQ(ShareForm("SRV01", "D:\\EvtBak"), "\\\\SRV01\\D$\\EvtBak");
  EXPECT_EQ(ShareForm("SRV01", "D:\\EvtBak\\Application_20020628214027.evt"),
            "\\\\SRV01\\D$\\EvtBak\\Application_20020628214027.evt");
  EXPECT_THAT(BackupFolderChain("\\\\SRV01\\D$\\EvtBak"), IsEmpty());
  EXPECT_THAT(BackupFolderChain("\\\\SRV01\\D$\\a\\b\\c"),
              ElementsAre("\\\\SRV01\\D$\\a\\", "\\\\SRV01\\D$\\a\\b\\"));
  EXPECT_THAT(
      BackupFolderChain("\\\\SRV01\\D$\\a\\b\\c\\"),
      ElementsAre("\\\\SRV01\\D$\\a\\", "\\\\SRV01\\D$\\a\\b\\", "\\\\SRV01\\D$\\a\\b\\c\\"));
  EXPECT_THAT(BackupFolderChain("\\\\SRV01\\EvtBak"), IsEmpty());  // no drive share at all
}

TEST(BackupFilesTest, KeptBackupsOfALogAreRecognised) {
  EXPECT_EQ(BackupTimeStamp("Application_20020628214027.evt", "Application"), "20020628214027");
  EXPECT_EQ(BackupTimeStamp("APPLICATION_20020628214027.EVT", "Application"), "20020628214027");
  EXPECT_EQ(
      BackupTimeStamp("File Replication Service_20020628214027.evt", "File Replication Service"),
      "20020628214027");
  EXPECT_EQ(BackupTimeStamp("Application_2002062821402.evt", "Application"), std::nullopt);
  EXPECT_EQ(BackupTimeStamp("Application_2002062821402x.evt", "Application"), std::nullopt);
  EXPECT_EQ(BackupTimeStamp("Application_20020628214027.txt", "Application"), std::nullopt);
  EXPECT_EQ(BackupTimeStamp("System_20020628214027.evt", "Application"), std::nullopt);
  // A log whose name starts like another's does not take its backups.
  EXPECT_EQ(BackupTimeStamp("Application_20020628214027.evt", "App"), std::nullopt);
}

TEST(DatabaseWriterTest, ConnectionStringForms) {
  EXPECT_EQ(BuildConnectionString("SQL1", "TamselDB", 1, "sa", "secret"),
            "Provider=sqloledb;Data Source=SQL1;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;");
  EXPECT_EQ(BuildConnectionString("SQL1", "TamselDB", 0, "sa", ""),
            "Provider=sqloledb;Data Source=SQL1;Initial Catalog=TamselDB;User Id=sa;Password=;");
  EXPECT_EQ(BuildConnectionString("", "TamselDB", 1, "", ""),
            "Provider=sqloledb;Data Source=;Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;");
}

TEST(MessageTextsTest, SharePathLineBreaksAndFallback) {
  tamsel::testing::ScopedEnv root("SystemRoot", "C:\\WINNT");
  EXPECT_EQ(MessageFileSharePath("SRV01", "%SystemRoot%\\System32\\netmsg.dll"),
            "\\\\SRV01\\C$\\WINNT\\System32\\netmsg.dll");
  EXPECT_EQ(MessageFileSharePath("SRV01", "%SystemRoot%\\a.dll;%SystemRoot%\\b.dll"),
            "\\\\SRV01\\C$\\WINNT\\a.dll");
  EXPECT_EQ(MessageFileSharePath("SRV01", ""), "\\\\SRV01\\");
  // An expansion longer than the path buffer leaves only the prefix, which will not load.
  EXPECT_EQ(MessageFileSharePath("SRV01", "C:\\" + std::string(300, 'x')), "\\\\SRV01\\");

  EXPECT_EQ(HtmlLineBreaks("one\r\ntwo\r\n"), "one<br>two<br>");
  EXPECT_EQ(HtmlLineBreaks("no\nbreak\r"), "no\nbreak\r");
  EXPECT_EQ(FallbackDescription({"a", "b"}), std::string(kFallbackDescription) + "a<br>b<br>");
  EXPECT_EQ(FallbackDescription({}), kFallbackDescription);
}

TEST(MessageModuleCacheTest, KeepsQuietFilesAndReloadsChangedOrMissingOnes) {
  tamsel::testing::ScopedTempDir temp;
  platform::network::ScopedCurrentNetwork network(platform::network::Network(temp.Path(), "SRV01"));
  platform::network::Network::Current().CreateMachineFolder("SRV01");
  const auto file = temp.Path() / "SRV01" / "drives" / "C" / "msg.dll";
  const std::string path = "\\\\SRV01\\C$\\msg.dll";
  const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  RegistryStamps machines;
  MessageModuleCache cache(machines);
  EXPECT_EQ(cache.Load(path), nullptr);  // not there yet
  EXPECT_EQ(cache.Size(), 0u);
  // Our own test program carries a message table: a module the cache can hold. Just
  // written, it is loaded but not kept: a change in the same clock tick could not be seen.
  std::filesystem::copy_file("/proc/self/exe", file);
  EXPECT_NE(cache.Load(path), nullptr);
  EXPECT_EQ(cache.Size(), 0u);
  std::filesystem::last_write_time(file, anHourAgo);
  auto first = cache.Load(path);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Load(path), first);
  EXPECT_EQ(cache.Size(), 1u);
  // A file of another size, even with the same time, is read again once the moment has
  // moved on; within one moment the file is looked at only once.
  std::filesystem::resize_file(file, std::filesystem::file_size(file) + 16);
  std::filesystem::last_write_time(file, anHourAgo);
  EXPECT_EQ(cache.Load(path), first);
  machines.Renew();
  auto second = cache.Load(path);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(cache.Size(), 1u);
  // A machine out of reach serves nothing, as a fresh load would not.
  std::ofstream(temp.Path() / "SRV01" / "OFFLINE").put('\n');
  machines.Renew();
  EXPECT_EQ(cache.Load(path), nullptr);
  EXPECT_EQ(cache.Size(), 0u);
  std::filesystem::remove(temp.Path() / "SRV01" / "OFFLINE");
  machines.Renew();
  std::filesystem::remove(file);
  EXPECT_EQ(cache.Load(path), nullptr);
  EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
}  // namespace tamsel::collector
