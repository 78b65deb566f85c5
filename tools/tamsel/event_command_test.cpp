// `tamsel event` and `tamsel net source add`: events written, queried with their messages
// rendered from the logging machine's message files, cleared with a backup, and the failures.
#include <fstream>
#include <nlohmann/json.hpp>

#include "tools/tamsel/tool_test_support.h"

namespace tamsel::tools {
namespace {

namespace fs = std::filesystem;

class EventCommandTest : public ToolTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tamsel("net create SRV01").exitCode, 0);
    ASSERT_EQ(Tamsel("net create SRV02").exitCode, 0);
    fs::create_directories(Root() / "SRV01/drives/D/EvtBak");
  }

  // Puts the sample message DLL on SRV01 and registers source Sample with it.
  void RegisterSample() {
    fs::path dll = testing::BuildDir() / "platform/messages/sample.dll";
    ASSERT_TRUE(fs::exists(dll)) << "build tamsel_messages_sample_dll first";
    fs::copy_file(dll, Root() / "SRV01/drives/C/WINDOWS/sample.dll");
    ASSERT_EQ(Tamsel("net source add --machine SRV01 --log Application --source Sample "
                     "--event-message-file '%SystemRoot%\\missing.dll;%SystemRoot%\\sample.dll' "
                     "--category-message-file '%SystemRoot%\\sample.dll' --category-count 2")
                  .exitCode,
              0);
  }

  nlohmann::json QueryJson(const std::string& args) {
    auto result = Tamsel("event query " + args + " --json");
    EXPECT_EQ(result.exitCode, 0) << args;
    return nlohmann::json::parse(result.output, nullptr, false);
  }
};

TEST_F(EventCommandTest, WrittenEventsQueryWithRenderedMessages) {
  RegisterSample();
  ASSERT_EQ(Tamsel("event write --machine SRV01 --log Application --source Sample --type "
                   "information --id 0x4FFF0064 --category 2 --string 3 --string 120 --user "
                   "S-1-5-18 --data 0aFF")
                .exitCode,
            0);
  ASSERT_EQ(Tamsel("event write --machine SRV01 --log Application --source Sample --type error "
                   "--id 4242 --category 9 --string x --string '' --string z")
                .exitCode,
            0);
  auto records = QueryJson("--machine SRV01 --log Application");
  ASSERT_TRUE(records.is_array());
  ASSERT_EQ(records.size(), 2u);
  const auto& first = records[0];
  EXPECT_EQ(first["record_number"], 1);
  EXPECT_EQ(first["event_id"], 0x4FFF0064u);
  EXPECT_EQ(first["event_type"], 4);
  EXPECT_EQ(first["category"], 2);
  EXPECT_EQ(first["category_name"], "Network");
  EXPECT_EQ(first["source"], "Sample");
  EXPECT_EQ(first["computer"], "SRV01");
  EXPECT_EQ(first["user"], "S-1-5-18");
  EXPECT_EQ(first["strings"], nlohmann::json({"3", "120"}));
  EXPECT_EQ(first["message"], "Collection pass finished: 3 server(s), 120 record(s).");
  std::string generated = first["time_generated"];
  EXPECT_EQ(generated.size(), 20u);
  EXPECT_EQ(generated.back(), 'Z');
  const auto& second = records[1];
  EXPECT_TRUE(second["message"].is_null());  // no such id in the message file
  EXPECT_EQ(second["category_name"], "(9)");
  EXPECT_EQ(second["user"], "");
  EXPECT_EQ(second["strings"], nlohmann::json({"x", "", "z"}));

  auto reversed = QueryJson("--machine SRV01 --log Application --reverse");
  ASSERT_EQ(reversed.size(), 2u);
  EXPECT_EQ(reversed[0]["record_number"], 2);

  // Queried from another machine, the message files still come from SRV01; once SRV01 is
  // down the message cannot be rendered, but the backup still reads.
  ASSERT_EQ(Tamsel("event clear --machine SRV01 --log Application --backup "
                   "'D:\\EvtBak\\app.evt'")
                .exitCode,
            0);
  EXPECT_EQ(QueryJson("--machine SRV01 --log Application").size(), 0u);
  fs::copy_file(Root() / "SRV01/drives/D/EvtBak/app.evt", Root() / "SRV02/drives/D/app.evt");
  auto archived = QueryJson("--machine SRV02 --file 'D:\\app.evt'");
  ASSERT_EQ(archived.size(), 2u);
  EXPECT_EQ(archived[0]["message"], "Collection pass finished: 3 server(s), 120 record(s).");
  ASSERT_EQ(Tamsel("net offline SRV01").exitCode, 0);
  archived = QueryJson("--machine SRV02 --file '\\\\SRV02\\D$\\app.evt'");
  ASSERT_EQ(archived.size(), 2u);
  EXPECT_TRUE(archived[0]["message"].is_null());
  EXPECT_EQ(archived[0]["category_name"], "(2)");
}

