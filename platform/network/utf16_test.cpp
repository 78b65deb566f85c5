// UTF-16 to UTF-8: surrogate pairs, unpaired surrogates and the encoder's limits.
#include "platform/network/utf16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tamsel::platform::network {
namespace {

TEST(Utf16Test, JoinsPairsAndReplacesUnpairedSurrogates) {
  // "a", U+1F600 as a pair, a lone low surrogate, a high surrogate before "b", a lone high at the
  // end.
  const std::vector<std::uint8_t> bytes = {0x61, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00,
                                           0xDC, 0x00, 0xD8, 0x62, 0x00, 0x01, 0xD8};
  EXPECT_EQ(Utf16LeToUtf8(bytes.data(), 7),
            "a\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf16LeToUtf8(bytes.data(), 7, U'?'), "a\xF0\x9F\x98\x80??b?");
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9\u20ac\xD83D\xDE00"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"\xDC00x", 2), U'?'), "?x");
}

TEST(Utf16Test, EncoderReplacesWhatIsNoCodePoint) {
  std::string out;
  AppendUtf8(out, 0x7F);
  AppendUtf8(out, 0x7FF);
  AppendUtf8(out, 0x10FFFF);
  AppendUtf8(out, 0xD800);
  AppendUtf8(out, 0x110000);
  EXPECT_EQ(out, "\x7F\xDF\xBF\xF4\x8F\xBF\xBF\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tamsel::platform::network
