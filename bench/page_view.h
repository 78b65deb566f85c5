// One log browser page view as a page makes it, through the component by method name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/data/session.h"

namespace tamsel::bench {

// The key listing of page `page` of `sql` (LogEntryPageIdsGetFromDB), then the details of its
// keys (LogEntryPageDetailsGetFromDB). Throws std::runtime_error when a call fails.
void PageView(const std::string& sql, std::int64_t page, int pageSize, int pageOfPagesSize);

// The same page view's bare SQL on `session`: the count `countSql`, the keys of page `page`
// of `sql` (LIMIT/OFFSET), and the details of those keys (LogEntryPageDetailsGet's statement).
void BarePageSql(platform::data::Session& session, const std::string& countSql,
                 const std::string& sql, std::int64_t page, int pageSize);

}  // namespace tamsel::bench