TEST_F(EventCommandTest, ModernMachineLogsQueryAndImportOfBothFormats) {
  RegisterSample();
  ASSERT_EQ(Tamsel("net create SRV63 --version 6.3").exitCode, 0);
  fs::create_directories(Root() / "SRV63/drives/D/EvtBak");
  ASSERT_TRUE(fs::exists(Root() / "SRV63/drives/C/WINDOWS/system32/winevt/Logs"));
  for (const char* id : {"0x4FFF0064", "4242"}) {
    ASSERT_EQ(Tamsel(std::string("event write --machine SRV63 --log Application --source Mine "
                                 "--type warning --string 3 --string 120 --user S-1-5-18 --id ") +
                     id)
                  .exitCode,
              0);
  }
  ASSERT_EQ(
      Tamsel("event clear --machine SRV63 --log Application --backup 'D:\\EvtBak\\a.evt'").exitCode,
      0);
  std::ifstream backup(Root() / "SRV63/drives/D/EvtBak/a.evt", std::ios::binary);
  std::string signature(8, '\0');
  backup.read(signature.data(), 8);
  EXPECT_EQ(signature, std::string("ElfFile\0", 8));
  auto modern = QueryJson("--machine SRV63 --file 'D:\\EvtBak\\a.evt'");
  ASSERT_EQ(modern.size(), 2u);
  EXPECT_EQ(modern[0]["event_id"], 0x4FFF0064u);
  EXPECT_EQ(modern[0]["event_type"], 2);
  EXPECT_EQ(modern[0]["user"], "S-1-5-18");
  EXPECT_EQ(modern[0]["strings"], nlohmann::json({"3", "120"}));

  // Records of SRV01's .evt log and of the .evtx backup, imported from host files into a
  // classic and a modern log: each keeps its computer, so messages still come from SRV01.
  ASSERT_EQ(Tamsel("event write --machine SRV01 --log Application --source Sample --type "
                   "information --id 0x4FFF0064 --string 3 --string 120")
                .exitCode,
            0);
  ASSERT_EQ(
      Tamsel("event clear --machine SRV01 --log Application --backup 'D:\\EvtBak\\c.evt'").exitCode,
      0);
  const fs::path classic = Root() / "SRV01/drives/D/EvtBak/c.evt";
  const fs::path evtx = Root() / "SRV63/drives/D/EvtBak/a.evt";
  for (const std::string target : {"SRV02", "SRV63"}) {
    for (const fs::path& file : {classic, evtx}) {
      auto imported =
          Tamsel("event import --machine " + target + " --log Application '" + file.string() + "'");
      ASSERT_EQ(imported.exitCode, 0) << imported.output;
    }
    auto records = QueryJson("--machine " + target + " --log Application");
    ASSERT_EQ(records.size(), 3u) << target;
    EXPECT_EQ(records[0]["computer"], "SRV01");
    EXPECT_EQ(records[0]["message"], "Collection pass finished: 3 server(s), 120 record(s).");
    EXPECT_EQ(records[1]["computer"], "SRV63");
    EXPECT_EQ(records[1]["event_type"], 2);
    EXPECT_EQ(records[2]["record_number"], 3);
  }
  EXPECT_NE(Errors("event import --machine SRV02 --log Application /no/such.evtx").find("error 2)"),
            std::string::npos);
}

