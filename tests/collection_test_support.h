// End-to-end support for collection passes: a test network with the collector's own machine
// (which keeps TamselDB) and monitored servers made with the `tamsel` tool, sources with the
// test message file, events written as a server's applications write them, and the stored
// rows, backup folders and the collector's own events read back. The collection service
// runs in the test's process, so a pass can be started and looked at step by step.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collector/collector_service.h"
#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "platform/accounts/account_names.h"
#include "platform/data/data_source.h"
#include "platform/data/session.h"
#include "platform/data/session_pool.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "service/test_support.h"
#include "testing/temp_dir.h"

#ifndef COLLECTOR_MESSAGES_DLL
#error "COLLECTOR_MESSAGES_DLL names the test message file"
#endif

namespace tamsel::e2e {

namespace evl = platform::eventlog;
namespace reg = platform::registry;

// One stored LogEntry row with its names.
struct StoredRow {
  std::string server, log;
  std::int64_t recordNumber = 0;
  std::string timeGenerated, timeWritten;
  std::int64_t eventId = 0, eventType = 0, categoryNumber = 0;
  std::string category, user, source, message;
};

// The collection service of the tests; InsertLogEntry can be watched.
class TestCollector : public collector::CCollectorService {
 public:
  TestCollector() : CCollectorService("Tamsel") {}
  int InsertLogEntry(const collector::CLogRecord& record) override {
    if (beforeInsert) beforeInsert(*this);
    return CCollectorService::InsertLogEntry(record);
  }
  std::function<void(TestCollector&)> beforeInsert;
};

class CollectionTest : public ::testing::Test {
 protected:
  CollectionTest()
      : timeZone_("TZ", "UTC"),
        systemRoot_("SystemRoot", std::nullopt),
        network_(platform::network::Network(Root(), "COLLECTOR")) {
    tzset();
    CreateMachine("COLLECTOR");
    platform::data::SessionPool::Instance().Clear();
    databaseFile_ = db::LocalCatalogFile("TamselDB");
    db::CreateDatabase(databaseFile_);
    collector_.ntAuthentication_ = 1;
    collector_.backupPath_ = "D:\\EvtBak";
    collector_.refreshRate_ = 900000;
  }
  ~CollectionTest() override {
    collector_.CloseDatabase();
    platform::data::SessionPool::Instance().Clear();
    tzset();
  }

  std::filesystem::path Root() const { return temp_.Path() / "net"; }

  tamsel::testing::CommandResult Tamsel(const std::string& args) const {
    return tamsel::testing::RunCommand(
        "TAMSEL_NETWORK='" + Root().string() + "' TAMSEL_MACHINE=COLLECTOR '" +
            (tamsel::testing::BuildDir() / "tools/tamsel").string() + "' " + args,
        true);
  }
  void CreateMachine(const std::string& name) {
    auto created = Tamsel("net create " + name);
    ASSERT_EQ(created.exitCode, 0) << created.output;
  }

  // Moves the test's TamselDB to the server engine: a fresh schema on the test cluster that
  // the collector reaches through the alias, as its "-s NAME" names it. False (with `why`)
  // when there is no cluster.
  bool UseServerEngine(std::string& why) {
    if (!db::CreateTestDatabase(platform::data::Engine::Server, why)) return false;
    server_ = true;
    collector_.databaseServerName_ = platform::data::kServerAlias;
    return true;
  }
  // A session on TamselDB of its own, on the engine the collector writes to.
  std::unique_ptr<platform::data::Session> OpenDatabase() const {
    if (!server_) return platform::data::Session::Open(databaseFile_);
    return platform::data::Session::OpenServer(
        {*platform::data::ServerAliasTarget(platform::data::kServerAlias), "TamselDB", "", ""});
  }

  // SQL on TamselDB outside the collector's connection.
  void Sql(const std::string& sql) { OpenDatabase()->Execute(sql); }
  void RegisterServer(int id, const std::string& name, int status = 1) {
    Sql("INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (" + std::to_string(id) +
        ", '" + name + "', " + std::to_string(status) + ")");
  }
  void Exclude(int serverId, int eventType) {
    Sql("INSERT INTO EventExclusion (ELServerID, EventTypeID) VALUES (" + std::to_string(serverId) +
        ", " + std::to_string(eventType) + ")");
  }

  // A server made with `tamsel net create`, registered as active.
  void AddServer(int id, const std::string& name) {
    CreateMachine(name);
    RegisterServer(id, name);
  }

  // Host path of a Windows path on a machine.
  std::filesystem::path HostPath(const std::string& machine, const std::string& path) {
    std::filesystem::path host;
    EXPECT_EQ(
        platform::network::Network::Current().ResolvePath("\\\\" + machine + "\\" + path, host), 0u)
        << path;
    return host;
  }
  // Copies the test message file to a folder of a machine ("C:\WINNT\System32").
  void InstallMessageFile(const std::string& machine, const std::string& folder,
                          const std::string& fileName) {
    std::filesystem::path target = Root() / machine / "drives" / std::string(1, folder[0]);
    std::string rest = folder.substr(3);
    for (char& c : rest) {
      if (c == '\\') c = '/';
    }
    target /= rest;
    std::filesystem::create_directories(target);
    std::filesystem::copy_file(COLLECTOR_MESSAGES_DLL, target / fileName,
                               std::filesystem::copy_options::overwrite_existing);
  }

