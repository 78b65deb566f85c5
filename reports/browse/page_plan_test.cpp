// Tests of the link window and page listing: the worked examples of 83 rows, S = 0, S beyond
// the last page, exactly one page, S a multiple of W, and division by zero.
#include "reports/browse/page_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/com/com_error.h"

namespace tamsel::reports::browse {
namespace {

std::string LinkRow(const PagePlan& plan) {
  std::string row;
  for (const PageLinkEntry& link : plan.links) {
    if (!row.empty()) row += ' ';
    row += link.pageNumberText + "@" + std::to_string(link.pageNumber) +
           (link.showLink == "0" ? "*" : "");
  }
  return row;
}

PagePlan Plan(std::int64_t rows, std::int32_t n, std::int32_t w, std::int32_t s) {
  return PlanPages(rows, n, WindowStart(w, s), w, s);
}

TEST(PagePlanTest, EightyThreeRowsWithTheSelectedPageInTheSecondWindow) {
  PagePlan plan = Plan(83, 10, 5, 7);
  EXPECT_EQ(WindowStart(5, 7), 5);
  EXPECT_EQ(LinkRow(plan), "Prev@5 6@6 7@7* 8@8 9@9");
  EXPECT_EQ(plan.pageCount, 9);
  EXPECT_EQ(plan.firstRow, 60);
  EXPECT_EQ(plan.rowCount, 10);
}

TEST(PagePlanTest, EightyThreeRowsWithTheSelectedPageEndingTheFirstWindow) {
  PagePlan plan = Plan(83, 10, 5, 5);
  EXPECT_EQ(LinkRow(plan), "1@1 2@2 3@3 4@4 5@5* Next@6");
  EXPECT_EQ(plan.firstRow, 40);
  EXPECT_EQ(plan.rowCount, 10);
  // The last page holds the three rows left.
  plan = Plan(83, 10, 5, 9);
  EXPECT_EQ(plan.firstRow, 80);
  EXPECT_EQ(plan.rowCount, 3);
}

TEST(PagePlanTest, SelectedPageZeroGivesASingleNextLinkAndNoRows) {
  EXPECT_EQ(WindowStart(5, 0), -5);
  PagePlan plan = Plan(83, 10, 5, 0);
  EXPECT_EQ(LinkRow(plan), "Next@1");
  EXPECT_EQ(plan.rowCount, 0);
  EXPECT_EQ(plan.pageCount, 9);
}

TEST(PagePlanTest, SelectedPageBeyondTheLastPage) {
  PagePlan plan = Plan(83, 10, 5, 12);
  // Window 11..15 lies past page 9: Prev to page 10 from page 1, nothing else exists.
  EXPECT_EQ(LinkRow(plan), "Prev@10");
  EXPECT_EQ(plan.rowCount, 0);
  plan = Plan(83, 10, 5, 10);
  EXPECT_EQ(LinkRow(plan), "Prev@5 6@6 7@7 8@8 9@9");
  EXPECT_EQ(plan.rowCount, 0);
}

TEST(PagePlanTest, ExactlyOnePageAndWindowsEndingAtTheSelectedPage) {
  PagePlan plan = Plan(10, 10, 5, 1);
  EXPECT_EQ(LinkRow(plan), "1@1*");
  EXPECT_EQ(plan.pageCount, 1);
  EXPECT_EQ(plan.rowCount, 10);

  plan = Plan(1000, 10, 10, 10);
  EXPECT_EQ(LinkRow(plan), "1@1 2@2 3@3 4@4 5@5 6@6 7@7 8@8 9@9 10@10* Next@11");
  // Only page 1 can make the Prev link, and page g itself makes none.
  plan = Plan(1000, 10, 10, 25);
  EXPECT_EQ(LinkRow(plan),
            "Prev@20 21@21 22@22 23@23 24@24 25@25* 26@26 27@27 28@28 29@29 "
            "30@30 Next@31");
  plan = Plan(1000, 10, 1, 2);
  EXPECT_EQ(LinkRow(plan), "2@2* Next@3");  // g = 1: page 1 is page g, no Prev
  plan = Plan(1000, 10, 1, 3);
  EXPECT_EQ(LinkRow(plan), "Prev@2 3@3* Next@4");
}

TEST(PagePlanTest, ZeroSizesDivideByZeroOnlyWhenThereAreRows) {
  try {
    WindowStart(0, 1);
    FAIL();
  } catch (const platform::com::ComError& error) {
    EXPECT_EQ(error.Number(), 11);
  }
  try {
    PlanPages(5, 0, 0, 5, 1);
    FAIL();
  } catch (const platform::com::ComError& error) {
    EXPECT_EQ(error.Number(), 11);
  }
  EXPECT_EQ(PlanPages(0, 0, 0, 5, 1).pageCount, 0);
}

TEST(PagePlanTest, NegativePageSizeCountsPagesByItsMagnitude) {
  PagePlan plan = Plan(83, -10, 5, 2);
  EXPECT_EQ(plan.pageCount, 9);
  EXPECT_EQ(plan.firstRow, 10);
  EXPECT_EQ(plan.rowCount, 10);
}

}  // namespace
}  // namespace tamsel::reports::browse
