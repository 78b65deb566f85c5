#include "bench/page_view.h"

#include <stdexcept>

#include "platform/com/dispatch.h"
#include "reports/core/component_objects.h"

namespace tamsel::bench {

namespace com = platform::com;

void PageView(const std::string& sql, std::int64_t page, int pageSize, int pageOfPagesSize) {
  const std::string request = "<PageRequest PageSize=\"" + std::to_string(pageSize) +
                              "\" PageOfPagesSize=\"" + std::to_string(pageOfPagesSize) +
                              "\" SelectedPage=\"" + std::to_string(page) + "\"/>";
  com::Arguments ids{com::Variant(sql), com::Variant(request)};
  if (reports::ComponentCall("Reports.LogEntryPageIdsGetFromDB", ids).CLng() != 0) {
    throw std::runtime_error("LogEntryPageIdsGetFromDB failed");
  }
  com::Arguments details{ids[1].value};
  if (reports::ComponentCall("Reports.LogEntryPageDetailsGetFromDB", details).CLng() != 0) {
    throw std::runtime_error("LogEntryPageDetailsGetFromDB failed");
  }
}

}  // namespace tamsel::bench
