// Test support for the component's methods (header only, so nothing of it reaches the
// library): a temporary network whose local machine holds the database, the component folder
// with its AppConfig.xml, the trace folder, and readers of the trace lines.
//
//   ComponentTestEnvironment env;             // network, machine, folders; AppConfig written
//   env.CreateSchemaDatabase();               // TamselDB with schema, seeds and procedures
//   Arguments args{Variant()};
//   Variant result = ComponentCall("Reports.MenuXmlGet", args);
//   EXPECT_THAT(env.TraceTexts(), Contains(">>>Reports.MenuXmlGet"));
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/network/network.h"
#include "reports/core/common_methods.h"
#include "reports/core/component_folder.h"
#include "testing/temp_dir.h"

namespace tamsel::reports::testing {

class ComponentTestEnvironment {
 public:
  static constexpr const char* kMachine = "TESTHOST";

  // Writes an AppConfig.xml for the local embedded database `catalog` with Windows
  // authentication and the trace folder of the environment.
  explicit ComponentTestEnvironment(std::string catalog = "TamselDB")
      : catalog_(std::move(catalog)),
        networkEnv_("TAMSEL_NETWORK", (temp_.Path() / "network").string()),
        machineEnv_("TAMSEL_MACHINE", kMachine),
        network_(platform::network::Network(temp_.Path() / "network", kMachine)),
        folder_(ComponentFolderPath()) {
    std::filesystem::create_directories(temp_.Path() / "network");
    platform::network::Network::Current().CreateMachineFolder(kMachine);
    std::filesystem::create_directories(ComponentFolderPath());
    std::filesystem::create_directories(TraceFolder());
    CommonMethods::ModuleStateClear();
    WriteAppConfig(StandardAppConfig());
  }
  ~ComponentTestEnvironment() { CommonMethods::ModuleStateClear(); }

  const std::filesystem::path& Root() const { return temp_.Path(); }
  std::filesystem::path ComponentFolderPath() const { return temp_.Path() / "component"; }
  std::filesystem::path TraceFolder() const { return temp_.Path() / "trace"; }
  std::filesystem::path AppConfigFile() const { return ComponentFolderPath() / "AppConfig.xml"; }
  const std::string& Catalog() const { return catalog_; }

  // The DBServer of the AppConfig.xml written: "(local)", or a server alias.
  const std::string& DataSource() const { return dataSource_; }
  void SetDataSource(std::string dataSource) {
    dataSource_ = std::move(dataSource);
    WriteAppConfig(StandardAppConfig());
  }

  std::string StandardAppConfig(int useNtAuthentication = 1) const {
    return "<AppConfig>\r\n  <DATABASE DBServer=\"" + dataSource_ + "\" DBName=\"" + catalog_ +
           "\" UseNTAuthentication=\"" + std::to_string(useNtAuthentication) +
           "\" DBUserName=\"tamsel\" DBPassword=\"secret\"/>\r\n  <LOGFILE LogFilePath=\"" +
           TraceFolder().string() + "\"/>\r\n</AppConfig>\r\n";
  }
  void WriteAppConfig(const std::string& text) const {
    std::ofstream(AppConfigFile(), std::ios::binary | std::ios::trunc) << text;
  }
  void RemoveAppConfig() const { std::filesystem::remove(AppConfigFile()); }

  // An empty embedded database for the catalog on the local machine; the procedures the
  // tests call come from the procedure catalog.
  std::filesystem::path CreateDatabaseFile() const {
    std::filesystem::path folder = platform::data::DataFolder("(local)");
    std::filesystem::create_directories(folder);
    std::filesystem::path file = platform::data::CatalogFile(folder, catalog_);
    platform::data::Session::Open(file, true);
    return file;
  }

  // The catalog's database with the full schema, seed rows and procedures (tests that call
  // this link tamsel_database).
  std::filesystem::path CreateSchemaDatabase() const {
    std::filesystem::path file = db::LocalCatalogFile(catalog_);
    db::CreateDatabase(file);
    return file;
  }

  // Every trace file of a folder (the trace folder by default), in name order.
  std::vector<std::filesystem::path> TraceFiles(std::filesystem::path folder = {}) const {
    if (folder.empty()) folder = TraceFolder();
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::exists(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().filename().string().rfind("TamselReportsCom", 0) == 0) {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  // The raw lines of a file, each with its CR LF.
  static std::vector<std::string> RawLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < all.size();) {
      std::size_t end = all.find("\r\n", start);
      end = end == std::string::npos ? all.size() : end + 2;
      lines.push_back(all.substr(start, end - start));
      start = end;
    }
    return lines;
  }

  // The texts of every trace line in the trace folder (after the TAB, without CR LF).
  std::vector<std::string> TraceTexts() const {
    std::vector<std::string> texts;
    for (const auto& file : TraceFiles()) {
      for (const std::string& line : RawLines(file)) {
        std::size_t tab = line.find('\t');
        std::string text = tab == std::string::npos ? line : line.substr(tab + 1);
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
          text.resize(text.size() - 2);
        }
        texts.push_back(text);
      }
    }
    return texts;
  }

 private:
  tamsel::testing::ScopedTempDir temp_;
  std::string catalog_;
  std::string dataSource_ = "(local)";
  tamsel::testing::ScopedEnv networkEnv_;
  tamsel::testing::ScopedEnv machineEnv_;
  platform::network::ScopedCurrentNetwork network_;
  ScopedComponentFolder folder_;
};

}  // namespace tamsel::reports::testing
