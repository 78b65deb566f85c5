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

TemplateData EntryView(const pugi::xml_node& entry) {
  TemplateData view{TemplateData::type::object};
  auto text = [&](const char* name) { return std::string(entry.attribute(name).value()); };
  static constexpr std::pair<const char*, const char*> kFields[] = {
      {"leid", "LEID"},
      {"time", "TimeGenerated"},
      {"server", "ELServerName"},
      {"log", "LogTypeName"},
      {"recordNumber", "RecordNumber"},
      {"eventId", "EventID"},
      {"typeCode", "EventTypeCode"},
      {"typeName", "EventTypeName"},
      {"categoryId", "EventCategoryID"},
      {"category", "EventCategoryName"},
      {"user", "ELUserName"},
      {"source", "ELSourceName"},
      {"createdAt", "CreatedAt"}};
  for (const auto& [key, attribute] : kFields) view[key] = TemplateText(text(attribute));
  const std::string code = text("EventTypeCode");
  view["typeClass"] = TemplateText(code == "E"    ? "error"
                                   : code == "W"  ? "warning"
                                   : code == "AF" ? "failure"
                                                  : "info");
  std::vector<std::string> lines = MessageLines(text("FullMessage"));
  view["summary"] = TemplateText(lines.front());
  TemplateData list{TemplateData::type::list};
  for (std::string& line : lines) Append(list, TemplateText(std::move(line)));
  view["lines"] = std::move(list);
  return view;
}

TemplateData PageView(const std::string& pageXml, const LogFilter& filter) {
  pugi::xml_document document;
  document.load_buffer(pageXml.data(), pageXml.size(), pugi::parse_default, pugi::encoding_utf8);
  pugi::xml_node root = document.document_element();
  const int pageCount = root.attribute("PageCount").as_int();
  TemplateData view{TemplateData::type::object};
  view["recordCount"] = TemplateText(root.attribute("RecordCount").value());
  view["pageCount"] = TemplateText(std::to_string(pageCount));
  view["page"] = TemplateText(std::to_string(filter.page));
  TemplateData links{TemplateData::type::list};
  for (pugi::xml_node link : root.child("PageLinks").children("PageLink")) {
    TemplateData item{TemplateData::type::object};
    item["text"] = TemplateText(link.attribute("PageNumberText").value());
    item["href"] =
        TemplateText("/logs?" + filter.QueryForPage(link.attribute("PageNumber").as_int()));
    item["current"] = TemplateData(std::string(link.attribute("ShowLink").value()) == "0");
    Append(links, std::move(item));
  }
  view["links"] = std::move(links);
  auto nav = [&](const char* name, int target, bool enabled) {
    view[name] =
        enabled ? TemplateText("/logs?" + filter.QueryForPage(target)) : TemplateData(false);
  };
  nav("first", 1, filter.page > 1);
  nav("prev", filter.page - 1, filter.page > 1);
  nav("next", filter.page + 1, filter.page < pageCount);
  nav("last", pageCount, filter.page < pageCount);
  TemplateData rows{TemplateData::type::list};
  for (pugi::xml_node entry : root.children("LogEntry")) Append(rows, EntryView(entry));
  view["rows"] = std::move(rows);
  return view;
}

}  // namespace tamsel::web
