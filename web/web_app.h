// TamselWeb's core: the HTTP server and what every page shares (sessions, sign-in guard,
// CSRF check, security headers, rendering with the layout, component calls and the message
// for a result code that is not 0). The pages register their routes on it.
#pragma once

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "web/apartment.h"
#include "web/sessions.h"
#include "web/templates.h"

namespace tamsel::web {

inline constexpr const char* kReports = "TamselReportsCom.Reports";
inline constexpr const char* kAppAdmin = "TamselReportsCom.AppAdmin";

struct WebOptions {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::filesystem::path library;    // libTamselReportsCom.so; AppConfig.xml lies beside it
  std::filesystem::path resources;  // the folder holding templates/ and static/
  int threads = 48;
  std::chrono::seconds idleTimeout{30 * 60};
};

// The component's answer for the user: what failed and why, never a blank page.
std::string FailureMessage(const std::string& what, const std::string& method,
                           const CallResult& call);

class WebApp {
 public:
  explicit WebApp(WebOptions options);
  ~WebApp();

  // Binds and serves until Stop(); false when the address cannot be bound.
  bool Listen();
  void Stop();
  int BoundPort() const { return boundPort_; }

  // --- For the pages ---
  httplib::Server& Server() { return server_; }
  const WebOptions& Options() const { return options_; }

  // The session of a signed-in user, or nothing after answering: a redirect to /login for a
  // page (401 for a script's request), 403 for a page of administrators only.
  std::shared_ptr<Session> Guard(const httplib::Request& request, httplib::Response& response,
                                 bool administratorsOnly = false);
  // A POST must carry the session's CSRF token; answers 403 and returns false otherwise.
  bool CheckCsrf(const httplib::Request& request, httplib::Response& response,
                 const Session& session);

  // Renders `page` inside the layout.
  void Render(httplib::Response& response, const std::string& page, nlohmann::json data,
              const Session* session, int status = 200);
  void RenderData(httplib::Response& response, const std::string& page, TemplateData data,
                  const Session* session, int status = 200);
  // An error page: the message and, when signed in, the layout around it.
  void RenderError(httplib::Response& response, int status, const std::string& message,
                   const Session* session);
  // After a change, back to `location` with a message shown once.
  static void RedirectWithNotice(httplib::Response& response, Session& session,
                                 const std::string& location, const std::string& notice,
                                 bool error = false);

  // A call on the login apartment (no session yet).
  CallResult CallAnonymous(const std::string& method, platform::com::Arguments args);

  SessionStore& Sessions() { return sessions_; }
  LoginThrottle& Throttle() { return throttle_; }

  // The connection string the component builds from its AppConfig.xml, for the streamed
  // export and the status counts, which read the database through platform/data.
  std::string DatabaseConnectionString() const;

 private:
  void InstallCommonHandlers();

  WebOptions options_;
  httplib::Server server_;
  Templates templates_;
  SessionStore sessions_;
  LoginThrottle throttle_;
  std::unique_ptr<Apartment> loginApartment_;
  int boundPort_ = 0;
};

// Value of a request parameter, "" when absent.
std::string Param(const httplib::Request& request, const std::string& name);
// The session cookie's value, "" when absent.
std::string SessionCookie(const httplib::Request& request);
// `text` split at "<br>" (any case): the lines of a message as the collector stored it.
std::vector<std::string> MessageLines(const std::string& text);

void RegisterLoginPages(WebApp& app);
void RegisterStatusPage(WebApp& app);
void RegisterLogPages(WebApp& app);
void RegisterReportAndAlertPages(WebApp& app);
void RegisterAdminPages(WebApp& app);

}  // namespace tamsel::web
