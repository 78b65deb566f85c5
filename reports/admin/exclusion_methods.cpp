// Reports' event exclusion methods: the grid of every server against every event type with
// its check marks, and the submission of pairs to remove and pairs to add, all removals
// before all additions, in the call's one transaction.
#include <string>

#include "platform/data/ado_constants.h"
#include "platform/xml/dom.h"
#include "reports/admin/admin_methods.h"
#include "reports/admin/method_support.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::admin {
namespace {

namespace data = platform::data;
namespace xml = platform::xml;

// Runs the command's procedure once per NODE child of the document's root, with the pair's
// two keys appended before and removed after each execution. A document that did not load
// fails with 91 here; a non-zero return value stops at that pair.
void ApplyPairs(MethodFrame& call, data::Command& command, const std::string& pairsXml) {
  xml::Document doc;
  doc.LoadXml(pairsXml);
  const xml::NodeList nodes = doc.DocumentElement().SelectNodes("NODE");
  for (const xml::Element& node : nodes) {
    AppendInput(command, "@ELServerID", data::adInteger, 4, node.GetAttribute("ServerID"));
    AppendInput(command, "@EventTypeID", data::adInteger, 4, node.GetAttribute("EventTypeID"));
    call.Execute(command);
    command.GetParameters().Delete("@ELServerID");
    command.GetParameters().Delete("@EventTypeID");
  }
}

}  // namespace

std::int32_t EventExclusionGridXmlGet(Variant& sXmlExclusionGrid) {
  MethodFrame frame("Reports.EventExclusionGridXmlGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("EventExclusionGridGet");
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<ROOT />");
    xml::Element root = doc.DocumentElement();
    // Rows come grouped by server; a new SERVER starts wherever the key changes. No server
    // has the key 0.
    std::int16_t currentServer = 0;
    xml::Element server;
    for (; !rows.IsEOF(); rows.MoveNext()) {
      const std::int16_t key = rows["ELServerID"].CInt();
      if (key != currentServer) {
        currentServer = key;
        server = root.AppendChild(doc.CreateElement("SERVER"));
        server.SetAttribute("ServerName", ColumnText(rows["ELServerName"]));
        server.SetAttribute("ServerID", std::to_string(key));
      }
      xml::Element eventType = server.AppendChild(doc.CreateElement("EVENTTYPE"));
      for (const char* column : {"EventTypeID", "EventTypeName", "IsChecked"}) {
        eventType.SetAttribute(column, ColumnText(rows[column]));
      }
    }
    call.Trace("sXmlExclusionGrid " + HandBack(doc, sXmlExclusionGrid));
  });
}

std::int32_t ExclusionListSubmit(const std::string& sXmlEventExclusionDelete,
                                 std::string& sXmlEventExclusionInsert) {
  MethodFrame frame("Reports.ExclusionListSubmit");
  return frame.Run([&](MethodFrame& call) {
    // One command for every pair; "lngRetVal" stays while the pair's keys come and go.
    data::Command command = call.StoredProcedure("EventExclusionDelete");
    ApplyPairs(call, command, sXmlEventExclusionDelete);
    command.SetCommandText("EventExclusionInsert");
    ApplyPairs(call, command, sXmlEventExclusionInsert);
  });
}

}  // namespace tamsel::reports::admin
