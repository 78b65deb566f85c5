// libFuzzer target for the safe filter language: any text as a report-filter value, a date
// bound or a key query a page hands back. Whatever is accepted runs as a text that is itself
// accepted, unchanged by a second pass, and holds nothing that could end or comment out SQL.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "reports/browse/date_literal.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/key_query.h"

namespace browse = tamsel::reports::browse;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Nothing that ends a statement, starts a comment or stands outside the language's quotes.
bool HarmlessSql(std::string_view sql) {
  return sql.find(';') == std::string_view::npos && sql.find("--") == std::string_view::npos &&
         sql.find("/*") == std::string_view::npos && sql.find('"') == std::string_view::npos;
}

void CheckServerLogTypeFilter(std::string_view text) {
  std::optional<std::string> runs = browse::ServerLogTypeFilterText(text);
  if (!runs) return;
  Check(HarmlessSql(*runs));
  Check(browse::ServerLogTypeFilterText(*runs) == runs);
}

void CheckDate(std::string_view text) {
  for (browse::DateBound bound : {browse::DateBound::Lower, browse::DateBound::Upper}) {
    std::optional<std::string> stored = browse::StoredDate(text, bound);
    if (!stored) continue;
    Check(browse::IsStoredDate(*stored));
    Check(browse::StoredDate(*stored, bound) == stored);
  }
}

void CheckKeyQuery(std::string_view sql) {
  std::optional<browse::KeyQuery> query = browse::ParseKeyQuery(sql);
  if (!query) return;
  Check(HarmlessSql(query->text));
  std::optional<browse::KeyQuery> again = browse::ParseKeyQuery(query->text);
  Check(again.has_value());
  Check(again->text == query->text);
  Check(again->where == query->where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckServerLogTypeFilter(text);
  CheckDate(text);
  CheckKeyQuery(text);
  // The text as each attribute of a whole filter, checked the way SqlQueryGenerate does.
  browse::ReportFilter filter;
  filter.sortBy = std::string(text);
  filter.startDate = "2003-01-01";
  filter.endDate = std::string(text);
  filter.eventId = std::string(text);
  if (!browse::CheckReportFilter(filter, browse::FilterUse::KeyQuery)) {
    const std::string sql = browse::KeyQueryText(filter);
    Check(browse::ParseKeyQuery(sql).has_value());
    CheckKeyQuery(sql);
  }
  return 0;
}
