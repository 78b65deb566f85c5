// The digest message: address checks, header values that cannot start a header of their own,
// the entries' first lines, HTML escaping and the parts of the MIME message.
#include "alerting/mail_digest.h"

#include <gtest/gtest.h>

namespace tamsel::alerting {
namespace {

TEST(MailDigestTest, AddressesOfMailboxFormOnly) {
  const std::pair<const char*, bool> cases[] = {
      {"ops@example.com", true},
      {"first.last+alerts@mail.example.org", true},
      {"o'brien@example.com", true},
      {"", false},
      {"example.com", false},
      {"@example.com", false},
      {"ops@", false},
      {"a@b@example.com", false},
      {"ops@example.com\r\nBcc: x@evil.test", false},
      {"ops@example.com>", false},
      {"Ops <ops@example.com>", false},
      {"ops @example.com", false},
      {".ops@example.com", false},
      {"o..ps@example.com", false},
      {"ops@-example.com", false},
      {"ops@example..com", false},
      {"ops@exa_mple.com", false},
      {"\xc3\xa9@example.com", false},
  };
  for (const auto& [address, valid] : cases) {
    EXPECT_EQ(IsValidAddress(address), valid) << address;
  }
}

Digest SampleDigest() {
  Digest digest;
  digest.alertId = 7;
  digest.description = "Disk errors";
  digest.from = "tamsel@example.com";
  digest.to = "ops@example.com";
  digest.firstLeid = 10;
  digest.lastLeid = 12;
  digest.count = 3;
  digest.date = 1'700'000'000;
  DigestEntry entry;
  entry.leid = 10;
  entry.timeGenerated = "2026-12-07 08:00:00";
  entry.server = "SRV01";
  entry.log = "System";
  entry.type = "Error";
  entry.source = "Disk";
  entry.eventId = 11;
  entry.message = "The device <\\Device\\Harddisk0> had a bad block.<br>Second line";
  digest.entries = {entry};
  digest.link = "http://web.example/logs?EventID=11&SortBy=TimeGenerated";
  return digest;
}

// The header block of a message: everything before the first empty line.
std::string Headers(const std::string& message) {
  return message.substr(0, message.find("\r\n\r\n"));
}

TEST(MailDigestTest, DescriptionCannotAddHeaders) {
  Digest digest = SampleDigest();
  digest.description = "Disk\r\nBcc: victim@evil.test\nX-Injected: 1";
  const std::string headers = Headers(DigestMessage(digest));
  EXPECT_EQ(headers.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(headers.find("\nX-Injected"), std::string::npos);
  EXPECT_NE(headers.find("Subject: Tamsel alert: Disk  Bcc: victim@evil.test X-Injected: 1 (3 "
                         "entries)\r\n"),
            std::string::npos)
      << headers;
}

TEST(MailDigestTest, NonAsciiSubjectIsEncodedInWholeCharacters) {
  // 40 two-byte characters: the encoded words must not split one of them.
  std::string description;
  for (int i = 0; i < 40; ++i) description += "\xc3\xa9";
  EXPECT_EQ(HeaderValue(description).substr(0, 10), "=?UTF-8?B?");
  const std::string encoded = HeaderValue(description);
  std::size_t fold = encoded.find("\r\n ");
  ASSERT_NE(fold, std::string::npos);
  // The first word holds 22 whole characters (44 bytes), 60 base64 characters.
  EXPECT_EQ(fold, std::string("=?UTF-8?B?").size() + 60 + 2);
}

TEST(MailDigestTest, BodiesListEntriesWithTheirFirstLineEscapedForHtml) {
  Digest digest = SampleDigest();
  const std::string text = DigestText(digest);
  EXPECT_NE(text.find("2026-12-07 08:00:00  SRV01  System  Error  Disk  11  The device "
                      "<\\Device\\Harddisk0> had a bad block.\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Second line"), std::string::npos);
  EXPECT_NE(text.find("... and 2 more."), std::string::npos);
  const std::string html = DigestHtml(digest);
  EXPECT_NE(html.find("The device &lt;\\Device\\Harddisk0&gt; had a bad block."),
            std::string::npos);
  EXPECT_NE(html.find("href=\"http://web.example/logs?EventID=11&amp;SortBy=TimeGenerated\""),
            std::string::npos);

  const std::string message = DigestMessage(digest);
  EXPECT_NE(message.find("X-Tamsel-Entries: 10-12 3\r\n"), std::string::npos);
  EXPECT_NE(message.find("Content-Type: text/plain; charset=utf-8"), std::string::npos);
  EXPECT_NE(message.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  for (std::size_t at = 0, next; (next = message.find("\r\n", at)) != std::string::npos;
       at = next + 2) {
    ASSERT_LE(next - at, 998u) << "line too long for SMTP";
  }
}

TEST(MailDigestTest, FirstLineStopsAtTheFirstBreakAndIsBounded) {
  EXPECT_EQ(FirstLine("one<br>two"), "one");
  EXPECT_EQ(FirstLine("one\r\ntwo"), "one");
  EXPECT_EQ(FirstLine("tab\there"), "tab here");
  EXPECT_EQ(FirstLine(std::string(300, 'x')), std::string(200, 'x') + "...");
}

}  // namespace
}  // namespace tamsel::alerting
