// The administration pages, for administrators only: /exclusions (servers × event types),
// /servers (add, disable, delete, purge in batches) and /users (add, edit, password, delete).
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <set>
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

constexpr int kFullBatch = 0;  // LogEntryTop1000Delete / LogEntriesClear: more may remain

std::optional<std::int32_t> PathId(const Request& request, std::size_t index = 1) {
  const std::string text = request.matches[index];
  if (text.empty() || text.size() > 9) return std::nullopt;
  return std::stoi(text);
}

// A count through platform/data; -1 when it cannot be read.
long long Count(const std::string& connectionString, const std::string& sql,
                const std::string& argument = {}) {
  try {
    platform::data::Connection connection;
    connection.Open(connectionString);
    auto statement = connection.GetSession().Prepare(sql);
    if (!argument.empty()) statement.BindText(1, argument);
    long long count = statement.Step() ? statement.Int64(0) : 0;
    connection.Close();
    return count;
  } catch (const com::ComError&) {
    return -1;
  }
}

std::string DocumentText(const pugi::xml_document& document) {
  std::ostringstream out;
  document.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

using AdminHandler = std::function<void(Session&, const Request&, Response&)>;

// Administrators only; a POST also needs the session's CSRF token.
httplib::Server::Handler Admin(WebApp& app, AdminHandler handler, bool post) {
  return [&app, handler, post](const Request& request, Response& response) {
    auto session = app.Guard(request, response, true);
    if (!session || (post && !app.CheckCsrf(request, response, *session))) return;
    handler(*session, request, response);
  };
}

void Back(Response& response, Session& session, const std::string& location, const CallResult& call,
          const std::string& what, const std::string& method, const std::string& done) {
  if (call.Code() != 0) {
    WebApp::RedirectWithNotice(response, session, location, FailureMessage(what, method, call),
                               true);
  } else {
    WebApp::RedirectWithNotice(response, session, location, done);
  }
}

// --- Exclusions ---

bool Checked(const std::string& flag) {
  return flag == "1" || flag == "-1" || flag == "True" || flag == "true";
}

void ShowExclusions(WebApp& app, Session& session, const Request&, Response& response) {
  CallResult grid = CallReports(session, "EventExclusionGridXmlGet", {Out()});
  nlohmann::json page{{"title", "Exclusions"},
                      {"types", nlohmann::json::array()},
                      {"servers", nlohmann::json::array()}};
  if (grid.Code() != 0) {
    page["error"] = FailureMessage("Reading the exclusions", "EventExclusionGridXmlGet", grid);
  }
  pugi::xml_document document;
  document.load_string(grid.Text(0).c_str());
  for (pugi::xml_node server : document.document_element().children("SERVER")) {
    nlohmann::json row{{"name", server.attribute("ServerName").value()},
                       {"cells", nlohmann::json::array()}};
    for (pugi::xml_node type : server.children("EVENTTYPE")) {
      if (page["servers"].empty()) page["types"].push_back(type.attribute("EventTypeName").value());
      row["cells"].push_back({{"value", std::string(server.attribute("ServerID").value()) + ":" +
                                            type.attribute("EventTypeID").value()},
                              {"label", std::string(server.attribute("ServerName").value()) + " " +
                                            type.attribute("EventTypeName").value()},
                              {"checked", Checked(type.attribute("IsChecked").value())}});
    }
    page["servers"].push_back(row);
  }
  page["none"] = page["servers"].empty();
  app.Render(response, "exclusions", page, &session);
}

void SubmitExclusions(Session& session, const Request& request, Response& response) {
  // The change is worked out against the grid as it is now, so a stale page cannot undo
  // another administrator's change to cells this form did not touch... except by showing them.
  CallResult grid = CallReports(session, "EventExclusionGridXmlGet", {Out()});
  if (grid.Code() != 0) {
    Back(response, session, "/exclusions", grid, "Reading the exclusions",
         "EventExclusionGridXmlGet", "");
    return;
  }
  std::set<std::string> wanted;
  auto [first, last] = request.params.equal_range("x");
  for (auto it = first; it != last; ++it) wanted.insert(it->second);
  pugi::xml_document removals, additions;
  pugi::xml_node removeRoot = removals.append_child("ROOT");
  pugi::xml_node addRoot = additions.append_child("ROOT");
  pugi::xml_document current;
  current.load_string(grid.Text(0).c_str());
  int changes = 0;
  for (pugi::xml_node server : current.document_element().children("SERVER")) {
    for (pugi::xml_node type : server.children("EVENTTYPE")) {
      const std::string key = std::string(server.attribute("ServerID").value()) + ":" +
                              type.attribute("EventTypeID").value();
      const bool now = Checked(type.attribute("IsChecked").value());
      const bool want = wanted.count(key) > 0;
      if (now == want) continue;
      pugi::xml_node node = (want ? addRoot : removeRoot).append_child("NODE");
      node.append_attribute("ServerID") = server.attribute("ServerID").value();
      node.append_attribute("EventTypeID") = type.attribute("EventTypeID").value();
      ++changes;
    }
  }
  CallResult call = CallReports(
      session, "ExclusionListSubmit",
      {com::Variant(DocumentText(removals)), com::Argument(com::Variant(DocumentText(additions)))});
  Back(response, session, "/exclusions", call, "Saving the exclusions", "ExclusionListSubmit",
       changes == 0 ? "Nothing changed." : std::to_string(changes) + " exclusion(s) changed.");
}

// --- Servers ---

void ShowServers(WebApp& app, Session& session, const Request&, Response& response) {
  CallResult list = CallReports(session, "ServerListGet", {Out()});
  nlohmann::json servers =
      list.Code() == 0 ? Rows(list.Text(0), "ELSERVER") : nlohmann::json::array();
  std::map<std::string, std::pair<std::string, int>> stored;  // id -> (entries, status)
  try {
    platform::data::Connection connection;
    connection.Open(app.DatabaseConnectionString());
    auto rows = connection.Execute(
        "SELECT s.ELServerID AS ID, s.Status AS Status, "
        "(SELECT COUNT(*) FROM LogEntry le WHERE le.ELServerID = s.ELServerID) AS Entries "
        "FROM ELServer s");
    for (; !rows.IsEOF(); rows.MoveNext()) {
      stored[rows["ID"].CStr()] = {rows["Entries"].CStr(), rows["Status"].CLng()};
    }
    connection.Close();
  } catch (const com::ComError&) {
    // Counts are a help; the list stands without them.
  }
  for (auto& server : servers) {
    auto it = stored.find(server.value("ELServerID", ""));
    server["entries"] = it == stored.end() ? "?" : it->second.first;
    server["active"] = it != stored.end() && it->second.second == 1;
  }
  nlohmann::json page{{"title", "Servers"}, {"servers", servers}, {"none", servers.empty()}};
  if (list.Code() != 0)
    page["error"] = FailureMessage("Listing the servers", "ServerListGet", list);
  app.Render(response, "servers", page, &session);
}

void AddServer(Session& session, const Request& request, Response& response) {
  const std::string xml =
      ElementXml("ELSERVER", {{"ELServerName", Param(request, "name")},
                              {"ELServerDescription", Param(request, "description")}});
  CallResult call = CallReports(session, "ServerAdd", {com::Argument(com::Variant(xml))});
  Back(response, session, "/servers", call, "Adding the server", "ServerAdd",
       "Server " + Param(request, "name") + " added.");
}

// One purge batch. A script's request gets JSON for its progress bar; a plain form post goes
// back to the page with a notice.
void PurgeBatch(WebApp& app, Session& session, const Request& request, Response& response,
                const std::string& method, com::Variant argument, const std::string& countSql,
                const std::string& countArgument) {
  const std::string connection = app.DatabaseConnectionString();
  const long long before = Count(connection, countSql, countArgument);
  CallResult call = CallReports(session, method, {std::move(argument)});
  const long long after = Count(connection, countSql, countArgument);
  const bool failed = call.Code() != 0 && call.Code() != 1;
  const bool done = call.Code() == 1;
  const long long deleted = before >= 0 && after >= 0 ? before - after : 0;
  if (request.get_header_value("X-Requested-With") == "fetch") {
    if (failed) {
      response.status = 500;
      response.set_content(FailureMessage("Purging", method, call), "text/plain; charset=utf-8");
      return;
    }
    response.set_content(nlohmann::json{{"done", done}, {"deleted", deleted}}.dump(),
                         "application/json");
    return;
  }
  if (failed) {
    WebApp::RedirectWithNotice(response, session, "/servers",
                               FailureMessage("Purging", method, call), true);
    return;
  }
  WebApp::RedirectWithNotice(
      response, session, "/servers",
      std::to_string(deleted) + " entries deleted" +
          (call.Code() == kFullBatch ? "; more remain, purge again." : "; none remain."));
}

// --- Users ---

nlohmann::json Roles(Session& session, const std::string& selected) {
  CallResult roles =
      CallReports(session, "TwoFieldListFromDBGet", {com::Variant("AppRoleNameListGet"), Out()});
  nlohmann::json options = nlohmann::json::array();
  for (const auto& row : Rows(roles.Text(1), "NODE")) {
    options.push_back({{"id", row.value("Field0", "")},
                       {"name", row.value("Field1", "")},
                       {"selected", row.value("Field0", "") == selected}});
  }
  return options;
}

// The user's fields a page may show: never the stored password.
nlohmann::json UserView(const nlohmann::json& row) {
  return {{"id", row.value("AppUserID", "")},           {"name", row.value("AppUserName", "")},
          {"first", row.value("AppUserFirstName", "")}, {"last", row.value("AppUserLastName", "")},
          {"roleId", row.value("AppRoleID", "")},       {"role", row.value("AppRoleName", "")}};
}

void ShowUsers(WebApp& app, Session& session, const Request&, Response& response) {
  CallResult list = CallAppAdmin(session, "AppUserListGet", {Out()});
  nlohmann::json users = nlohmann::json::array();
  for (const auto& row : list.Code() == 0 ? Rows(list.Text(0), "USER") : nlohmann::json::array()) {
    nlohmann::json user = UserView(row);
    user["self"] = user["id"] == std::to_string(session.userId);
    users.push_back(user);
  }
  nlohmann::json page{{"title", "Users"}, {"users", users}, {"roles", Roles(session, "2")}};
  if (list.Code() != 0) page["error"] = FailureMessage("Listing the users", "AppUserListGet", list);
  app.Render(response, "users", page, &session);
}

void ShowUser(WebApp& app, Session& session, const Request& request, Response& response) {
  const auto id = PathId(request);
  CallResult info = CallAppAdmin(session, "AppUserInfoGet", {com::Variant(id.value_or(0)), Out()});
  nlohmann::json user = UserView(RootAttributes(info.Text(1)));
  if (info.Code() != 0 || user["id"] == "") {
    app.RenderError(response, info.Code() ? 500 : 404,
                    info.Code() ? FailureMessage("Reading the user", "AppUserInfoGet", info)
                                : "There is no such user.",
                    &session);
    return;
  }
  app.Render(response, "user",
             {{"title", "User " + user["name"].get<std::string>()},
              {"user", user},
              {"roles", Roles(session, user["roleId"])}},
             &session);
}

void AddUser(Session& session, const Request& request, Response& response) {
  if (Param(request, "password") != Param(request, "password2")) {
    WebApp::RedirectWithNotice(response, session, "/users", "The two passwords differ.", true);
    return;
  }
  const std::string xml = ElementXml("UserInfo", {{"AppUserName", Param(request, "username")},
                                                  {"AppUserFirstName", Param(request, "first")},
                                                  {"AppUserLastName", Param(request, "last")},
                                                  {"AppUserPassword", Param(request, "password")},
                                                  {"AppRoleID", Param(request, "role")}});
  // The answer echoes the password; it is dropped with the call's result.
  CallResult call = CallAppAdmin(session, "AppUserAdd", {com::Argument(com::Variant(xml))});
  Back(response, session, "/users", call, "Adding the user", "AppUserAdd",
       "User " + Param(request, "username") + " added.");
}

void EditUser(Session& session, const Request& request, Response& response) {
  const auto id = PathId(request);
  // An asterisk in the password asks the component to keep the stored one.
  const std::string xml = ElementXml("UserInfo", {{"AppUserID", std::to_string(id.value_or(0))},
                                                  {"AppUserFirstName", Param(request, "first")},
                                                  {"AppUserLastName", Param(request, "last")},
                                                  {"AppUserPassword", "********"},
                                                  {"AppRoleID", Param(request, "role")}});
  CallResult call = CallAppAdmin(session, "AppUserEdit", {com::Variant(xml)});
  Back(response, session, "/users/" + std::to_string(id.value_or(0)), call, "Saving the user",
       "AppUserEdit", "User saved.");
}

void ChangePassword(Session& session, const Request& request, Response& response) {
  const auto id = PathId(request);
  const std::string location = "/users/" + std::to_string(id.value_or(0));
  if (Param(request, "password") != Param(request, "password2") ||
      Param(request, "password").empty()) {
    WebApp::RedirectWithNotice(response, session, location, "Enter the same new password twice.",
                               true);
    return;
  }
  const std::string xml = ElementXml("UserInfo", {{"AppUserID", std::to_string(id.value_or(0))},
                                                  {"AppUserPassword", Param(request, "password")}});
  CallResult call = CallAppAdmin(session, "AppUserPasswordChange", {com::Variant(xml)});
  Back(response, session, location, call, "Changing the password", "AppUserPasswordChange",
       "Password changed.");
}

void DeleteUser(Session& session, const Request& request, Response& response) {
  const auto id = PathId(request);
  if (id == session.userId) {
    WebApp::RedirectWithNotice(response, session, "/users",
                               "You cannot delete the user you are signed in as.", true);
    return;
  }
  CallResult call = CallAppAdmin(session, "AppUserDelete", {com::Variant(id.value_or(0))});
  Back(response, session, "/users", call, "Deleting the user", "AppUserDelete", "User deleted.");
}

}  // namespace

