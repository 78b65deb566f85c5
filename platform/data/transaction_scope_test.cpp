// Tests of the per-call transaction: connections opened while a scope is active, nested
// opens and nested scopes, failing procedures, autocommit without a scope, and the write lock
// taken only by calls that write.
#include "platform/data/transaction_scope.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "platform/com/com_error.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"
#include "platform/data/procedure_catalog.h"
#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

using com::Variant;

constexpr const char* kConn =
    "Provider=sqloledb;Data Source=(local);Initial Catalog=Cat;TRUSTED_CONNECTION=YES;";

// TestInsert(@Value int): inserts a row, and fails after inserting when Value is negative.
int TestInsert(ProcedureCall& call) {
  call.GetSession().Prepare("INSERT INTO Item (Value) VALUES (?)").Bind(1, call.Arg(0)).Run();
  if (call.Arg(0).CLng() < 0) RaiseProviderError(kIntegrityViolation, "negative value");
  return 0;
}

// Run once between TestReadThenInsert's read and its write: another process at work.
std::function<void()> interleave;

// TestReadThenInsert(@Value int): inserts one more than the largest value it reads.
int TestReadThenInsert(ProcedureCall& call) {
  std::int64_t next;
  {
    auto largest = call.GetSession().Prepare("SELECT COALESCE(MAX(Value), 0) FROM Item");
    largest.Step();
    next = largest.Int64(0) + 1;
  }
  if (interleave) std::exchange(interleave, nullptr)();
  call.GetSession().Prepare("INSERT INTO Item (Value) VALUES (?)").BindInt64(1, next).Run();
  return 0;
}

class TransactionScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcedureCatalog::Global().Register({"TestInsert", {{"@Value", adInteger}}, TestInsert});
    ProcedureCatalog::Global().Register(
        {"TestReadThenInsert", {{"@Value", adInteger}}, TestReadThenInsert});
    net_.CreateDatabase("Cat", "CREATE TABLE Item (Value INTEGER)");
  }

  static void Insert(int value, const char* procedure = "TestInsert") {
    Connection conn;
    conn.Open(kConn);
    Call(conn, procedure, value);
    conn.Close();
  }

  static void Call(const Connection& conn, const char* procedure, int value, long timeout = 30) {
    Command command;
    command.SetActiveConnection(conn);
    command.SetCommandType(adCmdStoredProc);
    command.SetCommandText(procedure);
    command.SetCommandTimeout(timeout);
    command.GetParameters().Append(
        command.CreateParameter("@Value", adInteger, adParamInput, 4, Variant(value)));
    command.Execute(adExecuteNoRecords);
  }

  // The collector's way of storing, on a thread of its own (outside the caller's scope), with
  // a short lock timeout: 0 when the row was stored, else the error's HRESULT.
  static std::uint32_t InsertElsewhere(int value, bool inExplicitTransaction) {
    std::uint32_t result = 0;
    std::thread writer([&] {
      result = Hresult([&] {
        Connection conn;
        conn.Open(kConn);
        if (inExplicitTransaction) conn.Execute("BEGIN TRANSACTION", adExecuteNoRecords);
        conn.Execute("SELECT COUNT(*) FROM Item");  // the exclusion check reads first
        Call(conn, "TestInsert", value, 1);
        if (inExplicitTransaction) conn.Execute("COMMIT TRANSACTION", adExecuteNoRecords);
      });
    });
    writer.join();
    return result;
  }

  static std::int64_t CountInScope() {
    Connection conn;
    conn.Open(kConn);
    return conn.Execute("SELECT COUNT(*) AS n FROM Item")["n"].CLng();
  }

  std::multiset<std::int64_t> CommittedValues() const {
    auto session = Session::Open(net_.DataFolder() / "Cat.db");
    auto values = session->Prepare("SELECT Value FROM Item");
    std::multiset<std::int64_t> result;
    while (values.Step()) result.insert(values.Int64(0));
    return result;
  }

  // Counted on a fresh physical connection outside any scope, as another process sees it.
  std::int64_t CommittedRows() const {
    auto session = Session::Open(net_.DataFolder() / "Cat.db");
    auto count = session->Prepare("SELECT COUNT(*) FROM Item");
    count.Step();
    return count.Int64(0);
  }

  TestNetwork net_;
};

TEST_F(TransactionScopeTest, CommitCoversEveryConnectionOfTheScope) {
  {
    TransactionScope scope;
    Insert(1);
    Insert(2);
    EXPECT_EQ(CommittedRows(), 0);  // not visible before the commit
    EXPECT_TRUE(scope.Commit());
  }
  EXPECT_EQ(CommittedRows(), 2);
}

TEST_F(TransactionScopeTest, RollbackCoversEveryConnectionOfTheScope) {
  {
    TransactionScope scope;
    Insert(1);
    Insert(2);
  }  // ends without a commit
  EXPECT_EQ(CommittedRows(), 0);
  TransactionScope aborted;
  Insert(3);
  aborted.Abort();
  EXPECT_EQ(CommittedRows(), 0);
}

