// Saved reports (/reports) and alerts (/alerts): a filter of the log browser kept under a
// description; alerts add a status and recipients with their schedules.
#include <array>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <sstream>

#include "platform/com/com_error.h"
#include "platform/data/connection.h"
#include "web/page_calls.h"
#include "web/web_app.h"
#include "web/xml_answer.h"

namespace tamsel::web {

namespace {

namespace com = platform::com;
using httplib::Request;
using httplib::Response;

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

// A filter query sent back by a form, in its canonical form (only what the filter knows).
std::string CanonicalQuery(const std::string& query) {
  QueryParams params;
  httplib::detail::parse_query_text(query, params);
  return LogFilter::Parse(params).Query();
}

std::optional<std::int32_t> Id(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(text);
}

// --- Saved reports ---

// The user's own reports; others' identifiers are not opened or deleted from here.
nlohmann::json OwnReports(Session& session, CallResult& call) {
  call = CallReports(session, "SavedReportListGet", {com::Variant(session.userId), Out()});
  return call.Code() == 0 ? Rows(call.Text(1), "SAVEDREPORT") : nlohmann::json::array();
}

bool OwnsReport(Session& session, std::int32_t id) {
  CallResult call;
  for (const auto& report : OwnReports(session, call)) {
    if (report.value("SavedReportHdrID", "") == std::to_string(id)) return true;
  }
  return false;
}

void ListReports(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  CallResult call;
  nlohmann::json reports = OwnReports(*session, call);
  nlohmann::json page{{"title", "Saved reports"},
                      {"reports", reports},
                      {"none", reports.empty() && call.Code() == 0}};
  if (call.Code() != 0)
    page["error"] = FailureMessage("Listing the reports", "SavedReportListGet", call);
  app.Render(response, "reports", page, session.get());
}

void SaveReport(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session || !app.CheckCsrf(request, response, *session)) return;
  const std::string description = Param(request, "description");
  const std::string query = CanonicalQuery(Param(request, "query"));
  CallResult call =
      CallReports(*session, "LogReportSave",
                  {com::Variant(session->userId), com::Variant(description), com::Variant(query)});
  if (call.Code() != 0) {
    WebApp::RedirectWithNotice(response, *session, "/logs?" + query,
                               FailureMessage("Saving the report", "LogReportSave", call), true);
    return;
  }
  WebApp::RedirectWithNotice(response, *session, "/reports",
                             "Report \"" + description + "\" saved.");
}

void OpenReport(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  const auto id = Id(request.matches[1]);
  if (!id || !OwnsReport(*session, *id)) {
    app.RenderError(response, 404, "You have no saved report with that number.", session.get());
    return;
  }
  CallResult call = CallReports(*session, "SavedReportGet", {com::Variant(*id), Out(), Out()});
  if (call.Code() != 0) {
    app.RenderError(response, 500, FailureMessage("Opening the report", "SavedReportGet", call),
                    session.get());
    return;
  }
  response.set_redirect("/logs?" + CanonicalQuery(call.Text(2)));
}

void DeleteReport(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session || !app.CheckCsrf(request, response, *session)) return;
  const auto id = Id(request.matches[1]);
  if (!id || !OwnsReport(*session, *id)) {
    app.RenderError(response, 404, "You have no saved report with that number.", session.get());
    return;
  }
  CallResult call = CallReports(*session, "SavedReportDelete", {com::Variant(*id)});
  if (call.Code() != 0) {
    WebApp::RedirectWithNotice(response, *session, "/reports",
                               FailureMessage("Deleting the report", "SavedReportDelete", call),
                               true);
    return;
  }
  WebApp::RedirectWithNotice(response, *session, "/reports", "Report deleted.");
}

// --- Alerts ---

