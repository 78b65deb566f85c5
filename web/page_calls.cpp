// The log browser's component answers as template data.
#include "web/page_calls.h"

#include <algorithm>
#include <pugixml.hpp>

#include "web/web_app.h"
#include "web/xml_answer.h"

namespace tamsel::web {

namespace com = platform::com;

CallResult CallReports(Session& session, const std::string& method, com::Arguments args) {
  return session.apartment.Call(std::string(kReports) + "." + method, std::move(args));
}

CallResult CallAppAdmin(Session& session, const std::string& method, com::Arguments args) {
  return session.apartment.Call(std::string(kAppAdmin) + "." + method, std::move(args));
}

CallResult CachedListCall(Session& session, const std::string& method, com::Arguments args) {
  constexpr std::chrono::seconds kFresh{30};
  std::string key = method;
  for (const com::Argument& argument : args) key += "|" + argument.value.CStr();
  const auto now = std::chrono::steady_clock::now();
  if (auto cached = session.Cached(key, kFresh, now)) {
    CallResult answer;
    answer.result = com::Variant(0);
    answer.args = std::move(args);
    answer.args.push_back(com::Argument(com::Variant(*cached)));
    return answer;
  }
  args.push_back(Out());
  CallResult answer = CallReports(session, method, std::move(args));
  if (answer.Code() == 0) session.Cache(key, answer.Text(answer.args.size() - 1), now);
  return answer;
}

com::Argument Out() { return com::Argument(com::Variant(std::string())); }

nlohmann::json MenuTree(const std::string& menuXml, const LogFilter& filter) {
  nlohmann::json servers = nlohmann::json::array();
  pugi::xml_document document;
  if (!document.load_string(menuXml.c_str())) return servers;
  LogFilter all = filter;
  all.page = 1;
  for (pugi::xml_node server : document.document_element().children("NODE")) {
    LogFilter target = all;
    target.server = server.attribute("ServerID").as_int();
    target.log = 0;
    nlohmann::json node{{"name", server.attribute("DisplayText").value()},
                        {"href", "/logs?" + target.Query()},
                        {"active", filter.server == target.server && filter.log == 0},
                        {"logs", nlohmann::json::array()}};
    for (pugi::xml_node log : server.children("NODE")) {
      target.log = log.attribute("LogTypeID").as_int();
      node["logs"].push_back(
          {{"name", log.attribute("DisplayText").value()},
           {"href", "/logs?" + target.Query()},
           {"active", filter.server == target.server && filter.log == target.log}});
    }
    servers.push_back(node);
  }
  return servers;
}

nlohmann::json Options(const std::string& listXml, const std::vector<std::int32_t>& selected) {
  nlohmann::json options = nlohmann::json::array();
  for (const nlohmann::json& row : Rows(listXml, "NODE")) {
    const std::string id = row.value("Field0", "");
    const std::string name = row.value("Field1", "");
    if (name.empty()) continue;  // the collector's row for "no category" / "no user"
    const bool isSelected = std::any_of(selected.begin(), selected.end(), [&](std::int32_t value) {
      return std::to_string(value) == id;
    });
    options.push_back({{"id", id}, {"name", name}, {"selected", isSelected}});
  }
  return options;
}

nlohmann::json EntryView(const nlohmann::json& a) {
  auto get = [&](const char* name) { return a.value(name, std::string()); };
  const std::vector<std::string> lines = MessageLines(get("FullMessage"));
  const std::string code = get("EventTypeCode");
  return {{"leid", get("LEID")},
          {"time", get("TimeGenerated")},
          {"server", get("ELServerName")},
          {"log", get("LogTypeName")},
          {"recordNumber", get("RecordNumber")},
          {"eventId", get("EventID")},
          {"typeCode", code},
          {"typeName", get("EventTypeName")},
          {"typeClass", code == "E"    ? "error"
                        : code == "W"  ? "warning"
                        : code == "AF" ? "failure"
                                       : "info"},
          {"categoryId", get("EventCategoryID")},
          {"category", get("EventCategoryName")},
          {"user", get("ELUserName")},
          {"source", get("ELSourceName")},
          {"createdAt", get("CreatedAt")},
          {"summary", lines.front()},
          {"lines", lines}};
}

nlohmann::json PageView(const std::string& pageXml, const LogFilter& filter) {
  pugi::xml_document document;
  document.load_string(pageXml.c_str());
  pugi::xml_node root = document.document_element();
  const int pageCount = root.attribute("PageCount").as_int();
  nlohmann::json view{{"recordCount", root.attribute("RecordCount").value()},
                      {"pageCount", std::to_string(pageCount)},
                      {"page", std::to_string(filter.page)},
                      {"links", nlohmann::json::array()},
                      {"rows", nlohmann::json::array()}};
  for (pugi::xml_node link : root.child("PageLinks").children("PageLink")) {
    view["links"].push_back(
        {{"text", link.attribute("PageNumberText").value()},
         {"href", "/logs?" + filter.QueryForPage(link.attribute("PageNumber").as_int())},
         {"current", std::string(link.attribute("ShowLink").value()) == "0"}});
  }
  auto nav = [&](const char* name, int target, bool enabled) {
    view[name] =
        enabled ? nlohmann::json("/logs?" + filter.QueryForPage(target)) : nlohmann::json("");
  };
  nav("first", 1, filter.page > 1);
  nav("prev", filter.page - 1, filter.page > 1);
  nav("next", filter.page + 1, filter.page < pageCount);
  nav("last", pageCount, filter.page < pageCount);
  for (pugi::xml_node entry : root.children("LogEntry")) {
    nlohmann::json attributes = nlohmann::json::object();
    for (pugi::xml_attribute attribute : entry.attributes()) {
      attributes[attribute.name()] = attribute.value();
    }
    view["rows"].push_back(EntryView(attributes));
  }
  return view;
}

}  // namespace tamsel::web