TEST_F(TransactionScopeTest, NestedOpenJoinsTheTransactionWithoutDeadlock) {
  TransactionScope scope;
  Connection outer;
  outer.Open(kConn);
  outer.Execute("INSERT INTO Item VALUES (10)", adExecuteNoRecords);
  Insert(11);  // a nested call opens its own connection while the outer one holds the lock
  Connection third;
  third.Open(kConn);
  EXPECT_EQ(third.Execute("SELECT COUNT(*) AS n FROM Item")["n"].CLng(), 2);
  EXPECT_TRUE(scope.Commit());
  EXPECT_EQ(CommittedRows(), 2);
}

TEST_F(TransactionScopeTest, NestedScopeAbortDoomsTheRoot) {
  TransactionScope root;
  Insert(1);
  {
    TransactionScope nested;
    EXPECT_TRUE(nested.IsNested());
    Insert(2);
  }  // the nested call failed to agree
  EXPECT_TRUE(root.IsDoomed());
  EXPECT_FALSE(root.Commit());
  EXPECT_EQ(CommittedRows(), 0);
}

TEST_F(TransactionScopeTest, FailingProcedureIsRolledBackWithTheRestOfItsScope) {
  {
    TransactionScope scope;
    Insert(1);
    EXPECT_THROW(Insert(-1), com::ComError);
    // The failed call left nothing of its own behind, even inside the open transaction.
    Connection conn;
    conn.Open(kConn);
    EXPECT_EQ(conn.Execute("SELECT COUNT(*) AS n FROM Item")["n"].CLng(), 1);
    scope.Abort();
  }
  EXPECT_EQ(CommittedRows(), 0);
}

TEST_F(TransactionScopeTest, WithoutAScopeEachCallCommitsAndFailuresUndoThemselves) {
  Insert(1);
  EXPECT_EQ(CommittedRows(), 1);
  EXPECT_THROW(Insert(-1), com::ComError);
  EXPECT_EQ(CommittedRows(), 1);
  EXPECT_EQ(TransactionScope::Current(), nullptr);
}

TEST_F(TransactionScopeTest, ACallThatOnlyReadsNeverBlocksAWriter) {
  for (const bool explicitTransaction : {false, true}) {
    SCOPED_TRACE(explicitTransaction ? "writer in a transaction" : "writer in autocommit");
    TransactionScope scope;
    const std::int64_t before = CountInScope();
    EXPECT_EQ(InsertElsewhere(7, explicitTransaction), 0u);
    EXPECT_EQ(CountInScope(), before + 1);  // the call reads what was committed meanwhile
    EXPECT_TRUE(scope.Commit());
  }
  EXPECT_EQ(CommittedRows(), 2);
}

TEST_F(TransactionScopeTest, AWriteAfterAnotherWritersCommitSeesItsRow) {
  for (const bool inScope : {false, true}) {
    SCOPED_TRACE(inScope ? "in a scope" : "autocommit");
    Session::Open(net_.DataFolder() / "Cat.db")->Execute("DELETE FROM Item");
    interleave = [this] {
      Session::Open(net_.DataFolder() / "Cat.db", false, 1000)
          ->Execute("INSERT INTO Item VALUES (100)");
    };
    {
      std::optional<TransactionScope> scope;
      if (inScope) scope.emplace();
      EXPECT_EQ(Hresult([] { Insert(0, "TestReadThenInsert"); }), 0u);
      if (scope) {
        EXPECT_TRUE(scope->Commit());
      }
    }
    // No lost update: the write counted from the row committed before it.
    const std::multiset<std::int64_t> expected{100, 101};
    EXPECT_EQ(CommittedValues(), expected);
  }
}

TEST_F(TransactionScopeTest, WritesAfterReadsAndAFailedWriteFollowTheVote) {
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "abort");
    Session::Open(net_.DataFolder() / "Cat.db")->Execute("DELETE FROM Item");
    {
      TransactionScope scope;
      CountInScope();
      EXPECT_THROW(Insert(-1), com::ComError);  // fails as the call's first write
      Insert(2);
      Connection conn;
      conn.Open(kConn);
      conn.Execute("INSERT INTO Item VALUES (3)", adExecuteNoRecords);
      EXPECT_EQ(CountInScope(), 2);
      EXPECT_TRUE(CommittedValues().empty());
      if (commit) {
        EXPECT_TRUE(scope.Commit());
      }
    }
    const std::multiset<std::int64_t> expected =
        commit ? std::multiset<std::int64_t>{2, 3} : std::multiset<std::int64_t>{};
    EXPECT_EQ(CommittedValues(), expected);
  }
}

}  // namespace
}  // namespace tamsel::platform::data