void RegisterAdminPages(WebApp& app) {
  httplib::Server& server = app.Server();
  using namespace std::placeholders;
  server.Get("/exclusions",
             Admin(app, std::bind(ShowExclusions, std::ref(app), _1, _2, _3), false));
  server.Post("/exclusions", Admin(app, SubmitExclusions, true));

  server.Get("/servers", Admin(app, std::bind(ShowServers, std::ref(app), _1, _2, _3), false));
  server.Post("/servers", Admin(app, AddServer, true));
  server.Post(R"(/servers/(\d+)/disable)",
              Admin(
                  app,
                  [](Session& s, const Request& q, Response& r) {
                    CallResult call =
                        CallReports(s, "ServerDisable", {com::Variant(PathId(q).value_or(0))});
                    Back(r, s, "/servers", call, "Disabling the server", "ServerDisable",
                         "Server disabled.");
                  },
                  true));
  server.Post(
      R"(/servers/(\d+)/delete)",
      Admin(
          app,
          [](Session& s, const Request& q, Response& r) {
            CallResult call = CallReports(s, "ServerDelete", {com::Variant(PathId(q).value_or(0))});
            Back(r, s, "/servers", call, "Deleting the server", "ServerDelete", "Server deleted.");
          },
          true));
  server.Post(R"(/servers/(\d+)/purge)",
              Admin(
                  app,
                  [&app](Session& s, const Request& q, Response& r) {
                    const std::int32_t id = PathId(q).value_or(0);
                    PurgeBatch(
                        app, s, q, r, "LogEntryTop1000Delete", com::Variant(id),
                        "SELECT COUNT(*) FROM LogEntry WHERE ELServerID = CAST(?1 AS INTEGER)",
                        std::to_string(id));
                  },
                  true));
  server.Post("/servers/purge-older",
              Admin(
                  app,
                  [&app](Session& s, const Request& q, Response& r) {
                    const std::string before = IsoDateTime(Param(q, "before"), false);
                    if (before.empty()) {
                      WebApp::RedirectWithNotice(r, s, "/servers", "Enter the date as yyyy-mm-dd.",
                                                 true);
                      return;
                    }
                    PurgeBatch(app, s, q, r, "LogEntriesClear", com::Variant(before),
                               "SELECT COUNT(*) FROM LogEntry WHERE TimeGenerated < ?1", before);
                  },
                  true));

  server.Get("/users", Admin(app, std::bind(ShowUsers, std::ref(app), _1, _2, _3), false));
  server.Post("/users", Admin(app, AddUser, true));
  server.Get(R"(/users/(\d+))", Admin(app, std::bind(ShowUser, std::ref(app), _1, _2, _3), false));
  server.Post(R"(/users/(\d+))", Admin(app, EditUser, true));
  server.Post(R"(/users/(\d+)/password)", Admin(app, ChangePassword, true));
  server.Post(R"(/users/(\d+)/delete)", Admin(app, DeleteUser, true));
}

}  // namespace tamsel::web
