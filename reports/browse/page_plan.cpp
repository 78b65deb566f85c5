// Page links by the rules of the key listing: the window of W pages around the selected one,
// a Prev link to the page before it, a Next link to the page after it.
#include "reports/browse/page_plan.h"

#include <algorithm>

#include "platform/com/com_error.h"

namespace tamsel::reports::browse {

namespace com = platform::com;

std::int64_t WindowStart(std::int32_t pageOfPagesSize, std::int32_t selectedPage) {
  if (pageOfPagesSize == 0) throw com::ComError::Vb(com::kVbDivisionByZero);
  const std::int64_t w = pageOfPagesSize;
  const std::int64_t s = selectedPage;
  std::int64_t g = w * (s / w);
  if (s % w == 0) g -= w;
  return g;
}

PagePlan PlanPages(std::int64_t recordCount, std::int32_t pageSize, std::int64_t windowStart,
                   std::int32_t pageOfPagesSize, std::int32_t selectedPage) {
  PagePlan plan;
  if (recordCount <= 0) return plan;
  if (pageSize == 0) throw com::ComError::Vb(com::kVbDivisionByZero);
  const std::int64_t size = pageSize < 0 ? -static_cast<std::int64_t>(pageSize) : pageSize;
  const std::int64_t g = windowStart;
  const std::int64_t last = g + pageOfPagesSize;
  plan.pageCount = (recordCount + size - 1) / size;
  bool prevMade = false;
  for (std::int64_t i = 1; i <= plan.pageCount; ++i) {
    if (g < i && i <= last) {
      plan.links.push_back({i, std::to_string(i), i == selectedPage ? "0" : "1"});
    } else if (i < g && !prevMade) {
      plan.links.push_back({g, "Prev", "1"});
      prevMade = true;
    } else if (i > last) {
      // Past the window only the Next link remains to be made.
      plan.links.push_back({last + 1, "Next", "1"});
      break;
    }
  }
  if (selectedPage >= 1 && selectedPage <= plan.pageCount) {
    plan.firstRow = (selectedPage - 1) * size;
    plan.rowCount = std::min(size, recordCount - plan.firstRow);
  }
  return plan;
}

}  // namespace tamsel::reports::browse
