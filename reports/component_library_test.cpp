// End-to-end tests of libTamselReportsCom.so: self-registration in the local machine's
// registry, creation by ProgID through its class factory, AppConfig.xml beside the library
// file, and the `tamsel com` scripting host driving it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "database/database_file.h"
#include "platform/com/create_object.h"
#include "platform/com/dispatch.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "testing/temp_dir.h"

namespace tamsel::reports {
namespace {

namespace com = platform::com;
namespace reg = platform::registry;
using nlohmann::json;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kReportsClsid = "{75BAF1CA-6F4D-4282-AB39-952A8DCD0D4F}";
constexpr const char* kLibId = "{60CA334F-BDDB-4D0E-A761-604D9A8D884E}";

class ComponentLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(Root() / "network");
    platform::network::Network::Current().CreateMachineFolder("TESTHOST");
    std::filesystem::create_directories(Library().parent_path());
    std::filesystem::create_directories(TraceFolder());
    // The library is used from a folder of its own, where its AppConfig.xml lies.
    std::filesystem::copy_file(testing::BuildDir() / "reports" / "libTamselReportsCom.so",
                               Library());
    std::ofstream(Library().parent_path() / "AppConfig.xml")
        << "<AppConfig><DATABASE DBServer=\"(local)\" DBName=\"TamselDB\" "
           "UseNTAuthentication=\"1\" DBUserName=\"\" DBPassword=\"\"/><LOGFILE LogFilePath=\""
        << TraceFolder().string() << "\"/></AppConfig>";
  }

  std::filesystem::path Root() const { return temp_.Path(); }
  std::filesystem::path Library() const { return Root() / "component" / "libTamselReportsCom.so"; }
  std::filesystem::path TraceFolder() const { return Root() / "trace"; }

  static std::string Default(const std::string& key, const std::string& name = "") {
    reg::RegistryKey opened;
    if (reg::RegistryKey::Open(reg::HKEY_CLASSES_ROOT, key, reg::KEY_READ, opened) != 0) {
      return "<absent>";
    }
    std::string value;
    return opened.GetString(name, value) == 0 ? value : "<no value>";
  }

  std::string TraceText() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(TraceFolder())) {
      std::ifstream in(entry.path(), std::ios::binary);
      all.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return all;
  }

  testing::CommandResult Tamsel(const std::string& args, const std::string& input = "") const {
    std::string line = "TAMSEL_NETWORK='" + (Root() / "network").string() +
                       "' TAMSEL_MACHINE=TESTHOST '" +
                       (testing::BuildDir() / "tools" / "tamsel").string() + "' " + args;
    if (!input.empty()) line = "printf '%b' '" + input + "' | " + line;
    return testing::RunCommand(line);
  }

  testing::ScopedTempDir temp_;
  testing::ScopedEnv network_{"TAMSEL_NETWORK", (temp_.Path() / "network").string()};
  testing::ScopedEnv machine_{"TAMSEL_MACHINE", "TESTHOST"};
  platform::network::ScopedCurrentNetwork current_{
      platform::network::Network(temp_.Path() / "network", "TESTHOST")};
};