TEST_F(EventCommandTest, SourcesAndTypes) {
  ASSERT_EQ(Tamsel("event write --machine SRV01 --log System --source Disk --type warning --id 7")
                .exitCode,
            0);
  // The source now belongs to System; writing it to another log is refused.
  EXPECT_NE(Errors("event write --machine SRV01 --log Application --source Disk --type error "
                   "--id 1")
                .find("already belongs to the System log"),
            std::string::npos);
  for (const auto& [type, number] : std::vector<std::pair<std::string, int>>{
           {"success", 0}, {"failure", 16}, {"8", 8}, {"ERROR", 1}}) {
    ASSERT_EQ(
        Tamsel("event write --machine SRV01 --log System --source Disk --type " + type + " --id 1")
            .exitCode,
        0)
        << type;
    EXPECT_EQ(QueryJson("--machine SRV01 --log System --reverse")[0]["event_type"], number);
  }
  auto added =
      Tamsel("net source add --machine SRV01 --log 'My Log' --source Mine --category-count 3");
  ASSERT_EQ(added.exitCode, 0);
  auto key = Tamsel(
      "reg query '\\\\SRV01\\HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\My "
      "Log\\Mine' /v CategoryCount");
  EXPECT_NE(key.output.find("0x3"), std::string::npos) << key.output;
  ASSERT_EQ(
      Tamsel("event write --machine SRV01 --log 'my log' --source Mine --type 4 --id 2").exitCode,
      0);
  EXPECT_EQ(QueryJson("--machine SRV01 --log 'My Log'").size(), 1u);
  ASSERT_EQ(Tamsel("event write --machine SRV01 --log 'My Log' --source Mine --type 4 --id 3 "
                   "--count 3")
                .exitCode,
            0);
  auto repeated = QueryJson("--machine SRV01 --log 'My Log' --reverse");
  ASSERT_EQ(repeated.size(), 4u);
  EXPECT_EQ(repeated[0]["record_number"], 4);
  EXPECT_EQ(repeated[2]["event_id"], 3);

  // Registration and writing agree: a source of one log is not registered under another,
  // while registering it again under its own log (any case) updates it.
  EXPECT_NE(Errors("net source add --machine SRV01 --log Application --source mine")
                .find("source mine already belongs to the My Log log"),
            std::string::npos);
  EXPECT_NE(Tamsel("reg query '\\\\SRV01\\HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\"
                   "Application\\mine'")
                .exitCode,
            0);
  EXPECT_EQ(Tamsel("net source add --machine SRV01 --log 'MY LOG' --source Mine --category-count 4")
                .exitCode,
            0);
}

TEST_F(EventCommandTest, FailuresAreReportedWithTheirCodes) {
  ASSERT_EQ(
      Tamsel("event write --machine SRV01 --log Application --source A --type 4 --id 1").exitCode,
      0);
  ASSERT_EQ(
      Tamsel("event backup --machine SRV01 --log Application --file 'D:\\EvtBak\\b.evt'").exitCode,
      0);
  auto exists = Errors(
      "event clear --machine SRV01 --log Application --backup "
      "'D:\\EvtBak\\b.evt'");
  EXPECT_NE(exists.find("error 183"), std::string::npos) << exists;
  auto missing = Errors("event clear --machine SRV01 --log Application --backup 'D:\\No\\b.evt'");
  EXPECT_NE(missing.find("error 3)"), std::string::npos) << missing;
  EXPECT_EQ(QueryJson("--machine SRV01 --log Application").size(), 1u);  // still there
  EXPECT_NE(Errors("event query --machine NOSUCH --log Application").find("error 1722"),
            std::string::npos);
  EXPECT_NE(Errors("event query --machine SRV01 --file 'D:\\EvtBak\\none.evt'").find("error 2)"),
            std::string::npos);
  fs::path junk = Root() / "SRV01/drives/D/EvtBak/junk.evt";
  std::ofstream(junk) << std::string(100, 'j');
  EXPECT_NE(Errors("event query --machine SRV01 --file 'D:\\EvtBak\\junk.evt'").find("error 1500"),
            std::string::npos);
  for (const char* bad : {"event write --machine SRV01 --log Application --source A --type odd "
                          "--id 1",
                          "event write --machine SRV01 --log Application --source A --type 4 --id "
                          "0x100000000",
                          "event write --machine SRV01 --log Application --source A --type 4 --id "
                          "1 --data abc",
                          "event write --machine SRV01 --log Application --source A --type 4 --id "
                          "1 --user S-1-x",
                          "event write --machine SRV01 --log Application --source A --type 4 --id "
                          "1 --count 0",
                          "event query --machine SRV01", "event frobnicate",
                          "net source add --machine SRV01 --log Application"}) {
    auto result = Tamsel(bad);
    EXPECT_EQ(result.exitCode, 1) << bad;
    EXPECT_EQ(result.output, "") << bad;
  }
  EXPECT_EQ(Tamsel("event --help").exitCode, 0);
  EXPECT_EQ(Tamsel("net source --help").exitCode, 0);
}

}  // namespace
}  // namespace tamsel::tools
