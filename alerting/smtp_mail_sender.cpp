// SmtpMailSender: one libcurl SMTP transfer per mail; the server's answers are watched to tell
// a refusal from a deferral from a server that cannot be reached.
#include <curl/curl.h>

#include <cstring>
#include <memory>

#include "alerting/mail_sender.h"

namespace tamsel::alerting {
namespace {

struct Upload {
  const std::string* message = nullptr;
  std::size_t offset = 0;
  std::string lastAnswer;  // the server's last reply line
  bool serverAnswered = false;
};

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  std::size_t room = size * count;
  std::size_t left = upload->message->size() - upload->offset;
  std::size_t chunk = std::min(room, left);
  std::memcpy(buffer, upload->message->data() + upload->offset, chunk);
  upload->offset += chunk;
  return chunk;
}

int WatchAnswers(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* upload = static_cast<Upload*>(user);
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  upload->lastAnswer = line;
  upload->serverAnswered = true;
  return 0;
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

SendOutcome Classify(CURLcode code, long response, bool serverAnswered) {
  if (code == CURLE_OK) return SendOutcome::Sent;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_LOGIN_DENIED:  // the settings must change before any mail can go
    case CURLE_USE_SSL_FAILED:
      return SendOutcome::Unreachable;
    default:
      break;
  }
  if (response >= 500 && response < 600) return SendOutcome::Refused;
  if (response >= 400 && response < 500) return SendOutcome::Deferred;
  // A conversation that broke off, or a server that never answered.
  return serverAnswered ? SendOutcome::Deferred : SendOutcome::Unreachable;
}

}  // namespace

SmtpMailSender::SmtpMailSender() { curl_global_init(CURL_GLOBAL_DEFAULT); }
SmtpMailSender::~SmtpMailSender() { curl_global_cleanup(); }

SendResult SmtpMailSender::Send(const AlertSettings& settings, const std::string& from,
                                const std::string& to, const std::string& message) {
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return {SendOutcome::Unreachable, "libcurl could not start a transfer"};
  const bool implicitTls = settings.smtpSecurity == "tls";
  const std::string url = std::string(implicitTls ? "smtps://" : "smtp://") + settings.smtpServer +
                          ":" + std::to_string(settings.smtpPort);
  Upload upload;
  upload.message = &message;
  std::unique_ptr<curl_slist, ListDeleter> recipients(
      curl_slist_append(nullptr, ("<" + to + ">").c_str()));
  char error[CURL_ERROR_SIZE] = {};
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, ("<" + from + ">").c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());
  // With several recipients one refusal must not stop the others (Debian 12's libcurl spells
  // the option this way).
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(h, CURLOPT_READDATA, &upload);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, WatchAnswers);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &upload);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);  // feeds WatchAnswers; nothing is printed
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, 120L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  if (settings.smtpSecurity == "starttls") curl_easy_setopt(h, CURLOPT_USE_SSL, CURLUSESSL_ALL);
  if (!settings.smtpUser.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, settings.smtpUser.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, settings.smtpPassword.c_str());
  }
  CURLcode code = curl_easy_perform(h);
  long response = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response);
  SendResult result;
  result.outcome = Classify(code, response, upload.serverAnswered);
  if (code == CURLE_OK) {
    result.answer = upload.lastAnswer;
  } else {
    result.answer = std::string(error[0] != '\0' ? error : curl_easy_strerror(code));
    if (upload.serverAnswered) result.answer += " (" + upload.lastAnswer + ")";
  }
  return result;
}

}  // namespace tamsel::alerting
