// The status page's stored entries on both engines: counts and newest entry per server and
// log, servers and logs in name order.
#include "web/stored_entries.h"

#include <gtest/gtest.h>

#include "database/engine_test_support.h"

namespace tamsel::web {
namespace {

using platform::data::Engine;

class StoredEntriesTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    std::string why;
    const auto connection = db::CreateTestDatabase(GetParam(), why);
    if (!connection) GTEST_SKIP() << why;
    connection_ = *connection;
    conn_.Open(connection_);
  }

  platform::data::TestNetwork net_;
  platform::data::Connection conn_;
  std::string connection_;
};

TEST_P(StoredEntriesTest, CountsEachLogOfEachServerInNameOrder) {
  // Keys and names sort differently, so the order shown is the names'.
  conn_.Execute(
      "INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'WEB'), (2, 'DB'), "
      "(3, 'IDLE');"
      "INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System'), (2, 'Application');"
      "INSERT INTO ELSource (ELSourceID, ELSourceName) VALUES (1, 'Disk')");
  struct Entry {
    int server, log;
    const char* time;
  };
  const Entry entries[] = {{1, 1, "2024-03-01 10:00:00"},
                           {1, 1, "2024-03-02 09:00:00"},
                           {1, 2, "2024-03-03 08:00:00"},
                           {2, 1, "2024-02-01 00:00:00"}};
  for (const auto& [server, log, time] : entries) {
    conn_.Execute(
        "INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, "
        "TimeWritten, EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage) "
        "VALUES (" +
        std::to_string(server) + ", " + std::to_string(log) + ", 1, '" + time + "', '" + time +
        "', 1, 4, 1, 1, 1, 'm')");
  }
  std::string error;
  const nlohmann::json servers = StoredEntries(connection_, error);
  EXPECT_EQ(error, "");
  const nlohmann::json expected = nlohmann::json::parse(R"([
    {"name": "DB", "total": "1", "newest": "2024-02-01 00:00:00", "logs": [
      {"name": "System", "entries": "1", "newest": "2024-02-01 00:00:00"}]},
    {"name": "WEB", "total": "3", "newest": "2024-03-03 08:00:00", "logs": [
      {"name": "Application", "entries": "1", "newest": "2024-03-03 08:00:00"},
      {"name": "System", "entries": "2", "newest": "2024-03-02 09:00:00"}]}])");
  EXPECT_EQ(servers, expected) << servers.dump(1);
}

TAMSEL_ON_BOTH_ENGINES(StoredEntriesTest);

}  // namespace
}  // namespace tamsel::web
