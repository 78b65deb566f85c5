// Tests of the per-call transaction: connections opened while a scope is active, nested
// opens and nested scopes, failing procedures, and autocommit without a scope.
#include "platform/data/transaction_scope.h"

#include <gtest/gtest.h>

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

class TransactionScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcedureCatalog::Global().Register({"TestInsert", {{"@Value", adInteger}}, TestInsert});
    net_.CreateDatabase("Cat", "CREATE TABLE Item (Value INTEGER)");
  }

  static void Insert(int value) {
    Connection conn;
    conn.Open(kConn);
    Command command;
    command.SetActiveConnection(conn);
    command.SetCommandType(adCmdStoredProc);
    command.SetCommandText("TestInsert");
    command.GetParameters().Append(
        command.CreateParameter("@Value", adInteger, adParamInput, 4, Variant(value)));
    command.Execute(adExecuteNoRecords);
    conn.Close();
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

}  // namespace
}  // namespace tamsel::platform::data
