// Tests of the object context: root and nested calls, votes, and the fate of the transaction
// resource (commit only when the root voted complete and no one voted abort).
#include "platform/com/object_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/dispatch.h"

namespace tamsel::platform::com {
namespace {

class RecordingResource : public TransactionResource {
 public:
  explicit RecordingResource(std::vector<std::string>& log, bool commitFails)
      : log_(log), commitFails_(commitFails) {
    log_.push_back("begin");
  }
  void Commit() override {
    if (commitFails_) throw ComError(static_cast<HRESULT>(0x80040E2Fu), "db", "constraint");
    log_.push_back("commit");
  }
  void Abort() noexcept override { log_.push_back("abort"); }

 private:
  std::vector<std::string>& log_;
  bool commitFails_;
};

class ObjectContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTransactionFactory(
        [this] { return std::make_unique<RecordingResource>(log_, commitFails_); });
  }
  void TearDown() override { SetTransactionFactory(nullptr); }

  // A root call whose root and nested calls cast the given votes ('c', 'a' or ' ' for none).
  std::vector<std::string> Run(char rootVote, std::vector<char> nestedVotes) {
    log_.clear();
    ContextCall root(true);
    for (char vote : nestedVotes) {
      ContextCall nested(false);
      EXPECT_FALSE(nested.IsRoot());
      EXPECT_TRUE(GetObjectContext()->IsInTransaction());
      if (vote == 'c') GetObjectContext()->SetComplete();
      if (vote == 'a') GetObjectContext()->SetAbort();
      nested.End();
    }
    if (rootVote == 'c') GetObjectContext()->SetComplete();
    if (rootVote == 'a') GetObjectContext()->SetAbort();
    root.End();
    EXPECT_EQ(GetObjectContext(), nullptr);
    return log_;
  }

  std::vector<std::string> log_;
  bool commitFails_ = false;
};

using Log = std::vector<std::string>;

TEST_F(ObjectContextTest, OnlyTheRootsCompleteVoteWithoutAnyAbortCommits) {
  EXPECT_EQ(Run('c', {}), (Log{"begin", "commit"}));
  EXPECT_EQ(Run('c', {'c', 'c'}), (Log{"begin", "commit"}));
  EXPECT_EQ(Run('c', {'a'}), (Log{"begin", "abort"}));
  EXPECT_EQ(Run('c', {'c', 'a', 'c'}), (Log{"begin", "abort"}));
  EXPECT_EQ(Run('a', {'c'}), (Log{"begin", "abort"}));
  EXPECT_EQ(Run(' ', {'c'}), (Log{"begin", "abort"}));
}

TEST_F(ObjectContextTest, RootWithoutTransactionBeginsNothingAndNestedCallsJoinIt) {
  log_.clear();
  {
    ContextCall root(false);
    EXPECT_TRUE(root.IsRoot());
    ContextCall nested(true);  // joins: a nested call never starts a transaction of its own
    EXPECT_FALSE(GetObjectContext()->IsInTransaction());
    nested.End();
    root.End();
  }
  EXPECT_TRUE(log_.empty());
}

TEST_F(ObjectContextTest, UnfinishedRootAbortsAndFailedCommitReportsTheAbortedTransaction) {
  log_.clear();
  {
    ContextCall root(true);
    GetObjectContext()->SetComplete();
  }  // unwound without End(), as when a call is interrupted
  EXPECT_EQ(log_, (Log{"begin", "abort"}));
  EXPECT_EQ(GetObjectContext(), nullptr);

  commitFails_ = true;
  log_.clear();
  ContextCall root(true);
  GetObjectContext()->SetComplete();
  try {
    root.End();
    FAIL() << "a failed commit went unreported";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Number(), CONTEXT_E_ABORTED);
  }
  EXPECT_EQ(log_, (Log{"begin", "abort"}));
}

}  // namespace
}  // namespace tamsel::platform::com
