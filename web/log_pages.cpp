// The log browser: /logs (tree, filter form, page, details), /logs.csv and /entries/LEID.
#include <chrono>
#include <memory>

#include "platform/com/com_error.h"
#include "web/csv_export.h"
#include "web/page_calls.h"
#include "web/web_app.h"
#include "web/xml_answer.h"

namespace tamsel::web {

namespace {

namespace com = platform::com;

constexpr int kNoRows = 203;
constexpr std::size_t kCsvBatch = 2000;

struct Lookup {
  const char* procedure;
  const char* key;
  std::vector<std::int32_t> LogFilter::*selected;
};

// The filter form's fields, with the lists read from the component.
nlohmann::json FilterForm(Session& session, const LogFilter& filter,
                          std::vector<std::string>& errors) {
  nlohmann::json form{{"eventid", ""},
                      {"exclude", filter.excludeEventIds},
                      {"from", filter.from},
                      {"to", filter.to},
                      {"server", filter.server ? std::to_string(filter.server) : ""},
                      {"log", filter.log ? std::to_string(filter.log) : ""},
                      {"live", filter.live},
                      {"asc", !filter.descending}};
  std::string ids;
  for (std::int32_t id : filter.eventIds) ids += (ids.empty() ? "" : ",") + std::to_string(id);
  form["eventid"] = ids;
  for (const char* range : {"", "1h", "24h", "7d", "custom"}) {
    form[std::string("range_") + (*range ? range : "all")] = filter.range == range;
  }
  nlohmann::json sorts = nlohmann::json::array();
  for (const auto& [column, label] : SortColumns()) {
    sorts.push_back({{"column", column}, {"label", label}, {"selected", filter.sort == column}});
  }
  form["sorts"] = sorts;
  nlohmann::json sizes = nlohmann::json::array();
  for (std::int32_t size : PageSizes()) {
    sizes.push_back({{"size", std::to_string(size)}, {"selected", filter.size == size}});
  }
  form["sizes"] = sizes;
  static const Lookup lookups[] = {
      {"EventTypeNameListGet", "types", &LogFilter::types},
      {"ELSourceNameListGet", "sources", &LogFilter::sources},
      {"EventCategoryNameListGet", "categories", &LogFilter::categories}};
  for (const Lookup& lookup : lookups) {
    CallResult list =
        CachedListCall(session, "TwoFieldListFromDBGet", {com::Variant(lookup.procedure)});
    if (list.Code() != 0) {
      errors.push_back(FailureMessage("Reading the list " + std::string(lookup.procedure),
                                      "TwoFieldListFromDBGet", list));
    }
    form[lookup.key] = Options(list.Text(1), filter.*lookup.selected);
  }
  return form;
}

// The page of entries: key query, keys of the page, their details.
TemplateData EntriesPage(Session& session, const LogFilter& filter,
                         std::vector<std::string>& errors, bool& noMatch) {
  CallResult query =
      CallReports(session, "SqlQueryGenerate",
                  {com::Variant(filter.ReportFilterXml(std::chrono::system_clock::now())), Out()});
  if (query.Code() != 0) {
    errors.push_back(FailureMessage("Building the query", "SqlQueryGenerate", query));
    return TemplateData(false);
  }
  CallResult ids = CallReports(
      session, "LogEntryPageIdsGetFromDB",
      {com::Variant(query.Text(1)), com::Argument(com::Variant(filter.PageRequestXml()))});
  if (ids.Code() == kNoRows) {
    noMatch = true;
    return TemplateData(false);
  }
  if (ids.Code() != 0) {
    errors.push_back(FailureMessage("Listing the entries", "LogEntryPageIdsGetFromDB", ids));
    return TemplateData(false);
  }
  CallResult details = CallReports(session, "LogEntryPageDetailsGetFromDB",
                                   {com::Argument(com::Variant(ids.Text(1)))});
  if (details.Code() == 1) return PageView(ids.Text(1), filter);  // a page past the last
  if (details.Code() != 0) {
    errors.push_back(
        FailureMessage("Reading the entries' details", "LogEntryPageDetailsGetFromDB", details));
    return TemplateData(false);
  }
  return PageView(details.Text(0), filter);
}

void ShowLogs(WebApp& app, const httplib::Request& request, httplib::Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  const LogFilter filter = LogFilter::Parse(request.params);
  std::vector<std::string> errors = filter.problems;
  CallResult menu = CachedListCall(*session, "MenuXmlGet", {});
  if (menu.Code() != 0) errors.push_back(FailureMessage("Reading the servers", "MenuXmlGet", menu));
  nlohmann::json page{{"title", "Logs"},
                      {"tree", MenuTree(menu.Text(0), filter)},
                      {"allHref", "/logs?" +
                                      [&] {
                                        LogFilter all = filter;
                                        all.server = all.log = 0;
                                        all.page = 1;
                                        return all.Query();
                                      }()},
                      {"allActive", filter.server == 0 && filter.log == 0},
                      {"form", FilterForm(*session, filter, errors)},
                      {"query", filter.Query()},
                      {"back", UrlEncode("/logs?" + filter.Query(true))},
                      {"live", filter.live && filter.page == 1}};
  bool noMatch = false;
  TemplateData view = EntriesPage(*session, filter, errors, noMatch);
  page["noMatch"] = noMatch;
  page["errors"] = errors;
  const std::string alert = Param(request, "alert");
  if (!alert.empty() && alert.find_first_not_of("0123456789") == std::string::npos) {
    page["editAlert"] = alert;
  }
  TemplateData data = ToTemplateData(page);
  data["view"] = std::move(view);
  app.RenderData(response, "logs", std::move(data), session.get());
}

void ExportCsv(WebApp& app, const httplib::Request& request, httplib::Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  const LogFilter filter = LogFilter::Parse(request.params);
  CallResult query =
      CallReports(*session, "SqlQueryGenerate",
                  {com::Variant(filter.ReportFilterXml(std::chrono::system_clock::now())), Out()});
  if (query.Code() != 0) {
    app.RenderError(response, 500, FailureMessage("Building the query", "SqlQueryGenerate", query),
                    session.get());
    return;
  }
  std::shared_ptr<CsvExport> csv;
  try {
    csv = std::make_shared<CsvExport>(app.DatabaseConnectionString(), query.Text(1));
  } catch (const com::ComError& error) {
    app.RenderError(response, 500, "The export could not start: " + error.Description(),
                    session.get());
    return;
  }
  response.set_header("Content-Disposition", "attachment; filename=\"tamsel-logs.csv\"");
  response.set_chunked_content_provider(
      "text/csv; charset=utf-8", [csv](std::size_t, httplib::DataSink& sink) {
        std::string chunk;
        bool more = false;
        try {
          more = csv->Next(chunk, kCsvBatch);
        } catch (const com::ComError&) {
          return false;  // the connection is cut: the download shows as failed
        }
        if (!chunk.empty() && !sink.write(chunk.data(), chunk.size())) return false;
        if (!more) sink.done();
        return true;
      });
}

void ShowEntry(WebApp& app, const httplib::Request& request, httplib::Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  const std::string leid = request.matches[1];
  CallResult details =
      CallReports(*session, "LogEntryPageDetailsGetFromDB",
                  {com::Argument(com::Variant("<Page><LogEntry LEID=\"" + leid + "\"/></Page>"))});
  if (details.Code() != 0) {
    app.RenderError(
        response, 500,
        FailureMessage("Reading entry " + leid, "LogEntryPageDetailsGetFromDB", details),
        session.get());
    return;
  }
  pugi::xml_document document;
  document.load_string(details.Text(0).c_str());
  const pugi::xml_node row = document.document_element().child("LogEntry");
  if (!row.attribute("ELServerName")) {
    app.RenderError(response, 404, "There is no entry " + leid + ".", session.get());
    return;
  }
  TemplateData page = ToTemplateData(
      {{"title", "Entry " + leid},
       {"back", Param(request, "back").rfind("/logs", 0) == 0 ? Param(request, "back") : "/logs"}});
  page["entry"] = EntryView(row);
  app.RenderData(response, "entry", std::move(page), session.get());
}

}  // namespace

void RegisterLogPages(WebApp& app) {
  app.Server().Get("/logs", [&app](const httplib::Request& request, httplib::Response& response) {
    ShowLogs(app, request, response);
  });
  app.Server().Get("/logs.csv",
                   [&app](const httplib::Request& request, httplib::Response& response) {
                     ExportCsv(app, request, response);
                   });
  app.Server().Get(R"(/entries/(\d{1,12}))",
                   [&app](const httplib::Request& request, httplib::Response& response) {
                     ShowEntry(app, request, response);
                   });
}

}  // namespace tamsel::web
