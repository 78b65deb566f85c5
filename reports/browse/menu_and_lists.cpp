// Reports.MenuXmlGet, Reports.TwoFieldListFromDBGet and the four lookup lists that resolve
// the parts of a report filter into names.
#include "platform/data/ado_constants.h"
#include "platform/data/procedure_catalog.h"
#include "platform/network/network.h"
#include "platform/xml/dom.h"
#include "reports/browse/browse_methods.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/method_support.h"

namespace tamsel::reports::browse {
namespace {

namespace data = platform::data;
namespace xml = platform::xml;

constexpr const char* kMenuRoot =
    "<NODE DisplayText=\"All Servers\" ID=\"00\" ParentID=\"null\" ServerID=\"0\" "
    "LogTypeID=\"0\" IconOpened=\"Images/NetOpened_icon.gif\" "
    "IconClosed=\"Images/NetClosed_icon.gif\"/>";

void SetNode(xml::Element& node, const std::string& displayText, const std::string& serverId,
             const std::string& logTypeId, const std::string& id, const std::string& parentId,
             const char* iconOpened, const char* iconClosed) {
  node.SetAttribute("DisplayText", displayText);
  node.SetAttribute("ServerID", serverId);
  node.SetAttribute("LogTypeID", logTypeId);
  node.SetAttribute("ID", id);
  node.SetAttribute("ParentID", parentId);
  node.SetAttribute("IconOpened", iconOpened);
  node.SetAttribute("IconClosed", iconClosed);
}

// One part of a procedure name: a word, or a word in brackets.
std::optional<std::string_view> NamePart(std::string_view text) {
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    const bool word =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!word) return std::nullopt;
  }
  return text;
}

// The procedure a page names, as the database resolves the name: blanks around it, brackets
// and the owner prefix "dbo." allowed. Only a procedure the catalog marks as a two-field list
// is let through.
std::optional<std::string> TwoFieldListName(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    std::optional<std::string_view> owner = NamePart(text.substr(0, dot));
    if (!owner || !platform::network::EqualsIgnoreCase(*owner, "dbo")) return std::nullopt;
    text.remove_prefix(dot + 1);
  }
  std::optional<std::string_view> name = NamePart(text);
  if (!name) return std::nullopt;
  const data::ProcedureDefinition* procedure =
      data::ProcedureCatalog::Global().Find(std::string(*name));
  if (procedure == nullptr || !procedure->twoFieldList) return std::nullopt;
  return std::string(*name);
}

// One lookup list: its SQL head and tail around the fragment, and the XML it returns.
struct LookupList {
  const char* method;
  // The fragment as it runs, or nothing when it is refused.
  std::optional<std::string> (*runnable)(std::string_view);
  const char* head;
  const char* tail;
  const char* root;
  const char* row;
  struct Attribute {
    const char* name;
    const char* column;
  };
  std::vector<Attribute> attributes;
};

std::optional<std::string> NonNegativeIdList(std::string_view text) {
  if (!IsIdList(text, IdSign::NonNegative)) return std::nullopt;
  return std::string(text);
}

std::int32_t RunLookupList(const LookupList& list, const Variant& qryFragment, Variant& sXml) {
  MethodFrame frame(std::string("Reports.") + list.method, {.openConnection = false});
  return frame.Run([&](MethodFrame& call) {
    // The fragment goes into SQL text: only its documented form is let through.
    std::optional<std::string> fragment = list.runnable(VariantText(qryFragment));
    if (!fragment) RefuseArgument("qryFragment");
    call.OpenConnection();
    data::Command command = TextCommand(call, list.head + *fragment + list.tail);
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml(list.root);
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element element = root.AppendChild(doc.CreateElement(list.row));
      for (const LookupList::Attribute& attribute : list.attributes) {
        element.SetAttribute(attribute.name, ColumnText(rows[attribute.column]));
      }
    }
    const std::string text = doc.Xml();
    sXml = Variant(text);
    call.Trace("sXml " + text);
  });
}

}  // namespace

