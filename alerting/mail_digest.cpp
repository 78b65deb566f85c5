// Building the digest message: subject, text and HTML parts, MIME structure.
#include "alerting/mail_digest.h"

#include <cctype>
#include <cstdio>

namespace tamsel::alerting {
namespace {

constexpr std::size_t kFirstLineLimit = 200;

std::string Base64(std::string_view data) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(data[i]) << 16 |
                 static_cast<unsigned char>(data[i + 1]) << 8 |
                 static_cast<unsigned char>(data[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kDigits[n >> shift & 63];
  }
  if (i < data.size()) {
    unsigned n = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) n |= static_cast<unsigned char>(data[i + 1]) << 8;
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += i + 1 < data.size() ? kDigits[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

// Base64 in lines of 76 characters, each ended by CRLF.
std::string Base64Lines(std::string_view data) {
  std::string encoded = Base64(data);
  std::string out;
  for (std::size_t at = 0; at < encoded.size(); at += 76) {
    out += encoded.substr(at, 76);
    out += "\r\n";
  }
  return out;
}

// Cuts after whole UTF-8 characters only.
std::size_t Utf8Cut(std::string_view text, std::size_t limit) {
  if (limit >= text.size()) return text.size();
  while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
  return limit;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string RfcDate(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  long offset = local.tm_gmtoff / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
  return text;
}

std::string EntryLine(const DigestEntry& entry) {
  return entry.timeGenerated + "  " + entry.server + "  " + entry.log + "  " + entry.type + "  " +
         entry.source + "  " + std::to_string(entry.eventId) + "  " + FirstLine(entry.message);
}

}  // namespace

bool IsValidAddress(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  const std::size_t at = address.find('@');
  if (at == 0 || at == std::string_view::npos || address.find('@', at + 1) != address.npos) {
    return false;
  }
  std::string_view local = address.substr(0, at);
  std::string_view domain = address.substr(at + 1);
  if (local.size() > 64 || local.front() == '.' || local.back() == '.' ||
      local.find("..") != local.npos) {
    return false;
  }
  static constexpr std::string_view kLocalPunctuation = "!#$%&'*+-/=?^_`{|}~.";
  for (char c : local) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && kLocalPunctuation.find(c) == local.npos) {
      return false;
    }
  }
  if (domain.empty() || domain.size() > 253) return false;
  std::size_t labelStart = 0;
  while (labelStart <= domain.size()) {
    std::size_t dot = domain.find('.', labelStart);
    std::string_view label =
        domain.substr(labelStart, dot == domain.npos ? domain.npos : dot - labelStart);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (char c : label) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    }
    if (dot == domain.npos) break;
    labelStart = dot + 1;
  }
  return true;
}

std::string FirstLine(std::string_view message) {
  std::size_t end = message.size();
  for (std::string_view stop : {"<br>", "<BR>", "\r", "\n"}) {
    end = std::min(end, message.find(stop));
  }
  std::string line(message.substr(0, end));
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  if (line.size() > kFirstLineLimit) line = line.substr(0, Utf8Cut(line, kFirstLineLimit)) + "...";
  return line;
}

std::string HeaderValue(std::string_view text) {
  std::string flat;
  bool plain = true;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      flat += ' ';
    } else {
      flat += c;
      if (u >= 0x80) plain = false;
    }
  }
  if (plain && flat.size() <= 900) return flat;
  // Encoded words of at most 45 bytes each (60 characters encoded), whole characters only,
  // joined by folding whitespace.
  std::string out;
  std::string_view rest = flat;
  while (!rest.empty()) {
    std::size_t cut = Utf8Cut(rest, 45);
    if (cut == 0) cut = std::min<std::size_t>(rest.size(), 45);
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(rest.substr(0, cut)) + "?=";
    rest.remove_prefix(cut);
  }
  return out;
}

std::string DigestSubject(const Digest& digest) {
  std::string description =
      digest.description.empty() ? "alert " + std::to_string(digest.alertId) : digest.description;
  return "Tamsel alert: " + description + " (" + std::to_string(digest.count) +
         (digest.count == 1 ? " entry)" : " entries)");
}

std::string DigestText(const Digest& digest) {
  std::string text = DigestSubject(digest) + "\r\n\r\n";
  for (const DigestEntry& entry : digest.entries) text += EntryLine(entry) + "\r\n";
  if (digest.count > static_cast<std::int64_t>(digest.entries.size())) {
    text += "... and " + std::to_string(digest.count - digest.entries.size()) + " more.\r\n";
  }
  if (!digest.link.empty()) text += "\r\nIn the log browser: " + digest.link + "\r\n";
  return text;
}

std::string DigestHtml(const Digest& digest) {
  std::string html =
      "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>" +
      HtmlEscape(DigestSubject(digest)) + "</title></head><body>\r\n<h1>" +
      HtmlEscape(DigestSubject(digest)) +
      "</h1>\r\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\r\n"
      "<tr><th>Time</th><th>Server</th><th>Log</th><th>Type</th><th>Source</th><th>Event "
      "ID</th><th>Message</th></tr>\r\n";
  for (const DigestEntry& entry : digest.entries) {
    html += "<tr><td>" + HtmlEscape(entry.timeGenerated) + "</td><td>" + HtmlEscape(entry.server) +
            "</td><td>" + HtmlEscape(entry.log) + "</td><td>" + HtmlEscape(entry.type) +
            "</td><td>" + HtmlEscape(entry.source) + "</td><td>" + std::to_string(entry.eventId) +
            "</td><td>" + HtmlEscape(FirstLine(entry.message)) + "</td></tr>\r\n";
  }
  html += "</table>\r\n";
  if (digest.count > static_cast<std::int64_t>(digest.entries.size())) {
    html += "<p>... and " + std::to_string(digest.count - digest.entries.size()) + " more.</p>\r\n";
  }
  if (!digest.link.empty()) {
    html += "<p><a href=\"" + HtmlEscape(digest.link) +
            "\">Show these entries in the log browser</a></p>\r\n";
  }
  return html + "</body></html>\r\n";
}

std::string DigestMessage(const Digest& digest) {
  const std::string boundary = "=_tamsel_" + std::to_string(digest.alertId) + "_" +
                               std::to_string(digest.firstLeid) + "_" +
                               std::to_string(digest.lastLeid);
  std::string message;
  message += "From: " + HeaderValue(digest.from) + "\r\n";
  message += "To: " + HeaderValue(digest.to) + "\r\n";
  message += "Subject: " + HeaderValue(DigestSubject(digest)) + "\r\n";
  message += "Date: " + RfcDate(digest.date) + "\r\n";
  message += "Message-ID: <tamsel-alert-" + std::to_string(digest.alertId) + "-" +
             std::to_string(digest.firstLeid) + "-" + std::to_string(digest.lastLeid) + "-" +
             std::to_string(digest.date) + "@tamsel>\r\n";
  message += "X-Tamsel-Alert: " + std::to_string(digest.alertId) + "\r\n";
  message += "X-Tamsel-Entries: " + std::to_string(digest.firstLeid) + "-" +
             std::to_string(digest.lastLeid) + " " + std::to_string(digest.count) + "\r\n";
  message += "MIME-Version: 1.0\r\n";
  message += "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n";
  message += "--" + boundary + "\r\n";
  message += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  message += Base64Lines(DigestText(digest));
  message += "--" + boundary + "\r\n";
  message += "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  message += Base64Lines(DigestHtml(digest));
  message += "--" + boundary + "--\r\n";
  return message;
}

}  // namespace tamsel::alerting
