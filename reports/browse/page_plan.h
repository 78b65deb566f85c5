// The page links and the selected page of the key listing, worked out from the number of
// rows alone: the same links, page count and rows the walk over every key produces, without
// reading the keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel::reports::browse {

struct PageLinkEntry {
  std::int64_t pageNumber = 0;
  std::string pageNumberText;  // the page number, "Prev" or "Next"
  std::string showLink;        // "0" for the selected page, "1" otherwise
};

struct PagePlan {
  std::vector<PageLinkEntry> links;  // in the order the walk produces them
  std::int64_t pageCount = 0;
  std::int64_t firstRow = 0;  // rows [firstRow, firstRow + rowCount) are the selected page
  std::int64_t rowCount = 0;  // 0 when the selected page does not exist
};

// g, the page before the window of `pageOfPagesSize` links that holds `selectedPage`:
// W × (S div W), less W when S mod W = 0. Raises 11 (division by zero) when W is 0.
std::int64_t WindowStart(std::int32_t pageOfPagesSize, std::int32_t selectedPage);

// The plan for `recordCount` rows. Raises 11 when the page size is 0 and there are rows.
// Pages start where the row index is a multiple of the page size (of its magnitude, as the
// remainder of a negative divisor goes).
PagePlan PlanPages(std::int64_t recordCount, std::int32_t pageSize, std::int64_t windowStart,
                   std::int32_t pageOfPagesSize, std::int32_t selectedPage);

}  // namespace tamsel::reports::browse
