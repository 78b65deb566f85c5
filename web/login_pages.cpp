// Sign-in and sign-out: AppUserLogIn decides, the session remembers user and role.
#include "web/web_app.h"
#include "web/xml_answer.h"

namespace tamsel::web {

namespace {

namespace com = platform::com;

constexpr const char* kLoginCookie = "tamsel_login";
constexpr int kLoginRefused = 15;

// Only a path of this site: never another origin ("//host", "https://...").
std::string SafeNext(const std::string& next) {
  if (next.size() < 2 || next[0] != '/' || next[1] == '/' || next[1] == '\\') return "/logs";
  if (next.find_first_of("\r\n") != std::string::npos) return "/logs";
  return next;
}

std::string LoginCookie(const httplib::Request& request) {
  const std::string cookies = request.get_header_value("Cookie");
  const std::string key = std::string(kLoginCookie) + "=";
  std::size_t at = cookies.find(key);
  if (at == std::string::npos || (at > 0 && cookies[at - 1] != ' ' && cookies[at - 1] != ';')) {
    return {};
  }
  at += key.size();
  return cookies.substr(at, cookies.find(';', at) - at);
}

void ShowLogin(WebApp& app, httplib::Response& response, const std::string& next,
               const std::string& userName, const std::string& error, int status) {
  // The sign-in form's own token, held in a cookie until the form comes back.
  const std::string token = RandomToken();
  response.set_header("Set-Cookie", std::string(kLoginCookie) + "=" + token +
                                        "; Path=/login; HttpOnly; SameSite=Strict");
  app.Render(response, "login",
             {{"title", "Sign in"},
              {"loginToken", token},
              {"next", next},
              {"username", userName},
              {"error", error}},
             nullptr, status);
}

void PostLogin(WebApp& app, const httplib::Request& request, httplib::Response& response) {
  const std::string userName = Param(request, "username");
  const std::string password = Param(request, "password");
  const std::string next = SafeNext(Param(request, "next"));
  if (!SameSecret(Param(request, "csrf"), LoginCookie(request))) {
    ShowLogin(app, response, next, userName, "The sign-in form had expired. Please sign in again.",
              403);
    return;
  }
  if (!app.Throttle().Allowed(request.remote_addr, userName)) {
    ShowLogin(app, response, next, userName,
              "Too many failed sign-ins. Wait a few minutes, then try again.", 429);
    return;
  }
  const std::string xml =
      ElementXml("Login", {{"AppUserName", userName}, {"AppUserPassword", password}});
  CallResult call = app.CallAnonymous(std::string(kAppAdmin) + ".AppUserLogIn",
                                      {com::Argument(com::Variant(xml))});
  if (call.Code() != 0) {
    if (!call.raised && call.Code() == kLoginRefused) {
      app.Throttle().Failed(request.remote_addr, userName);
      ShowLogin(app, response, next, userName, "The user name or the password is wrong.", 401);
    } else {
      ShowLogin(app, response, next, userName, FailureMessage("Signing in", "AppUserLogIn", call),
                500);
    }
    return;
  }
  const nlohmann::json answer = RootAttributes(call.Text(0));
  app.Throttle().Succeeded(userName);
  auto session = app.Sessions().Create(std::stoi(answer.value("AppUserID", "0")),
                                       std::stoi(answer.value("AppRoleID", "0")), userName);
  response.set_header("Set-Cookie",
                      "tamsel_session=" + session->token + "; Path=/; HttpOnly; SameSite=Strict");
  response.set_redirect(next, 303);
}

}  // namespace

void RegisterLoginPages(WebApp& app) {
  app.Server().Get("/login", [&app](const httplib::Request& request, httplib::Response& response) {
    if (app.Sessions().Find(SessionCookie(request))) {
      response.set_redirect(SafeNext(Param(request, "next")));
      return;
    }
    ShowLogin(app, response, SafeNext(Param(request, "next")), "", "", 200);
  });
  app.Server().Post("/login", [&app](const httplib::Request& request, httplib::Response& response) {
    try {
      PostLogin(app, request, response);
    } catch (const std::exception&) {
      ShowLogin(app, response, "/logs", "", "The answer of the sign-in could not be read.", 500);
    }
  });
  app.Server().Get("/logout", [&app](const httplib::Request& request, httplib::Response& response) {
    auto session = app.Guard(request, response);
    if (!session) return;
    app.Render(response, "logout", {{"title", "Sign out"}}, session.get());
  });
  app.Server().Post(
      "/logout", [&app](const httplib::Request& request, httplib::Response& response) {
        auto session = app.Guard(request, response);
        if (!session || !app.CheckCsrf(request, response, *session)) return;
        app.Sessions().Remove(session->token);
        response.set_header("Set-Cookie",
                            "tamsel_session=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        response.set_redirect("/login", 303);
      });
}

}  // namespace tamsel::web