TEST_F(ComponentLibraryTest, RegistersItsClassesAndIsCreatedByProgId) {
  EXPECT_THROW(com::CreateObject("TamselReportsCom.Reports"), com::ComError);

  ASSERT_EQ(com::CallServerEntry(Library(), "DllRegisterServer"), com::S_OK);
  const std::string clsidKey = std::string("CLSID\\") + kReportsClsid;
  EXPECT_EQ(Default("TamselReportsCom.Reports\\CLSID"), kReportsClsid);
  EXPECT_EQ(Default(clsidKey + "\\InprocServer32"), Library().string());
  EXPECT_EQ(Default(clsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Default(clsidKey + "\\ProgID"), "TamselReportsCom.Reports");
  EXPECT_EQ(Default(clsidKey + "\\TypeLib"), kLibId);
  EXPECT_EQ(Default("TamselReportsCom.AppAdmin\\CLSID"), "{E278E61F-811A-4845-B41D-992F8F53E39E}");
  EXPECT_EQ(Default(std::string("TypeLib\\") + kLibId + "\\1.0"), "TamselReportsCom");
  EXPECT_EQ(Default("Interface\\{E04598CE-FB33-4E1D-8195-28971CAD94A8}"), "_Reports");
  // HKEY_CLASSES_ROOT is the local machine's SOFTWARE\Classes.
  reg::RegistryKey machineView;
  EXPECT_EQ(reg::RegistryKey::Open(reg::HKEY_LOCAL_MACHINE,
                                   "SOFTWARE\\Classes\\TamselReportsCom.Reports\\CLSID",
                                   reg::KEY_READ, machineView),
            0);

  {
    std::shared_ptr<com::IDispatchObject> reports = com::CreateObject("TamselReportsCom.Reports");
    EXPECT_EQ(reports->TypeInfo().Methods().size(), 32u);
    EXPECT_EQ(com::CallServerEntry(Library(), "DllCanUnloadNow"), com::S_FALSE);
    com::Arguments none;
    // No database yet: the heartbeat answers "" and traces beside the configuration it read.
    EXPECT_EQ(com::CallByName(*reports, "HeartBitCheck", none), com::Variant(""));
    EXPECT_THAT(TraceText(), HasSubstr("\t>>>Reports.HeartBitCheck\r\n"));
    EXPECT_THAT(TraceText(), HasSubstr("\tAppConfig path: " +
                                       (Library().parent_path() / "AppConfig.xml").string()));
  }
  EXPECT_EQ(com::CallServerEntry(Library(), "DllCanUnloadNow"), com::S_OK);

  ASSERT_EQ(com::CallServerEntry(Library(), "DllUnregisterServer"), com::S_OK);
  EXPECT_EQ(Default("TamselReportsCom.Reports\\CLSID"), "<absent>");
  EXPECT_EQ(Default(clsidKey), "<absent>");
  EXPECT_EQ(Default(std::string("TypeLib\\") + kLibId), "<absent>");
  EXPECT_THROW(com::CreateObject("TamselReportsCom.Reports"), com::ComError);
}

TEST_F(ComponentLibraryTest, ScriptingHostRegistersCallsAndBatchesCalls) {
  testing::CommandResult registered = Tamsel("com register '" + Library().string() + "'");
  ASSERT_EQ(registered.exitCode, 0) << registered.output;

  // Database down, then up.
  testing::CommandResult down = Tamsel("com call TamselReportsCom.Reports.HeartBitCheck");
  EXPECT_EQ(down.exitCode, 0);
  EXPECT_EQ(json::parse(down.output), (json{{"result", ""}, {"args", json::array()}}));
  db::CreateDatabase(db::LocalCatalogFile(db::kDefaultCatalog));
  testing::CommandResult up = Tamsel("com call TamselReportsCom.Reports.heartbitcheck");
  EXPECT_THAT(json::parse(up.output)["result"].get<std::string>(),
              HasSubstr("Database connection: OK<br>"));
  EXPECT_GT(json::parse(up.output)["result"].get<std::string>().size(),
            std::string("Database connection: OK<br>").size());

  // A by-reference argument comes back with what the method stored in it.
  testing::CommandResult query =
      Tamsel("com call TamselReportsCom.Reports.SqlQueryGenerate '<f SortBy=\"LEID\"/>' '' 2>&1");
  json answer = json::parse(query.output);
  // (A library built without the log browser answers E_NOTIMPL; late-bound by-reference
  // calls are covered in platform/com then.)
  if (!answer.contains("error") || answer["error"]["number"] != com::E_NOTIMPL) {
    EXPECT_EQ(query.output.substr(0, 12), "{\"result\":0,");
    EXPECT_EQ(answer["args"][0], "<f SortBy=\"LEID\"/>");
    EXPECT_THAT(answer["args"][1].get<std::string>(), HasSubstr("FROM LogEntry ORDER BY LEID"));
  }

  testing::CommandResult outside =
      Tamsel("com call --no-transaction TamselReportsCom.Reports.HeartBitCheck");
  EXPECT_EQ(json::parse(outside.output)["result"], "This call requires transaction");

  // A call that does not fit raises; the host says so and fails.
  testing::CommandResult extra =
      Tamsel("com call TamselReportsCom.Reports.HeartBitCheck long:1 2>/dev/null");
  EXPECT_EQ(extra.exitCode, 1);
  EXPECT_EQ(json::parse(extra.output)["error"]["number"], 450);
  EXPECT_EQ(Tamsel("com call TamselReportsCom.Reports.HeartBitCheck short:99999 2>&1").exitCode, 1);

  testing::CommandResult batch =
      Tamsel("com batch",
             "{\"call\":\"TamselReportsCom.Reports.HeartBitCheck\",\"args\":[]}\\n"
             "\\n"
             "{\"call\":\"TamselReportsCom.Reports.HeartBitCheck\",\"transaction\":false}\\n"
             "not json\\n"
             "{\"call\":\"TamselReportsCom.Nothing.Method\"}\\n");
  EXPECT_EQ(batch.exitCode, 1);
  std::vector<json> lines;
  std::istringstream out(batch.output);
  for (std::string line; std::getline(out, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_THAT(lines[0]["result"].get<std::string>(), HasSubstr("Database connection: OK<br>"));
  EXPECT_EQ(lines[1]["result"], "This call requires transaction");
  EXPECT_EQ(lines[2]["error"]["number"], 5);
  EXPECT_EQ(lines[3]["error"]["number"], 429);

  EXPECT_EQ(Tamsel("com unregister '" + Library().string() + "'").exitCode, 0);
  EXPECT_EQ(Tamsel("com call TamselReportsCom.Reports.HeartBitCheck 2>/dev/null").exitCode, 1);
  EXPECT_THAT(Tamsel("com --help").output, HasSubstr("{\"short\": N}"));
}

}  // namespace
}  // namespace tamsel::reports
