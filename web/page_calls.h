// Calls of the component's methods as the pages make them, each on the session's apartment
// in its own transaction, and the answers the log browser reads from them.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "web/log_filter.h"
#include "web/sessions.h"
#include "web/templates.h"

namespace tamsel::web {

CallResult CallReports(Session& session, const std::string& method, platform::com::Arguments args);
CallResult CallAppAdmin(Session& session, const std::string& method, platform::com::Arguments args);

// The XML answer of a list method with one by-reference argument after `args` (MenuXmlGet,
// TwoFieldListFromDBGet), from the session's cache when it is fresh; failures are not cached.
CallResult CachedListCall(Session& session, const std::string& method,
                          platform::com::Arguments args);

// A by-reference argument that starts empty.
platform::com::Argument Out();

// The navigation tree (servers and their logs) as links that keep the rest of `filter`.
nlohmann::json MenuTree(const std::string& menuXml, const LogFilter& filter);

// A lookup list (TwoFieldListFromDBGet) as options, those in `selected` marked.
nlohmann::json Options(const std::string& listXml, const std::vector<std::int32_t>& selected);

// The detailed page document as the rows, page links and counts the page shows.
TemplateData PageView(const std::string& pageXml, const LogFilter& filter);

// One detailed LogEntry element as the fields a row and the details show.
TemplateData EntryView(const pugi::xml_node& entry);

}  // namespace tamsel::web
