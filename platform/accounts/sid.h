// Security identifiers: the binary form kept in event records and the "S-1-5-…" text form,
// with the validation every SID taken from a file or a caller needs before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::platform::accounts {

inline constexpr std::uint8_t kSidRevision = 1;
inline constexpr std::uint8_t kSidMaxSubAuthorities = 15;

class Sid {
 public:
  Sid() = default;
  Sid(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities);

  // The bytes must hold exactly one valid SID (revision 1, length 8 + 4 × count).
  static std::optional<Sid> FromBytes(std::span<const std::uint8_t> bytes);
  // A SID at the start of a buffer of `available` bytes; nullopt when it is malformed or
  // longer than the buffer.
  static std::optional<Sid> FromPointer(const void* sid, std::size_t available = 68);
  // "S-1-5-32-544" (also "s-…", and a 0x-prefixed hexadecimal authority).
  static std::optional<Sid> FromString(std::string_view text);

  std::string ToString() const;
  std::uint64_t Authority() const { return authority_; }
  const std::vector<std::uint32_t>& SubAuthorities() const { return subAuthorities_; }
  // The binary form, 8 + 4 × count bytes.
  std::vector<std::uint8_t> Bytes() const;

  // The SID with one more sub-authority (an account below a domain).
  Sid WithRid(std::uint32_t rid) const;
  // True when this SID is `domain` followed by exactly one sub-authority.
  bool IsInDomain(const Sid& domain) const;

  friend bool operator==(const Sid& a, const Sid& b) {
    return a.authority_ == b.authority_ && a.subAuthorities_ == b.subAuthorities_;
  }

 private:
  std::uint64_t authority_ = 0;
  std::vector<std::uint32_t> subAuthorities_;
};

// Length of a binary SID from its header, or 0 when the header is not a valid SID's.
std::size_t SidLengthFromHeader(const std::uint8_t* header);

}  // namespace tamsel::platform::accounts
