// The HTTP server and what every page shares.
#include "web/web_app.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <pugixml.hpp>

#include "platform/com/create_object.h"

namespace tamsel::web {

namespace {

namespace com = platform::com;

constexpr const char* kCookieName = "tamsel_session";

// Scripts and styles only from our own static files; no inline script can run.
constexpr const char* kContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; "
    "frame-ancestors 'none'";

std::string Reason(const std::string& method, std::int32_t code) {
  // Codes the database's procedures answer, in the administrator's terms.
  static const std::map<std::int32_t, std::string> procedureCodes = {
      {10, "the user name is empty or longer than 50 characters"},
      {11, "another user already has that name"},
      {12, "there is no such user"},
      {14, "there is no such role"},
      {15, "the user name or the password is wrong"},
      {20, "the server name is empty or longer than 50 characters"},
      {21, "an active server already has that name"},
      {22, "there is no such server"},
      {23, "the server still has stored entries; purge them first"},
      {24, "no time was given"},
      {30, "a server or event type is missing"},
      {31, "there is no such event type"},
  };
  const bool userMethod = method.rfind("AppUser", 0) == 0;
  if (userMethod && code == 13) return "a password is required";
  if (auto it = procedureCodes.find(code); it != procedureCodes.end()) return it->second;
  switch (code) {
    case -102:
      return "the call ran without a transaction";
    case -103:
      return "the component's AppConfig.xml cannot be loaded";
    case 1:
      return "nothing was listed";
    case 5:
      return "an argument was refused";
    case 6:
      return "a number is out of range";
    case 11:
      return "a division by zero (page size 0)";
    case 13:
      return "a value has the wrong type";
    case 91:
      return "an expected document or element is missing";
    case 94:
      return "a required value is missing";
    case 203:
      return "no entries match";
    default:
      break;
  }
  if (code < 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    return std::string("the database or its provider reported error ") + hex;
  }
  return "the database refused the change";
}

}  // namespace

std::string FailureMessage(const std::string& what, const std::string& method,
                           const CallResult& call) {
  const std::int32_t code = call.Code();
  std::string text = what + " failed: ";
  if (call.raised) {
    text += "the component could not be called (" + call.errorDescription + ")";
  } else {
    text += Reason(method, code);
  }
  return text + " [" + method + " answered " + std::to_string(code) + "].";
}

std::string Param(const httplib::Request& request, const std::string& name) {
  return request.has_param(name.c_str()) ? request.get_param_value(name.c_str()) : std::string();
}

std::string SessionCookie(const httplib::Request& request) {
  const std::string cookies = request.get_header_value("Cookie");
  const std::string key = std::string(kCookieName) + "=";
  std::size_t at = 0;
  while (at < cookies.size()) {
    while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
    std::size_t end = cookies.find(';', at);
    if (end == std::string::npos) end = cookies.size();
    if (cookies.compare(at, key.size(), key) == 0) {
      return cookies.substr(at + key.size(), end - at - key.size());
    }
    at = end;
  }
  return {};
}

std::vector<std::string> MessageLines(const std::string& text) {
  auto isBreak = [&](std::size_t at) {
    return at + 4 <= text.size() && text[at] == '<' && (text[at + 1] | 0x20) == 'b' &&
           (text[at + 2] | 0x20) == 'r' && text[at + 3] == '>';
  };
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    if (!isBreak(at)) continue;
    lines.push_back(text.substr(from, at - from));
    from = at + 4;
    at += 3;
  }
  lines.push_back(text.substr(from));
  return lines;
}

WebApp::WebApp(WebOptions options)
    : options_(std::move(options)),
      templates_(options_.resources / "templates"),
      sessions_(options_.idleTimeout),
      throttle_(5, std::chrono::seconds(300)),
      loginApartment_(std::make_unique<Apartment>()) {
  // The host registers the component it was given, as an installer would.
  const com::HRESULT hr = com::CallServerEntry(options_.library, "DllRegisterServer");
  if (com::FAILED(hr)) {
    throw std::runtime_error("cannot register " + options_.library.string() + ": " +
                             com::LastLoadError());
  }
  InstallCommonHandlers();
  RegisterLoginPages(*this);
  RegisterStatusPage(*this);
  RegisterLogPages(*this);
  RegisterReportAndAlertPages(*this);
  RegisterAdminPages(*this);
}

WebApp::~WebApp() { Stop(); }

void WebApp::InstallCommonHandlers() {
  const int threads = std::clamp(options_.threads, 32, 64);
  server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server_.set_tcp_nodelay(true);
  server_.set_keep_alive_timeout(2);
  server_.set_keep_alive_max_count(10000);
  server_.set_payload_max_length(1 << 20);
  server_.set_read_timeout(10);
  server_.set_default_headers({
      {"Content-Security-Policy", kContentSecurityPolicy},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "same-origin"},
  });
  server_.set_mount_point("/static", (options_.resources / "static").string());
  server_.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/logs");
  });
  server_.set_error_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 404) {
      auto session = sessions_.Find(SessionCookie(request));
      RenderError(response, 404, "There is no page at " + request.path + ".", session.get());
    }
  });
  server_.set_exception_handler(
      [this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        RenderError(response, 500, "The page could not be built; the server logged nothing more.",
                    nullptr);
      });
}

