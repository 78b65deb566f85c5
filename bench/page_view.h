// One log browser page view as a page makes it, through the component by method name.
#pragma once

#include <cstdint>
#include <string>

namespace tamsel::bench {

// The key listing of page `page` of `sql` (LogEntryPageIdsGetFromDB), then the details of its
// keys (LogEntryPageDetailsGetFromDB). Throws std::runtime_error when a call fails.
void PageView(const std::string& sql, std::int64_t page, int pageSize, int pageOfPagesSize);

}  // namespace tamsel::bench
