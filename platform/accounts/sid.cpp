// Binary and text forms of security identifiers.
#include "platform/accounts/sid.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tamsel::platform::accounts {

namespace {

constexpr std::uint64_t kMaxAuthority = 0xFFFFFFFFFFFFull;

// Parses one unsigned decimal (or, when allowed, 0x-prefixed hexadecimal) number that makes up
// the whole of `text`.
bool ParseNumber(std::string_view text, std::uint64_t max, bool allowHex, std::uint64_t& value) {
  int base = 10;
  if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size() && value <= max;
}

}  // namespace

Sid::Sid(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities)
    : authority_(authority), subAuthorities_(std::move(subAuthorities)) {}

std::size_t SidLengthFromHeader(const std::uint8_t* header) {
  if (header[0] != kSidRevision || header[1] > kSidMaxSubAuthorities) return 0;
  return 8 + 4 * static_cast<std::size_t>(header[1]);
}

std::optional<Sid> Sid::FromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || SidLengthFromHeader(bytes.data()) != bytes.size()) return std::nullopt;
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
  std::vector<std::uint32_t> subs;
  for (std::size_t at = 8; at < bytes.size(); at += 4) {
    subs.push_back(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                   (static_cast<std::uint32_t>(bytes[at + 3]) << 24));
  }
  return Sid(authority, std::move(subs));
}

std::optional<Sid> Sid::FromPointer(const void* sid, std::size_t available) {
  if (sid == nullptr || available < 8) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  std::size_t length = SidLengthFromHeader(bytes);
  if (length == 0 || length > available) return std::nullopt;
  return FromBytes({bytes, length});
}

std::optional<Sid> Sid::FromString(std::string_view text) {
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') {
    return std::nullopt;
  }
  std::vector<std::string_view> parts;
  std::string_view rest = text.substr(2);
  while (true) {
    size_t dash = rest.find('-');
    parts.push_back(rest.substr(0, dash));
    if (dash == std::string_view::npos) break;
    rest.remove_prefix(dash + 1);
  }
  if (parts.size() < 2 || parts.size() > 2 + kSidMaxSubAuthorities) return std::nullopt;
  std::uint64_t revision = 0;
  std::uint64_t authority = 0;
  if (!ParseNumber(parts[0], 255, false, revision) || revision != kSidRevision ||
      !ParseNumber(parts[1], kMaxAuthority, true, authority)) {
    return std::nullopt;
  }
  std::vector<std::uint32_t> subs;
  for (size_t i = 2; i < parts.size(); ++i) {
    std::uint64_t value = 0;
    if (!ParseNumber(parts[i], 0xFFFFFFFFull, false, value)) return std::nullopt;
    subs.push_back(static_cast<std::uint32_t>(value));
  }
  return Sid(authority, std::move(subs));
}

std::string Sid::ToString() const {
  std::string text = "S-1-";
  if (authority_ < (1ull << 32)) {
    text += std::to_string(authority_);
  } else {
    char hex[20];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority_));
    text += hex;
  }
  for (std::uint32_t sub : subAuthorities_) {
    text += '-';
    text += std::to_string(sub);
  }
  return text;
}

std::vector<std::uint8_t> Sid::Bytes() const {
  std::vector<std::uint8_t> bytes(8 + 4 * subAuthorities_.size());
  bytes[0] = kSidRevision;
  bytes[1] = static_cast<std::uint8_t>(subAuthorities_.size());
  for (int i = 0; i < 6; ++i) bytes[2 + i] = static_cast<std::uint8_t>(authority_ >> (40 - 8 * i));
  for (size_t i = 0; i < subAuthorities_.size(); ++i) {
    for (int b = 0; b < 4; ++b) {
      bytes[8 + 4 * i + b] = static_cast<std::uint8_t>(subAuthorities_[i] >> (8 * b));
    }
  }
  return bytes;
}

Sid Sid::WithRid(std::uint32_t rid) const {
  std::vector<std::uint32_t> subs = subAuthorities_;
  subs.push_back(rid);
  return Sid(authority_, std::move(subs));
}

bool Sid::IsInDomain(const Sid& domain) const {
  return authority_ == domain.authority_ &&
         subAuthorities_.size() == domain.subAuthorities_.size() + 1 &&
         std::equal(domain.subAuthorities_.begin(), domain.subAuthorities_.end(),
                    subAuthorities_.begin());
}

}  // namespace tamsel::platform::accounts
