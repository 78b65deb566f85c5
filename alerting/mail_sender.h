// Handing one message to the mail server. The outcome says whether anything may move: only a
// sent or a refused mail ends its entries' wait; a deferred one is tried again later.
#pragma once

#include <string>

#include "alerting/alert_settings.h"

namespace tamsel::alerting {

enum class SendOutcome {
  Sent,         // the server accepted the mail
  Refused,      // the server refused it for good (5xx): retrying cannot help
  Deferred,     // the server answered "not now" (4xx): try again next time
  Unreachable,  // no conversation with the server at all: back off
};

struct SendResult {
  SendOutcome outcome = SendOutcome::Unreachable;
  std::string answer;  // the server's last answer, or what failed before it answered
};

class MailSender {
 public:
  virtual ~MailSender() = default;
  virtual SendResult Send(const AlertSettings& settings, const std::string& from,
                          const std::string& to, const std::string& message) = 0;
};

// SMTP through libcurl, one connection per mail, with the security, port and login of the
// settings.
class SmtpMailSender : public MailSender {
 public:
  SmtpMailSender();
  ~SmtpMailSender() override;
  SendResult Send(const AlertSettings& settings, const std::string& from, const std::string& to,
                  const std::string& message) override;
};

}  // namespace tamsel::alerting
