// Reports.LogEntryPageIdsGetFromDB and Reports.LogEntryPageDetailsGetFromDB: a page of keys
// with its page links, then the details of those keys written onto the page document.
//
// The key listing gives the document that walking every row of the key query gives, but asks
// the database for what it needs: the number of rows (COUNT(*) over the same conditions) and
// the keys of the selected page (the key query with LIMIT and OFFSET). The link row depends
// on the row count alone (page_plan.h).
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_map>

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

// A key as the page document carries it: a decimal integer with blanks around it at most, as
// the procedure reads its list. The key without the blanks, or nothing for anything else.
std::optional<std::string_view> KeyText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return text;
}

// The LogEntry children of the root by key, the first of duplicates winning, so that each
// returned row finds its element at once however long the page is.
class EntriesByKey {
 public:
  // Refuses (error 5) a LEID that is not a key.
  explicit EntriesByKey(const xml::Element& root) {
    for (const xml::Element& entry : root.SelectNodes("LogEntry")) {
      const std::string leid = VariantText(entry.GetAttribute("LEID"));
      std::optional<std::string_view> key = KeyText(leid);
      if (!key) RefuseArgument("LEID");
      if (!ids_.empty()) ids_ += ',';
      ids_ += *key;
      entries_.emplace(std::string(*key), entry);
    }
  }

  // The keys joined with ",", in document order.
  const std::string& Ids() const { return ids_; }

  // The element of a returned key; 91 when none has it, as a selection finding nothing gives.
  xml::Element Find(const std::string& key) const {
    auto found = entries_.find(key);
    if (found == entries_.end()) throw platform::com::ComError::Vb(platform::com::kVbObjectNotSet);
    return found->second;
  }

 private:
  std::string ids_;
  std::unordered_map<std::string, xml::Element> entries_;
};

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
    // Traced as the page wrote it; the count and the page run it with dates in stored form.
    data::Command keyQuery = TextCommand(call, sql);
    call.TraceExecuting(keyQuery);
    const std::int64_t recordCount = RowCount(call, *query);
    if (recordCount == 0) call.Fail(kNoRows);
    const std::int64_t windowStart = WindowStart(pageOfPagesSize, selectedPage);
    call.Trace(doc.Xml());
    const PagePlan plan =
        PlanPages(recordCount, pageSize, windowStart, pageOfPagesSize, selectedPage);
    AppendPageLinks(doc, pageLinks, plan);
    AppendPageKeys(call, doc, root, query->text, plan);
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
    const EntriesByKey entries(root);
    if (entries.Ids().empty()) call.Leave(kNoKeys);

    call.OpenConnection();
    data::Command command = call.StoredProcedure("LogEntryPageDetailsGet");
    command.GetParameters().Append(command.CreateParameter(
        "@ids", data::adVarChar, data::adParamInput, 4000, Variant(entries.Ids())));
    for (data::Recordset rows = call.Execute(command, data::adOptionUnspecified); !rows.IsEOF();
         rows.MoveNext()) {
      xml::Element entry = entries.Find(ColumnText(rows["LEID"]));
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