  void RegisterLog(const std::string& machine, const std::string& log, const std::string& file) {
    reg::RegistryKey root, key;
    ASSERT_EQ(reg::RegistryKey::Connect(machine, reg::HKEY_LOCAL_MACHINE, root), 0);
    ASSERT_EQ(
        reg::RegistryKey::Create(root.Get(), std::string(evl::kEventLogKey) + "\\" + log, key), 0);
    key.SetString("File", "%SystemRoot%\\system32\\config\\" + file, reg::REG_EXPAND_SZ);
    key.SetDword("MaxSize", 0x1000000);
    key.SetDword("Retention", 0);
  }
  // A source under a log with its message files ("" leaves a value out).
  void AddSource(const std::string& machine, const std::string& log, const std::string& source,
                 const std::string& eventFile, const std::string& categoryFile = "") {
    reg::RegistryKey root, key;
    ASSERT_EQ(reg::RegistryKey::Connect(machine, reg::HKEY_LOCAL_MACHINE, root), 0);
    ASSERT_EQ(reg::RegistryKey::Create(
                  root.Get(), std::string(evl::kEventLogKey) + "\\" + log + "\\" + source, key),
              0);
    key.SetDword("TypesSupported", 7);
    if (!eventFile.empty()) key.SetString("EventMessageFile", eventFile, reg::REG_EXPAND_SZ);
    if (!categoryFile.empty()) {
      key.SetString("CategoryMessageFile", categoryFile, reg::REG_EXPAND_SZ);
      key.SetDword("CategoryCount", 2);
    }
  }
  // Writes one event as an application of the machine does.
  void Write(const std::string& machine, const std::string& source, std::uint16_t type,
             std::uint32_t id, std::uint16_t category = 0,
             const std::vector<std::string>& strings = {},
             const std::vector<std::uint8_t>& sid = {}) {
    evl::EventLogHandle handle(evl::RegisterEventSourceA(machine.c_str(), source.c_str()));
    ASSERT_TRUE(handle);
    std::vector<const char*> texts;
    for (const std::string& text : strings) texts.push_back(text.c_str());
    ASSERT_TRUE(
        evl::ReportEventA(handle.Get(), type, category, id, sid.empty() ? nullptr : sid.data(),
                          static_cast<std::uint16_t>(texts.size()), 0, texts.data(), nullptr));
  }
  // Waits for the next second. A cleared log numbers its records from 1 again, and a record
  // is known to the database by its number and the second it was logged in, so events of
  // two generations of one log must not share both.
  static void NextSecond() {
    const std::time_t start = std::time(nullptr);
    while (std::time(nullptr) == start) usleep(20000);
  }
  // Records left in a live log.
  std::uint32_t LiveRecords(const std::string& machine, const std::string& log) {
    evl::EventLogHandle handle(evl::OpenEventLogA(machine.c_str(), log.c_str()));
    std::uint32_t count = 0;
    EXPECT_TRUE(handle && evl::GetNumberOfEventLogRecords(handle.Get(), &count));
    return count;
  }

  // Every stored entry, by server, log and record number (or the order given).
  std::vector<StoredRow> Stored(
      const std::string& order = "s.ELServerName, t.LogTypeName, e.RecordNumber") {
    auto session = OpenDatabase();
    auto rows = session->Prepare(
        "SELECT s.ELServerName, t.LogTypeName, e.RecordNumber, e.TimeGenerated, e.TimeWritten,"
        " e.EventID, e.EventTypeID, e.CategoryNumber, c.EventCategoryName, u.ELUserName,"
        " o.ELSourceName, e.FullMessage FROM LogEntry e"
        " JOIN ELServer s ON s.ELServerID = e.ELServerID"
        " JOIN LogType t ON t.LogTypeID = e.LogTypeID"
        " JOIN EventCategory c ON c.EventCategoryID = e.EventCategoryID"
        " JOIN ELUser u ON u.ELUserID = e.ELUserID"
        " JOIN ELSource o ON o.ELSourceID = e.ELSourceID"
        " ORDER BY " +
        order);
    std::vector<StoredRow> result;
    while (rows.Step()) {
      StoredRow row;
      row.server = rows.Text(0);
      row.log = rows.Text(1);
      row.recordNumber = rows.Int64(2);
      row.timeGenerated = rows.Text(3);
      row.timeWritten = rows.Text(4);
      row.eventId = rows.Int64(5);
      row.eventType = rows.Int64(6);
      row.categoryNumber = rows.Int64(7);
      row.category = rows.Text(8);
      row.user = rows.Text(9);
      row.source = rows.Text(10);
      row.message = rows.Text(11);
      result.push_back(std::move(row));
    }
    return result;
  }

  // File names in a folder of a machine ("D:\EvtBak"), sorted; empty when it does not exist.
  std::vector<std::string> Files(const std::string& machine, const std::string& folder) {
    std::vector<std::string> names;
    std::filesystem::path host;
    if (platform::network::Network::Current().ResolvePath("\\\\" + machine + "\\" + folder, host) !=
        0) {
      return names;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(host, error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The collector's own events (the local machine's Application log), from `from` on.
  std::vector<service::testing::LoggedEvent> CollectorEvents(size_t from = 0) {
    auto events = service::testing::ApplicationEvents();
    if (from >= events.size()) return {};
    return {events.begin() + static_cast<long>(from), events.end()};
  }

  // Marks a machine offline or back online, as `tamsel net offline` does.
  void SetOnline(const std::string& machine, bool online) {
    if (online) {
      std::filesystem::remove(Root() / machine / "OFFLINE");
    } else {
      std::ofstream(Root() / machine / "OFFLINE").put('\n');
    }
  }

  tamsel::testing::ScopedTempDir temp_;
  tamsel::testing::ScopedEnv timeZone_;
  tamsel::testing::ScopedEnv systemRoot_;
  platform::network::ScopedCurrentNetwork network_;
  TestCollector collector_;
  std::filesystem::path databaseFile_;
  bool server_ = false;
};

}  // namespace tamsel::e2e