// Status flags the alert sender reads: 1 active, 0 inactive.
std::map<std::string, int> AlertStatuses(const std::string& connectionString) {
  std::map<std::string, int> statuses;
  try {
    platform::data::Connection connection;
    connection.Open(connectionString);
    auto rows = connection.Execute("SELECT AlertHdrID, Status FROM AlertHdr");
    for (; !rows.IsEOF(); rows.MoveNext())
      statuses[rows["AlertHdrID"].CStr()] = rows["Status"].CLng();
    connection.Close();
  } catch (const com::ComError&) {
    // Without statuses the list still shows every alert.
  }
  return statuses;
}

void ListAlerts(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  CallResult call = CallReports(*session, "AlertListGet", {Out()});
  nlohmann::json alerts = call.Code() == 0 ? Rows(call.Text(0), "ALERT") : nlohmann::json::array();
  const auto statuses = AlertStatuses(app.DatabaseConnectionString());
  for (auto& alert : alerts) {
    auto it = statuses.find(alert.value("AlertHdrID", ""));
    alert["active"] = it != statuses.end() && it->second == 1;
  }
  nlohmann::json page{
      {"title", "Alerts"}, {"alerts", alerts}, {"none", alerts.empty() && call.Code() == 0}};
  if (call.Code() != 0) page["error"] = FailureMessage("Listing the alerts", "AlertListGet", call);
  app.Render(response, "alerts", page, session.get());
}

struct AlertHeader {
  std::string description;
  std::string metadata;
};

std::optional<AlertHeader> ReadAlert(Session& session, std::int32_t id, CallResult& call) {
  call = CallReports(session, "AlertHdrGet", {com::Variant(id), Out(), Out()});
  if (call.Code() != 0) return std::nullopt;
  return AlertHeader{call.Text(1), call.Text(2)};
}

// Saves description and filter; an active alert gets its condition generated again.
CallResult SaveAlert(Session& session, std::int32_t id, const std::string& description,
                     const std::string& metadata, bool active) {
  CallResult call = CallReports(session, "AlertHdrUpdate",
                                {com::Variant(session.userId), com::Variant(description),
                                 com::Variant(metadata), com::Argument(com::Variant(id))});
  if (call.Code() != 0 || !active) return call;
  return CallReports(session, "AlertHdrSetStatus",
                     {com::Variant(id), com::Variant(static_cast<std::int16_t>(1))});
}

void CreateAlert(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session || !app.CheckCsrf(request, response, *session)) return;
  QueryParams params;
  httplib::detail::parse_query_text(Param(request, "query"), params);
  const LogFilter filter = LogFilter::Parse(params);
  const std::string description = Param(request, "description");
  CallResult call = CallReports(*session, "AlertHdrUpdate",
                                {com::Variant(session->userId), com::Variant(description),
                                 com::Variant(filter.AlertMetadata()),
                                 // -1 asks for a new alert; its key comes back here
                                 com::Argument(com::Variant(static_cast<std::int16_t>(-1)))});
  if (call.Code() != 0) {
    WebApp::RedirectWithNotice(response, *session, "/logs?" + filter.Query(),
                               FailureMessage("Creating the alert", "AlertHdrUpdate", call), true);
    return;
  }
  WebApp::RedirectWithNotice(
      response, *session, "/alerts/" + call.Text(3),
      "Alert \"" + description + "\" created. Add recipients, then activate it.");
}