bool WebApp::Listen() {
  if (options_.port == 0) {
    boundPort_ = server_.bind_to_any_port(options_.host);
    if (boundPort_ <= 0) return false;
  } else {
    if (!server_.bind_to_port(options_.host, options_.port)) return false;
    boundPort_ = options_.port;
  }
  std::printf("TamselWeb listening on http://%s:%d/\n", options_.host.c_str(), boundPort_);
  std::fflush(stdout);
  return server_.listen_after_bind();
}

void WebApp::Stop() { server_.stop(); }

std::shared_ptr<Session> WebApp::Guard(const httplib::Request& request, httplib::Response& response,
                                       bool administratorsOnly) {
  auto session = sessions_.Find(SessionCookie(request));
  if (!session) {
    if (request.get_header_value("X-Requested-With") == "fetch") {
      response.status = 401;
      response.set_content("Signed out", "text/plain");
    } else {
      std::string target = request.path;
      if (request.method == "GET" && !request.params.empty()) {
        target = request.target;
      }
      response.set_redirect("/login?next=" + httplib::detail::encode_query_param(target));
    }
    return nullptr;
  }
  if (administratorsOnly && !session->IsAdministrator()) {
    RenderError(response, 403, "This page is for administrators only.", session.get());
    return nullptr;
  }
  return session;
}

bool WebApp::CheckCsrf(const httplib::Request& request, httplib::Response& response,
                       const Session& session) {
  if (SameSecret(Param(request, "csrf"), session.csrf)) return true;
  RenderError(response, 403,
              "The form was refused: it did not carry this session's security token. Reload the "
              "page and try again.",
              &session);
  return false;
}

void WebApp::Render(httplib::Response& response, const std::string& page, nlohmann::json data,
                    const Session* session, int status) {
  RenderData(response, page, ToTemplateData(data), session, status);
}

void WebApp::RenderData(httplib::Response& response, const std::string& page, TemplateData data,
                        const Session* session, int status) {
  // The layout gets only what it shows; the page's data is not copied into it.
  const TemplateData* title = data.get("title");
  TemplateData layout{TemplateData::type::object};
  layout["title"] =
      title && title->is_string() ? TemplateData(title->string_value()) : TemplateData(false);
  layout["signedIn"] = TemplateData(session != nullptr);
  if (session) {
    layout["user"] = TemplateText(session->userName);
    layout["isAdmin"] = TemplateData(session->IsAdministrator());
    layout["csrf"] = TemplateText(session->csrf);
    auto [notice, error] = const_cast<Session*>(session)->TakeNotice();
    if (!notice.empty()) {
      layout["notice"] = TemplateText(notice);
      layout["noticeError"] = TemplateData(error);
    }
    data["csrf"] = TemplateText(session->csrf);
    data["isAdmin"] = TemplateData(session->IsAdministrator());
  }
  layout["nav_" + page] = TemplateData(true);
  response.status = status;
  response.set_content(templates_.Render("layout", layout, templates_.Render(page, data)),
                       "text/html; charset=utf-8");
}

void WebApp::RenderError(httplib::Response& response, int status, const std::string& message,
                         const Session* session) {
  Render(response, "error",
         {{"title", status == 403   ? "Not allowed"
                    : status == 404 ? "Not found"
                                    : "Error"},
          {"message", message},
          {"status", std::to_string(status)}},
         session, status);
}

void WebApp::RedirectWithNotice(httplib::Response& response, Session& session,
                                const std::string& location, const std::string& notice,
                                bool error) {
  session.SetNotice(notice, error);
  session.ClearCache();  // a change may have added a server, a source or a role
  response.set_redirect(location, 303);
}

CallResult WebApp::CallAnonymous(const std::string& method, com::Arguments args) {
  return loginApartment_->Call(method, std::move(args));
}

std::string WebApp::DatabaseConnectionString() const {
  pugi::xml_document config;
  const auto file = options_.library.parent_path() / "AppConfig.xml";
  if (!config.load_file(file.c_str())) return {};
  pugi::xml_node database = config.document_element().child("DATABASE");
  std::string text = "Provider=SQLOLEDB;Data Source=";
  text += database.attribute("DBServer").value();
  text += ";Initial Catalog=";
  text += database.attribute("DBName").value();
  if (database.attribute("UseNTAuthentication").as_int() != 0) {
    text += ";TRUSTED_CONNECTION=YES";
  } else {
    text += ";user id=";
    text += database.attribute("DBUserName").value();
    text += ";password=";
    text += database.attribute("DBPassword").value();
  }
  return text;
}

}  // namespace tamsel::web
