// Tests of FormatMessageA and its C++ form over message DLLs compiled from
// testdata/sample.mc, over this program's own table, and over format strings.

#include "platform/messages/format_message.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/network/last_error.h"

namespace tamsel::platform::messages {
namespace {

constexpr DWORD kFromModule =
    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;

struct Strings {
  std::vector<DWORD_PTR> values;
  MessageArguments arguments;
  explicit Strings(std::initializer_list<const char*> texts) {
    for (const char* text : texts) values.push_back(reinterpret_cast<DWORD_PTR>(text));
    arguments = {values.data(), values.size()};
  }
};

class FormatMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32Error error;
    module_ = ModuleHandle::Load(SAMPLE_DLL, error);
    ASSERT_TRUE(module_) << error;
  }

  // FormatMessageA the way the collector calls it: allocated buffer, argument array, 0x0400.
  // Returns the text, or "<error N>".
  std::string Format(DWORD id, const MessageArguments* arguments, DWORD flags = kFromModule,
                     DWORD language = LANG_USER_DEFAULT, HMODULE module = nullptr) {
    char* text = nullptr;
    DWORD length = FormatMessageA(flags, module ? module : module_.Get(), id, language,
                                  reinterpret_cast<char*>(&text), 0, arguments);
    if (length == 0) {
      EXPECT_EQ(text, nullptr);
      return "<error " + std::to_string(GetLastError()) + ">";
    }
    std::string result(text, length);
    EXPECT_EQ(text[length], '\0');
    LocalFree(text);
    return result;
  }

  ModuleHandle module_;
};

TEST_F(FormatMessageTest, FormatsMessagesWithInsertsAndCategories) {
  Strings args({"System", "SRV1", "denied"});
  EXPECT_EQ(Format(0xC0000065, &args.arguments),
            "Cannot open log System on SRV1.\r\nReason: denied\r\n");
  Strings counts({"3", "1200"});
  EXPECT_EQ(Format(0x4FFF0064, &counts.arguments),
            "Collection pass finished: 3 server(s), 1200 record(s).\r\n");
  // Categories are formatted without arguments.
  EXPECT_EQ(Format(1, nullptr, FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER),
            "General\r\n");
  EXPECT_EQ(Format(2, nullptr, FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER),
            "Network\r\n");
}

TEST_F(FormatMessageTest, AbsentIdsAndMissingTables) {
  Strings args({"a"});
  EXPECT_EQ(Format(0x65, &args.arguments), "<error 317>");  // severity bits belong to the id
  EXPECT_EQ(Format(3, &args.arguments), "<error 317>");
  EXPECT_EQ(Format(1, &args.arguments, kFromModule, 0x040C), "<error 1815>");  // no French
  EXPECT_EQ(Format(1, &args.arguments, kFromModule | FORMAT_MESSAGE_FROM_SYSTEM, 0x0409),
            "General\r\n");
  EXPECT_EQ(Format(3, &args.arguments, kFromModule | FORMAT_MESSAGE_FROM_SYSTEM), "<error 317>");
}

TEST_F(FormatMessageTest, EveryEscapeThroughACompiledTable) {
  EXPECT_EQ(Format(1000, nullptr), "A%B.C!D\tE\rF\r\nG HqI\r\n");
  Strings args(
      {"ab", reinterpret_cast<const char*>(42), reinterpret_cast<const char*>(0xBEEF), "xyz"});
  EXPECT_EQ(Format(1001, &args.arguments), "[ab    |   42|BEEF|xy]\r\n");
  // %0 at the end stops before the line break.
  EXPECT_EQ(Format(0x80000066, nullptr), "Prompt without trailing line break");
}

TEST_F(FormatMessageTest, InsertsBeyondTheSuppliedArgumentsStayAsText) {
  Strings three({"a", "b", "c"});
  EXPECT_EQ(Format(1002, &three.arguments), "a b c %5 %12 %99\r\n");
  // The collector's form: a 128-entry array, null past the record's strings.
  std::vector<DWORD_PTR> padded(128, 0);
  padded[0] = reinterpret_cast<DWORD_PTR>("a");
  MessageArguments collector{padded.data(), padded.size()};
  EXPECT_EQ(Format(1002, &collector), "a (null) (null) (null) (null) (null)\r\n");
  // No array at all for a message with inserts.
  EXPECT_EQ(Format(1002, nullptr), "<error 87>");
}

TEST_F(FormatMessageTest, ConvertsUnicodeAndAnsiTablesToUtf8) {
  Strings args({"12 KB"});
  EXPECT_EQ(Format(1003, &args.arguments), "Gr\u00F6\u00DFe: 12 KB \u20AC \u2014 ok\r\n");
  Win32Error error;
  ModuleHandle ansi = ModuleHandle::Load(SAMPLE_ANSI_DLL, error);
  ASSERT_TRUE(ansi) << error;
  // windmc -A stores Windows-1252 bytes.
  EXPECT_EQ(Format(1003, &args.arguments, kFromModule, 0, ansi.Get()),
            "Gr\u00F6\u00DFe: 12 KB \u20AC \u2014 ok\r\n");
}

