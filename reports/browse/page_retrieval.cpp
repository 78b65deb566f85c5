// Reports.LogEntryPageIdsGetFromDB and Reports.LogEntryPageDetailsGetFromDB: a page of keys
// with its page links, then the details of those keys written onto the page document.
//
// The key listing gives the document that walking every row of the key query gives, but asks
// the database for what it needs: the number of rows (COUNT(*) over the same conditions) and
// the keys of the selected page (the key query with LIMIT and OFFSET). The link row depends
// on the row count alone (page_plan.h).
#include <cmath>

#include "platform/com/com_error.h"
#include "platform/data/ado_constants.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_methods.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/key_query.h"
#include "reports/browse/method_support.h"
#include "reports/browse/page_plan.h"

namespace tamsel::reports::browse {
namespace {

namespace data = platform::data;
namespace xml = platform::xml;

// Result codes of the two methods.
constexpr std::int32_t kNoRows = 203;
constexpr std::int32_t kNoKeys = 1;

// The detail columns, in the order they are set on each LogEntry element.
constexpr const char* kDetailColumns[] = {
    "ELServerName",  "LogTypeName",   "RecordNumber",    "TimeGenerated",     "EventID",
    "EventTypeCode", "EventTypeName", "EventCategoryID", "EventCategoryName", "ELUserName",
    "ELSourceName",  "FullMessage",   "CreatedAt"};

std::int64_t RowCount(MethodFrame& call, const KeyQuery& query) {
  data::Command count = TextCommand(call, CountQueryText(query));
  data::Recordset rows = count.Execute(data::adOptionUnspecified);
  const std::int32_t code = count.GetParameters().Item("lngRetVal").Value().CLng();
  if (code != 0) call.Fail(code);
  return static_cast<std::int64_t>(std::llround(rows[0L].CDbl()));
}

void AppendPageLinks(xml::Document& doc, xml::Element& pageLinks, const PagePlan& plan) {
  for (const PageLinkEntry& link : plan.links) {
    xml::Element element = pageLinks.AppendChild(doc.CreateElement("PageLink"));
    element.SetAttribute("PageNumber", std::to_string(link.pageNumber));
    element.SetAttribute("PageNumberText", link.pageNumberText);
    element.SetAttribute("ShowLink", link.showLink);
  }
}

void AppendPageKeys(MethodFrame& call, xml::Document& doc, xml::Element& root,
                    const std::string& sql, const PagePlan& plan) {
  if (plan.rowCount == 0) return;
  data::Command page = TextCommand(call, PageQueryText(sql, plan.firstRow, plan.rowCount));
  for (data::Recordset rows = page.Execute(data::adOptionUnspecified); !rows.IsEOF();
       rows.MoveNext()) {
    xml::Element entry = root.AppendChild(doc.CreateElement("LogEntry"));
    entry.SetAttribute("LEID", ColumnText(rows["LEID"]));
  }
}

// A key as the page document carries it: a decimal integer, nothing else.
bool IsKeyText(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::int32_t LogEntryPageIdsGetFromDB(const std::string& sql, Variant& sXml) {
  MethodFrame frame("Reports.LogEntryPageIdsGetFromDB", {.openConnection = false});
  return frame.Run([&](MethodFrame& call) {
    xml::Document doc;
    doc.LoadXml(VariantText(sXml));
    xml::Element root = doc.DocumentElement();
    const std::int32_t pageSize = root.GetAttribute("PageSize").CLng();
    const std::int32_t pageOfPagesSize = root.GetAttribute("PageOfPagesSize").CLng();
    const std::int32_t selectedPage = root.GetAttribute("SelectedPage").CLng();
    xml::Element pageLinks = root.AppendChild(doc.CreateElement("PageLinks"));
    // Only a key query runs: anything else is refused before the database is reached.
    std::optional<KeyQuery> query = ParseKeyQuery(sql);
    if (!query) RefuseArgument("sql");

    call.OpenConnection();
    data::Command keyQuery = TextCommand(call, sql);
    call.TraceExecuting(keyQuery);
    const std::int64_t recordCount = RowCount(call, *query);
    if (recordCount == 0) call.Fail(kNoRows);
    const std::int64_t windowStart = WindowStart(pageOfPagesSize, selectedPage);
    call.Trace(doc.Xml());
    const PagePlan plan =
        PlanPages(recordCount, pageSize, windowStart, pageOfPagesSize, selectedPage);
    AppendPageLinks(doc, pageLinks, plan);
    AppendPageKeys(call, doc, root, sql, plan);
    root.SetAttribute("PageCount", std::to_string(plan.pageCount));
    root.SetAttribute("RecordCount", std::to_string(recordCount));
    const std::string text = doc.Xml();
    sXml = Variant(text);
    call.Trace("sXml " + text);
  });
}

std::int32_t LogEntryPageDetailsGetFromDB(Variant& sXml) {
  MethodFrame frame("Reports.LogEntryPageDetailsGetFromDB", {.openConnection = false});
  return frame.Run([&](MethodFrame& call) {
    xml::Document doc;
    doc.LoadXml(VariantText(sXml));
    xml::Element root = doc.DocumentElement();
    std::string ids;
    for (const xml::Element& entry : root.SelectNodes("LogEntry")) {
      // The keys travel to the procedure as text: each must be a key and nothing more.
      const std::string key = VariantText(entry.GetAttribute("LEID"));
      if (!IsKeyText(key)) RefuseArgument("LEID");
      if (!ids.empty()) ids += ',';
      ids += key;
    }
    if (ids.empty()) call.Leave(kNoKeys);

    call.OpenConnection();
    data::Command command = call.StoredProcedure("LogEntryPageDetailsGet");
    command.GetParameters().Append(
        command.CreateParameter("@ids", data::adVarChar, data::adParamInput, 4000, Variant(ids)));
    for (data::Recordset rows = call.Execute(command, data::adOptionUnspecified); !rows.IsEOF();
         rows.MoveNext()) {
      // Duplicate keys: the details go onto the first element with the key.
      xml::Element entry =
          root.SelectSingleNode("LogEntry[@LEID='" + ColumnText(rows["LEID"]) + "']");
      for (const char* column : kDetailColumns) {
        entry.SetAttribute(column, VariantText(rows[column]));
      }
    }
    const std::string text = doc.Xml();
    sXml = Variant(text);
    call.Trace("sXml " + text);
  });
}

}  // namespace tamsel::reports::browse