void ShowAlert(WebApp& app, const Request& request, Response& response) {
  auto session = app.Guard(request, response);
  if (!session) return;
  const auto id = Id(request.matches[1]);
  CallResult call;
  std::optional<AlertHeader> alert;
  if (id) alert = ReadAlert(*session, *id, call);
  if (!alert) {
    app.RenderError(response, call.Code() ? 500 : 404,
                    call.Code() ? FailureMessage("Reading the alert", "AlertHdrGet", call)
                                : "There is no such alert.",
                    session.get());
    return;
  }
  if (alert->description.empty() && alert->metadata.empty()) {
    app.RenderError(response, 404, "There is no alert " + std::to_string(*id) + ".", session.get());
    return;
  }
  const std::string query = CanonicalQuery(QueryFromAlertMetadata(alert->metadata));
  CallResult schedule =
      CallReports(*session, "AlertScheduleGet", {com::Variant(std::to_string(*id)), Out()});
  const auto statuses = AlertStatuses(app.DatabaseConnectionString());
  auto status = statuses.find(std::to_string(*id));
  nlohmann::json days = nlohmann::json::array();
  for (std::size_t day = 0; day < kDayNames.size(); ++day) {
    days.push_back({{"value", std::to_string(day)},
                    {"name", kDayNames[day]},
                    {"weekday", day >= 1 && day <= 5}});
  }
  nlohmann::json page{{"title", "Alert " + std::to_string(*id)},
                      {"id", std::to_string(*id)},
                      {"description", alert->description},
                      {"query", query},
                      {"active", status != statuses.end() && status->second == 1},
                      {"recipients", schedule.Code() == 0 ? Rows(schedule.Text(1), "ALERTRECIPIENT")
                                                          : nlohmann::json::array()},
                      {"days", days}};
  if (schedule.Code() != 0) {
    page["error"] = FailureMessage("Reading the recipients", "AlertScheduleGet", schedule);
  }
  app.Render(response, "alert", page, session.get());
}

// Runs `change` for the alert named in the path and goes back to its page with a notice.
template <typename Change>
void ChangeAlert(WebApp& app, const Request& request, Response& response, Change change) {
  auto session = app.Guard(request, response);
  if (!session || !app.CheckCsrf(request, response, *session)) return;
  const auto id = Id(request.matches[1]);
  if (!id) {
    app.RenderError(response, 404, "There is no such alert.", session.get());
    return;
  }
  // The list's buttons come back to the list, the alert page's to the alert.
  std::string location =
      Param(request, "back") == "list" ? "/alerts" : "/alerts/" + std::to_string(*id);
  auto [ok, notice] = change(*session, *id, location);
  WebApp::RedirectWithNotice(response, *session, location, notice, !ok);
}

std::pair<bool, std::string> Outcome(const CallResult& call, const std::string& what,
                                     const std::string& method, const std::string& done) {
  if (call.Code() != 0) return {false, FailureMessage(what, method, call)};
  return {true, done};
}

bool ValidTime(const std::string& text) {
  return text.size() == 5 && text[2] == ':' && !IsoDateTime("2000-01-01T" + text, false).empty();
}

std::pair<bool, std::string> AddRecipient(const Request& request, Session& session,
                                          std::int32_t id) {
  const std::string email = Param(request, "email");
  if (email.size() > 50 || email.find('@') == std::string::npos ||
      email.find_first_of(" <>\"\r\n,;") != std::string::npos) {
    return {false, "Enter one e-mail address of at most 50 characters."};
  }
  std::string start, end;
  if (Param(request, "wholeday") != "1") {
    start = Param(request, "start");
    end = Param(request, "end");
    if (!ValidTime(start) || !ValidTime(end)) {
      return {false, "Enter the daily window as two times (hh:mm), or choose the whole day."};
    }
  }
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("AlertRecipient");
  root.append_attribute("AlertRecipientID") = "";
  root.append_attribute("AlertHdrID") = std::to_string(id).c_str();
  root.append_attribute("Email") = email.c_str();
  root.append_attribute("ScheduleStartTime") = start.c_str();
  root.append_attribute("ScheduleEndTime") = end.c_str();
  int chosen = 0;
  auto [first, last] = request.params.equal_range("day");
  for (std::size_t day = 0; day < kDayNames.size(); ++day) {
    for (auto it = first; it != last; ++it) {
      if (it->second != std::to_string(day)) continue;
      pugi::xml_node node = root.append_child("SCHEDULEDAY");
      node.append_attribute("DayName") = kDayNames[day];
      // Days are numbered 1 = Sunday to 7 = Saturday, as the alert sender reads the day mask.
      node.append_attribute("DayValue") = static_cast<int>(day) + 1;
      ++chosen;
      break;
    }
  }
  if (chosen == 0) return {false, "Choose at least one day of the week."};
  std::ostringstream xml;
  document.save(xml, "", pugi::format_raw | pugi::format_no_declaration);
  CallResult call = CallReports(session, "AlertRecipientUpdate", {com::Variant(xml.str())});
  return Outcome(call, "Adding the recipient", "AlertRecipientUpdate",
                 "Recipient " + email + " added.");
}

}  // namespace

