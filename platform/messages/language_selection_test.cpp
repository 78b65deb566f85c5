// Tests of FormatMessage's language fallback for 0, 0x0400, 0x0800 and explicit languages.

#include "platform/messages/language_selection.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamsel::platform::messages {
namespace {

// The selected language, or 0xFFFF when selection failed.
LANGID Pick(std::vector<LANGID> available, std::uint32_t requested) {
  std::size_t index = 0;
  if (SelectLanguage(available, requested, index) != ERROR_SUCCESS) return 0xFFFF;
  return available[index];
}

class ThreadLanguage {
 public:
  explicit ThreadLanguage(LANGID language) : saved_(GetThreadUILanguage()) {
    SetThreadUILanguage(language);
  }
  ~ThreadLanguage() { SetThreadUILanguage(saved_); }

 private:
  LANGID saved_;
};

TEST(LanguageSelectionTest, LanguageZeroPrefersNeutralThenThreadThenEnglish) {
  EXPECT_EQ(Pick({0x0407, 0x0000, 0x0409}, 0), 0x0000);
  EXPECT_EQ(Pick({0x0407, 0x0409}, 0), 0x0409);
  {
    ThreadLanguage german(0x0407);
    EXPECT_EQ(Pick({0x0409, 0x0407}, 0), 0x0407);
  }
  EXPECT_EQ(Pick({0x040C, 0x0407}, 0), 0x040C);  // nothing preferred: the first one present
  EXPECT_EQ(Pick({}, 0), 0xFFFF);
}

TEST(LanguageSelectionTest, UserDefaultFallsBackThroughNeutralSublanguages) {
  EXPECT_EQ(Pick({0x0407, 0x0409}, LANG_USER_DEFAULT), 0x0409);
  EXPECT_EQ(Pick({0x0407, 0x0009}, LANG_USER_DEFAULT), 0x0009);  // English, neutral sublanguage
  EXPECT_EQ(Pick({0x0407}, LANG_USER_DEFAULT), 0x0407);          // the only language present
  {
    ThreadLanguage german(0x0407);
    EXPECT_EQ(Pick({0x0409, 0x0407}, LANG_USER_DEFAULT), 0x0407);
    // The system default request skips the thread and user languages.
    EXPECT_EQ(Pick({0x0407, 0x0409}, LANG_SYSTEM_DEFAULT), 0x0409);
  }
}

TEST(LanguageSelectionTest, ExplicitLanguageFallsBackOnlyToNeutralEntries) {
  EXPECT_EQ(Pick({0x0409, 0x0407}, 0x0407), 0x0407);
  EXPECT_EQ(Pick({0x0409, 0x0007}, 0x0807), 0x0007);  // Swiss German -> German neutral
  EXPECT_EQ(Pick({0x0409, 0x0000}, 0x0407), 0x0000);
  EXPECT_EQ(Pick({0x0409}, 0x0407), 0xFFFF);
  EXPECT_EQ(Pick({0x0409}, 0x10409), 0xFFFF);  // not a language id
}

}  // namespace
}  // namespace tamsel::platform::messages