TEST_F(FormatMessageTest, LanguageSelection) {
  Strings args({"3", "7"});
  EXPECT_EQ(Format(0x4FFF0064, &args.arguments, kFromModule, 0x0407),
            "Sammellauf beendet: 3 Server, 7 Eintr\u00E4ge.\r\n");
  EXPECT_EQ(Format(0x4FFF0064, &args.arguments, kFromModule, 0),
            "Collection pass finished: 3 server(s), 7 record(s).\r\n");
  SetThreadUILanguage(0x0407);
  EXPECT_EQ(Format(2, nullptr, kFromModule, 0), "Netzwerk\r\n");
  EXPECT_EQ(Format(2, nullptr, kFromModule, LANG_USER_DEFAULT), "Netzwerk\r\n");
  SetThreadUILanguage(0);
}

TEST_F(FormatMessageTest, WidthFlags) {
  EXPECT_EQ(Format(1004, nullptr, kFromModule | FORMAT_MESSAGE_MAX_WIDTH_MASK),
            "The quick brown fox jumps over the lazy dog\r\nNew line ");
  EXPECT_EQ(Format(1004, nullptr, kFromModule | 20),
            "The quick brown fox\r\njumps over the lazy\r\ndog\r\nNew line ");
}

TEST_F(FormatMessageTest, IgnoreInsertsReturnsTheRawText) {
  EXPECT_EQ(Format(0xC0000065, nullptr, kFromModule | FORMAT_MESSAGE_IGNORE_INSERTS),
            "Cannot open log %1 on %2.\r\nReason: %3\r\n");
}

TEST_F(FormatMessageTest, CallerBuffer) {
  char buffer[64];
  Strings args({"x"});
  const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  EXPECT_EQ(FormatMessageA(flags, module_.Get(), 1, 0, buffer, sizeof buffer, &args.arguments), 9u);
  EXPECT_STREQ(buffer, "General\r\n");
  EXPECT_EQ(FormatMessageA(flags, module_.Get(), 1, 0, buffer, 9, &args.arguments), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageA(flags, module_.Get(), 1, 0, buffer, 10, &args.arguments), 9u);
  EXPECT_EQ(FormatMessageA(flags, module_.Get(), 1, 0, nullptr, 10, &args.arguments), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FormatMessageTest, BadRequests) {
  Strings args({"x"});
  char* text = nullptr;
  auto* out = reinterpret_cast<char*>(&text);
  // A handle that was never loaded, or was freed.
  auto forged = reinterpret_cast<HMODULE>(std::uintptr_t{0x1234561});
  EXPECT_EQ(FormatMessageA(kFromModule, forged, 1, 0, out, 0, &args.arguments), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HMODULE freed = LoadLibraryExA(SAMPLE_DLL, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(freed, nullptr);
  EXPECT_TRUE(FreeLibrary(freed));
  EXPECT_FALSE(FreeLibrary(freed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FormatMessageA(kFromModule, freed, 1, 0, out, 0, &args.arguments), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // No source flag; both source flags; arguments without the array flag.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 1, 0, out, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE |
                               FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           "x", 1, 0, out, 0, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           module_.Get(), 0xC0000065, 0, out, 0, &args.arguments),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(text, nullptr);
}

TEST(FormatMessageStringTest, FromStringAndEmptyResults) {
  char* text = nullptr;
  Strings args({"world"});
  const DWORD flags =
      FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  ASSERT_EQ(
      FormatMessageA(flags, "hello %1%n", 0, 0, reinterpret_cast<char*>(&text), 0, &args.arguments),
      13u);
  EXPECT_STREQ(text, "hello world\r\n");
  LocalFree(text);
  // A text that is only %0 formats to nothing: 0 with ERROR_NO_WORK_DONE and nothing allocated
  // (a caller that sees 0 frees nothing), or an empty caller buffer.
  text = nullptr;
  EXPECT_EQ(FormatMessageA(flags, "%0", 0, 0, reinterpret_cast<char*>(&text), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_NO_WORK_DONE);
  EXPECT_EQ(text, nullptr);
  char small[4] = "xyz";
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%0", 0, 0, small, sizeof small, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_NO_WORK_DONE);
  EXPECT_STREQ(small, "");
  // An allocated result over 128 KiB.
  std::string big(130 * 1024, 'y');
  Strings bigArgs({big.c_str()});
  text = nullptr;
  EXPECT_EQ(
      FormatMessageA(flags, "%1", 0, 0, reinterpret_cast<char*>(&text), 0, &bigArgs.arguments), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(text, nullptr);
}

TEST(FormatMessageOwnImageTest, NullModuleIsThisProgramsOwnTable) {
  char* text = nullptr;
  Strings args({"Tamsel"});
  ASSERT_GT(FormatMessageA(kFromModule, nullptr, 100, LANG_USER_DEFAULT,
                           reinterpret_cast<char*>(&text), 0, &args.arguments),
            0u);
  EXPECT_STREQ(text, "The Tamsel service was installed.\r\n");
  LocalFree(text);
}

TEST(FormatMessageCppTest, ModuleAndStringForms) {
  std::shared_ptr<const MessageModule> module;
  ASSERT_EQ(MessageModule::Load(SAMPLE_PE32_DLL, module), ERROR_SUCCESS);
  std::vector<std::string> inserts = {"System", "SRV1"};
  std::string text;
  ASSERT_EQ(FormatModuleMessage(*module, 0xC0000065, 0x0400, inserts, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "Cannot open log System on SRV1.\r\nReason: %3\r\n");
  EXPECT_EQ(FormatModuleMessage(*module, 7, 0x0400, inserts, text), ERROR_MR_MID_NOT_FOUND);
  ASSERT_EQ(FormatStringMessage("%2-%1", inserts, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "SRV1-System");
}

}  // namespace
}  // namespace tamsel::platform::messages
