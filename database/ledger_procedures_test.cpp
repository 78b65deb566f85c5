// The ledger's judgement of one pass against the pass before it.
#include "database/ledger_procedures.h"

#include <gtest/gtest.h>

namespace tamsel::db {
namespace {

TEST(ClassifyLedgerPassTest, GapsFromWhereTheLogWasExpectedToGoOn) {
  struct Case {
    const char* name;
    LedgerPassFacts facts;
    std::string kind;
    std::int64_t size;
  };
  const Case cases[] = {
      {"first pass of a log", {"read", 57, std::nullopt}, "", 0},
      {"goes on where expected", {"read", 1, 1}, "", 0},
      {"oldest records overwritten", {"read", 41, 1}, "wrapped", 40},
      {"numbering went back", {"read", 3, 120}, "cleared", -1},
      {"nothing read", {"read", std::nullopt, 1}, "silent", 0},
      {"server unreachable", {"offline", std::nullopt, 1}, "offline", 0},
      {"log not archived", {"not archived", std::nullopt, 1}, "", 0},
  };
  for (const Case& c : cases) {
    const LedgerGap gap = ClassifyLedgerPass(c.facts);
    EXPECT_EQ(gap.kind, c.kind) << c.name;
    EXPECT_EQ(gap.size, c.size) << c.name;
  }
}

}  // namespace
}  // namespace tamsel::db
