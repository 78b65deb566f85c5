// One alert digest as an Internet message: the subject with the alert's description and the
// count, a plain-text and an HTML part listing the entries, and a link to the log browser.
// No text from the database or the settings can add a header line: header values lose their
// line breaks and are encoded, addresses are checked before they are used.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::alerting {

struct DigestEntry {
  std::int64_t leid = 0;
  std::string timeGenerated;
  std::string server;
  std::string log;
  std::string type;
  std::string source;
  int eventId = 0;
  std::string message;  // the whole stored message; the digest shows its first line
};

struct Digest {
  int alertId = 0;
  std::string description;
  std::string from;
  std::string to;
  std::int64_t firstLeid = 0;  // the range of entries the mail reports
  std::int64_t lastLeid = 0;
  std::int64_t count = 0;            // all entries reported, listed or not
  std::vector<DigestEntry> entries;  // the ones listed
  std::string link;                  // the log browser, or empty
  std::time_t date = 0;
};

// A plain address "local@domain": ASCII letters, digits and the usual punctuation of a
// mailbox, a domain of dot-separated labels; no blanks, brackets, quotes or control characters.
bool IsValidAddress(std::string_view address);

// The first line of a stored message, whose line breaks the collector wrote as "<br>".
std::string FirstLine(std::string_view message);

// The subject as shown: "Tamsel alert: <description> (<count> entries)", on one line.
std::string DigestSubject(const Digest& digest);
// The bodies.
std::string DigestText(const Digest& digest);
std::string DigestHtml(const Digest& digest);
// The whole message with CRLF line ends, ready for the SMTP DATA phase.
std::string DigestMessage(const Digest& digest);

// A header value on one line: control characters become blanks; anything beyond printable
// ASCII is sent as RFC 2047 encoded words.
std::string HeaderValue(std::string_view text);

}  // namespace tamsel::alerting
