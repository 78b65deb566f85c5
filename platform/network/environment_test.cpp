// Environment expansion with Windows' rules, and the debug output sink.
#include "platform/network/environment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/network/debug_output.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::network {
namespace {

std::optional<std::string> Lookup(std::string_view name) {
  static const std::map<std::string, std::string> kValues = {
      {"systemroot", "C:\\WINDOWS"}, {"empty", ""}, {"pct", "%SystemRoot%"}};
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto found = kValues.find(lower);
  if (found == kValues.end()) return std::nullopt;
  return found->second;
}

TEST(ExpandEnvironmentStrings, ReplacesKnownNamesWithoutRegardToCase) {
  EXPECT_EQ(ExpandEnvironmentStrings("%SystemRoot%\\system32\\x.dll", Lookup),
            "C:\\WINDOWS\\system32\\x.dll");
  EXPECT_EQ(ExpandEnvironmentStrings("%SYSTEMROOT%;%systemroot%", Lookup),
            "C:\\WINDOWS;C:\\WINDOWS");
  EXPECT_EQ(ExpandEnvironmentStrings("a%EMPTY%b", Lookup), "ab");
  // One pass only: a value that itself holds a reference stays as it is.
  EXPECT_EQ(ExpandEnvironmentStrings("%pct%", Lookup), "%SystemRoot%");
}

TEST(ExpandEnvironmentStrings, LeavesUnknownNamesAndLonePercents) {
  EXPECT_EQ(ExpandEnvironmentStrings("%NoSuch%\\x", Lookup), "%NoSuch%\\x");
  EXPECT_EQ(ExpandEnvironmentStrings("100%", Lookup), "100%");
  EXPECT_EQ(ExpandEnvironmentStrings("%%", Lookup), "%%");
  // The closing "%" of an unknown name may open the next reference.
  EXPECT_EQ(ExpandEnvironmentStrings("%x%SystemRoot%", Lookup), "%xC:\\WINDOWS");
  EXPECT_EQ(ExpandEnvironmentStrings("50% of %SystemRoot%", Lookup), "50% of C:\\WINDOWS");
  EXPECT_EQ(ExpandEnvironmentStrings("", Lookup), "");
}

TEST(ExpandEnvironmentStrings, BoundedOutputReportsTheSizeNeeded) {
  const char* source = "%SystemRoot%\\x";  // "C:\WINDOWS\x" = 12 characters + NUL
  EXPECT_EQ(ExpandEnvironmentStringsBounded(source, Lookup, nullptr, 0), 13u);
  char small[8];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(ExpandEnvironmentStringsBounded(source, Lookup, small, sizeof small), 13u);
  EXPECT_EQ(std::string(small, sizeof small), std::string(8, 'Z'));  // nothing past the bound
  char exact[13];
  EXPECT_EQ(ExpandEnvironmentStringsBounded(source, Lookup, exact, sizeof exact), 13u);
  EXPECT_STREQ(exact, "C:\\WINDOWS\\x");
}

TEST(ProcessEnvironment, MatchesNamesWithoutCase) {
  testing::ScopedEnv env("TamselTestVariable", "value1");
  EXPECT_EQ(ProcessEnvironmentValue("TAMSELTESTVARIABLE"), "value1");
  EXPECT_EQ(ProcessEnvironmentValue("TamselTestVariab"), std::nullopt);
}

TEST(DebugOutput, CaptureTakesTextsAndRestoresTheSink) {
  testing::ScopedTempDir temp;
  std::string file = (temp.Path() / "debug.log").string();
  testing::ScopedEnv env("TAMSEL_DEBUG_LOG", file);
  std::vector<std::string> captured;
  {
    ScopedDebugCapture capture([&](std::string_view text) { captured.emplace_back(text); });
    OutputDebugString("[TamselCollector](12): pass started");
  }
  EXPECT_EQ(captured, std::vector<std::string>{"[TamselCollector](12): pass started"});
  EXPECT_FALSE(std::filesystem::exists(file));  // captured texts do not reach the file
  OutputDebugString("one");
  OutputDebugString("two\n");
  std::ifstream in(file);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "one\ntwo\n");
}

}  // namespace
}  // namespace tamsel::platform::network
