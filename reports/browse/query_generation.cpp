// Reports.SqlQueryGenerate and Reports.TextSqlMake: a report filter turned into its key
// query, and a key query rewritten into the readable full-text query.
#include "platform/com/com_error.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_methods.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/key_query.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::browse {
namespace {

constexpr const char* kFullTextHead =
    "SELECT\\n\\tle.LEID\\n\\t,s.ELServerName\\n\\t,lt.LogTypeName\\n\\t,le.RecordNumber"
    "\\n\\t,le.TimeGenerated\\n\\t,le.EventID\\n\\t,et.EventTypeCode\\n\\t,et.EventTypeName"
    "\\n\\t,ec.EventCategoryID\\n\\t,ec.EventCategoryName\\n\\t,elu.ELUserName"
    "\\n\\t,els.ELSourceName\\n\\t,le.FullMessage\\n\\t,le.CreatedAt\\nFROM\\n";
constexpr const char* kFullTextTables =
    "\\n\\t,LogEntry le\\n\\t,ELServer s\\n\\t,LogType lt\\n\\t,EventType et"
    "\\n\\t,EventCategory ec\\n\\t,ELUser elu\\n\\t,ELSource els ";
constexpr const char* kFullTextJoins =
    "\\nWHERE\\n\\tle.LEID = d.LEID\\n\\tAND le.ELServerID = s.ELServerID"
    "\\n\\tAND le.LogTypeID = lt.LogTypeID\\n\\tAND le.EventTypeID = et.EventTypeID"
    "\\n\\tAND le.EventCategoryID = ec.EventCategoryID\\n\\tAND le.ELUserID = elu.ELUserID"
    "\\n\\tAND le.ELSourceID = els.ELSourceID ";
constexpr const char* kFullTextOrder = "\\nORDER BY\\n\\tle.";

std::string EscapeApostrophes(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\'') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::int32_t SqlQueryGenerate(const std::string& sXml, Variant& sql) {
  MethodFrame frame("Reports.SqlQueryGenerate", {.usesContext = false});
  return frame.Run([&](MethodFrame& call) {
    platform::xml::Document filterDoc;
    filterDoc.LoadXml(sXml);
    // The text is begun before the filter is read, so a call that fails leaves `sql` holding
    // it unfinished; callers use `sql` only when the result is 0.
    sql = Variant("SELECT LEID,");
    ReportFilter filter = ReportFilter::Read(filterDoc.DocumentElement());
    if (std::optional<std::string> refused = CheckReportFilter(filter, FilterUse::KeyQuery)) {
      RefuseArgument(*refused);
    }
    std::string text = KeyQueryText(filter);
    sql = Variant(text);
    call.Trace("sql " + text);
  });
}

std::string TextSqlMake(const std::string& sql) {
  // Only a key query is rewritten: the result is pasted into a page's script literal, and a
  // checked key query holds nothing (no backslash, no stray quote) that could end it early.
  if (!ParseKeyQuery(sql)) RefuseArgument("sql");
  const std::string escaped = EscapeApostrophes(sql);
  const std::size_t from = escaped.find("FROM");
  const std::string kept = from == std::string::npos ? escaped : escaped.substr(from);
  const std::size_t orderBy = kept.find("ORDER BY");
  if (orderBy == std::string::npos)
    throw platform::com::ComError::Vb(platform::com::kVbInvalidCall);
  const std::string sortText = orderBy + 9 < kept.size() ? kept.substr(orderBy + 9) : "";
  const std::string derived = "SELECT LEID " + kept.substr(0, orderBy);
  return kFullTextHead + std::string("\\t(") + derived + ")d " + kFullTextTables + kFullTextJoins +
         kFullTextOrder + sortText;
}

}  // namespace tamsel::reports::browse