void RegisterReportAndAlertPages(WebApp& app) {
  httplib::Server& server = app.Server();
  server.Get("/reports", [&app](const Request& q, Response& r) { ListReports(app, q, r); });
  server.Post("/reports", [&app](const Request& q, Response& r) { SaveReport(app, q, r); });
  server.Get(R"(/reports/(\d+))", [&app](const Request& q, Response& r) { OpenReport(app, q, r); });
  server.Post(R"(/reports/(\d+)/delete)",
              [&app](const Request& q, Response& r) { DeleteReport(app, q, r); });

  server.Get("/alerts", [&app](const Request& q, Response& r) { ListAlerts(app, q, r); });
  server.Post("/alerts", [&app](const Request& q, Response& r) { CreateAlert(app, q, r); });
  server.Get(R"(/alerts/(\d+))", [&app](const Request& q, Response& r) { ShowAlert(app, q, r); });
  server.Post(R"(/alerts/(\d+)/describe)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string&) {
      CallResult read;
      auto alert = ReadAlert(session, id, read);
      if (!alert) return Outcome(read, "Reading the alert", "AlertHdrGet", "");
      const auto statuses = AlertStatuses(app.DatabaseConnectionString());
      auto status = statuses.find(std::to_string(id));
      CallResult call = SaveAlert(session, id, Param(q, "description"), alert->metadata,
                                  status != statuses.end() && status->second == 1);
      return Outcome(call, "Saving the alert", "AlertHdrUpdate", "Description saved.");
    });
  });
  server.Post(R"(/alerts/(\d+)/filter)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string&) {
      CallResult read;
      auto alert = ReadAlert(session, id, read);
      if (!alert) return Outcome(read, "Reading the alert", "AlertHdrGet", "");
      QueryParams params;
      httplib::detail::parse_query_text(Param(q, "query"), params);
      const auto statuses = AlertStatuses(app.DatabaseConnectionString());
      auto status = statuses.find(std::to_string(id));
      CallResult call =
          SaveAlert(session, id, alert->description, LogFilter::Parse(params).AlertMetadata(),
                    status != statuses.end() && status->second == 1);
      return Outcome(call, "Saving the alert's filter", "AlertHdrUpdate", "Filter saved.");
    });
  });
  server.Post(R"(/alerts/(\d+)/status)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string&) {
      const bool activate = Param(q, "status") == "1";
      CallResult call = CallReports(
          session, "AlertHdrSetStatus",
          {com::Variant(id), com::Variant(static_cast<std::int16_t>(activate ? 1 : 0))});
      return Outcome(call, activate ? "Activating the alert" : "Deactivating the alert",
                     "AlertHdrSetStatus", activate ? "Alert activated." : "Alert deactivated.");
    });
  });
  server.Post(R"(/alerts/(\d+)/delete)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string& location) {
      CallResult call = CallReports(session, "AlertDelete", {com::Variant(id)});
      if (call.Code() == 0) location = "/alerts";
      return Outcome(call, "Deleting the alert", "AlertDelete", "Alert deleted.");
    });
  });
  server.Post(R"(/alerts/(\d+)/recipients)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string&) {
      return AddRecipient(q, session, id);
    });
  });
  server.Post(R"(/alerts/(\d+)/recipients/(\d+)/delete)", [&app](const Request& q, Response& r) {
    ChangeAlert(app, q, r, [&](Session& session, std::int32_t id, std::string&) {
      const auto recipient = Id(q.matches[2]);
      CallResult call = CallReports(session, "AlertRecipientRemove",
                                    {com::Variant(id), com::Variant(recipient.value_or(0))});
      return Outcome(call, "Removing the recipient", "AlertRecipientRemove", "Recipient removed.");
    });
  });
}

}  // namespace tamsel::web