std::int32_t MenuXmlGet(Variant& sXmlMenuTree) {
  MethodFrame frame("Reports.MenuXmlGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("MenuServerListGet");
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml(kMenuRoot);
    xml::Element root = doc.DocumentElement();
    std::int16_t currentServer = 0;
    xml::Element server;  // Nothing until the first server row
    for (; !rows.IsEOF(); rows.MoveNext()) {
      const std::int16_t serverId = rows["ELServerID"].CInt();
      const std::string serverText = std::to_string(serverId);
      if (serverId != currentServer) {
        currentServer = serverId;
        server = root.AppendChild(doc.CreateElement("NODE"));
        SetNode(server, ColumnText(rows["ELServerName"]), serverText, "0", serverText + "0",
                root.GetAttribute("ID").CStr(), "images/ServerOpened_icon.gif",
                "images/ServerClosed_icon.gif");
      }
      xml::Element log = doc.CreateElement("NODE");
      server.AppendChild(log);
      const std::string logTypeId = ColumnText(rows["LogTypeID"]);
      SetNode(log, ColumnText(rows["LogTypeName"]), serverText, logTypeId, serverText + logTypeId,
              server.GetAttribute("ID").CStr(), "images/LogOpened_icon.gif",
              "images/LogClosed_icon.gif");
    }
    const std::string text = doc.Xml();
    sXmlMenuTree = Variant(text);
    call.Trace("sXmlMenuTree " + text);
  });
}

std::int32_t TwoFieldListFromDBGet(const std::string& sSpName, Variant& sXml) {
  MethodFrame frame("Reports.TwoFieldListFromDBGet", {.openConnection = false});
  return frame.Run([&](MethodFrame& call) {
    // A page names the procedure: only the lists the catalog marks may run.
    std::optional<std::string> procedure = TwoFieldListName(sSpName);
    if (!procedure) RefuseArgument("sSpName");
    call.OpenConnection();
    data::Command command = call.StoredProcedure(*procedure);
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<ROOT />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element node = root.AppendChild(doc.CreateElement("NODE"));
      node.SetAttribute("Field0", ColumnText(rows.GetFields().Item(0L).Value()));
      node.SetAttribute("Field1", ColumnText(rows.GetFields().Item(1L).Value()));
    }
    const std::string text = doc.Xml();
    sXml = Variant(text);
    call.Trace("sXml " + text);
  });
}

std::int32_t ServerLogTypeFilterListGet(const Variant& qryFragment, Variant& sXml) {
  static const LookupList list{
      "ServerLogTypeFilterListGet",
      ServerLogTypeFilterText,
      "SELECT  s.ELServerName,lt.LogTypeName FROM ELServer s,LogType lt,(select ELServerID, "
      "LogTypeID FROM ELServerLogType WHERE ",
      ")d WHERE d.ElServerID = s.ELServerID AND d.LogTypeID = lt.LogTypeID",
      "<SERVERLOGTYPEFILTERLIST />",
      "SERVERLOGTYPE",
      {{"ServerName", "ELServerName"}, {"LogTypeName", "LogTypeName"}}};
  return RunLookupList(list, qryFragment, sXml);
}

std::int32_t EventSourceListGet(const Variant& qryFragment, Variant& sXml) {
  static const LookupList list{"EventSourceListGet",
                               NonNegativeIdList,
                               "SELECT  ELSourceName FROM ELSource WHERE ElSourceID IN (",
                               ") Order by ELSourceName",
                               "<EVENTSOURCELIST/>",
                               "EVENTSOURCE",
                               {{"ELSourceName", "ELSourceName"}}};
  return RunLookupList(list, qryFragment, sXml);
}

std::int32_t EventTypeListGet(const Variant& qryFragment, Variant& sXml) {
  static const LookupList list{"EventTypeListGet",
                               NonNegativeIdList,
                               "SELECT EventTypeName FROM EventType WHERE EventTypeID IN (",
                               ") Order by EventTypeName",
                               "<EVENTTYPELIST/>",
                               "EVENTTYPE",
                               {{"EventTypeName", "EventTypeName"}}};
  return RunLookupList(list, qryFragment, sXml);
}

std::int32_t EventCategoryListGet(const Variant& qryFragment, Variant& sXml) {
  static const LookupList list{
      "EventCategoryListGet",
      NonNegativeIdList,
      "SELECT EventCategoryName FROM EventCategory WHERE EventCategoryID IN (",
      ") Order by EventCategoryName",
      "<EVENTCATEGORYLIST/>",
      "EVENTCATEGORY",
      {{"EventCategoryName", "EventCategoryName"}}};
  return RunLookupList(list, qryFragment, sXml);
}

}  // namespace tamsel::reports::browse
