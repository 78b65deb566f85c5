#include "bench/page_view.h"

#include <stdexcept>

#include "database/browse_procedures.h"
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

void BarePageSql(platform::data::Session& session, const std::string& countSql,
                 const std::string& sql, std::int64_t page, int pageSize) {
  platform::data::Statement count = session.Prepare(countSql);
  count.Step();
  if (count.Int64(0) == 0) return;
  platform::data::Statement keys =
      session.Prepare(sql + " LIMIT " + std::to_string(pageSize) + " OFFSET " +
                      std::to_string((page - 1) * pageSize));
  std::string json;
  while (keys.Step()) json += (json.empty() ? "[" : ",") + std::to_string(keys.Int64(0));
  platform::data::Statement details = session.Prepare(db::PageDetailsQuery());
  details.BindText(1, json + "]");
  while (details.Step()) details.Text(0);
}

}  // namespace tamsel::bench
