// A pass storing into the server engine while the server is down, refuses the login or drops
// the connection in the middle: the pass fails as one that cannot write, every record not
// committed stays in a kept backup, and the next pass stores each record exactly once. A
// record the server refuses keeps only itself out.
#include "database/schema.h"
#include "platform/data/connection.h"
#include "platform/data/server_test_support.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

namespace data = platform::data;

enum class Fault { Down, LoginRefused, DroppedMidPass };

class CollectionServerFaultsTest : public CollectionTest,
                                   public ::testing::WithParamInterface<Fault> {
 protected:
  void SetUp() override {
    std::string why;
    if (!data::PrepareServerAlias(&why)) GTEST_SKIP() << why;
    target_ = *data::ServerAliasTarget(data::kServerAlias);
    db::UpgradeSchema(*Server());
    Server()->Execute(
        "INSERT INTO ELServer (ELServerID, ELServerName, Status) VALUES (1, 'SRV01', 1)");
    CreateMachine("SRV01");
    AddSource("SRV01", "Application", "App", "");
    collector_.databaseServerName_ = data::kServerAlias;
    collector_.recordsPerTransaction_ = 2;
  }

  std::unique_ptr<data::Session> Server() const {
    return data::Session::OpenServer({target_, "TamselDB", "", ""});
  }
  void PointAlias(const std::string& target) {
    data::WriteAlias(data::kServerAlias, target);
    data::SessionPool::Instance().Clear();
  }
  // Stored entries, and the distinct records among them.
  std::pair<std::int64_t, std::int64_t> StoredCounts() const {
    auto session = Server();
    auto rows = session->Prepare(
        "SELECT COUNT(*), COUNT(DISTINCT RecordNumber || ' ' || EventID) FROM LogEntry");
    rows.Step();
    return {rows.Int64(0), rows.Int64(1)};
  }

  std::string target_;
};

TEST_P(CollectionServerFaultsTest, APassWithoutTheServerFailsAndTheNextStoresEverythingOnce) {
  constexpr int kRecords = 5;
  for (int id = 1; id <= kRecords; ++id) Write("SRV01", "App", 4, 1000 + id);
  switch (GetParam()) {
    case Fault::Down:
      PointAlias("host=" + (temp_.Path() / "no-server").string());
      break;
    case Fault::LoginRefused:
      PointAlias(target_ + " user=nobody");
      break;
    case Fault::DroppedMidPass:
      // The server ends the connection that stores entries once two are committed (two
      // records per transaction), whatever way the collector stores them; each later
      // attempt of the pass ends the same way.
      Server()->Execute(
          "CREATE FUNCTION drop_writer() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
          "IF (SELECT COUNT(*) FROM LogEntry) > 2 THEN "
          "PERFORM pg_terminate_backend(pg_backend_pid()); END IF; RETURN NULL; END $$; "
          "CREATE TRIGGER drop_writer AFTER INSERT ON LogEntry "
          "FOR EACH STATEMENT EXECUTE FUNCTION drop_writer()");
      break;
  }
  EXPECT_LT(collector_.CollectAll(), 0);
  if (GetParam() == Fault::DroppedMidPass) {
    EXPECT_LT(StoredCounts().first, kRecords);
    EXPECT_EQ(Files("SRV01", "D$\\EvtBak").size(), 1u);  // kept for the next pass
  } else {
    EXPECT_EQ(LiveRecords("SRV01", "Application"), static_cast<std::uint32_t>(kRecords));
    EXPECT_TRUE(Files("SRV01", "D$\\EvtBak").empty());
  }

  PointAlias(target_);
  Server()->Execute("DROP TRIGGER IF EXISTS drop_writer ON LogEntry");
  EXPECT_EQ(collector_.CollectAll(), 0);
  EXPECT_EQ(StoredCounts(), std::make_pair(std::int64_t{kRecords}, std::int64_t{kRecords}));
  EXPECT_TRUE(Files("SRV01", "D$\\EvtBak").empty());
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);
}

// A batch the server refuses for one record's sake is stored again record by record: only
// that record stays in the kept backup, and the next pass stores it alone.
TEST_F(CollectionServerFaultsTest, ARefusedRecordKeepsOnlyItselfOutOfItsBatch) {
  collector_.recordsPerTransaction_ = 20000;  // every record in one batch
  for (int id = 1; id <= 5; ++id) Write("SRV01", "App", 4, 1000 + id);
  Server()->Execute(
      "CREATE FUNCTION refuse_one() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
      "IF NEW.EventID = 1003 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$; "
      "CREATE TRIGGER refuse_one BEFORE INSERT ON LogEntry "
      "FOR EACH ROW EXECUTE FUNCTION refuse_one()");
  EXPECT_EQ(collector_.CollectAll(), 0);
  EXPECT_EQ(StoredCounts(), std::make_pair(std::int64_t{4}, std::int64_t{4}));
  EXPECT_EQ(Files("SRV01", "D$\\EvtBak").size(), 1u);

  Server()->Execute("DROP TRIGGER refuse_one ON LogEntry");
  EXPECT_EQ(collector_.CollectAll(), 0);
  EXPECT_EQ(StoredCounts(), std::make_pair(std::int64_t{5}, std::int64_t{5}));
  EXPECT_TRUE(Files("SRV01", "D$\\EvtBak").empty());
}

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
  static const char* const kNames[] = {"Down", "LoginRefused", "DroppedMidPass"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Faults, CollectionServerFaultsTest,
                         ::testing::Values(Fault::Down, Fault::LoginRefused, Fault::DroppedMidPass),
                         FaultName);

}  // namespace
}  // namespace tamsel::e2e
