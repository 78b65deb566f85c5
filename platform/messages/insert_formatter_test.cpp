// Tests of the FormatMessage text engine: escapes, inserts, printf forms, line breaks, widths
// and inserts naming arguments that were not supplied.

#include "platform/messages/insert_formatter.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamsel::platform::messages {
namespace {

struct Args {
  std::vector<DWORD_PTR> values;
  MessageArguments arguments;
  explicit Args(std::vector<DWORD_PTR> v)
      : values(std::move(v)), arguments{values.data(), values.size()} {}
};

DWORD_PTR Str(const char* text) { return reinterpret_cast<DWORD_PTR>(text); }

std::string Format(std::string_view text, const MessageArguments* arguments = nullptr,
                   FormatOptions options = {}) {
  std::string out;
  Win32Error error = FormatMessageText(text, options, arguments, out);
  EXPECT_EQ(error, ERROR_SUCCESS) << text;
  return out;
}

Win32Error FormatError(std::string_view text, const MessageArguments* arguments = nullptr,
                       FormatOptions options = {}) {
  std::string out;
  return FormatMessageText(text, options, arguments, out);
}

TEST(InsertFormatterTest, EscapesProduceTheirCharacters) {
  EXPECT_EQ(Format("A%%B%.C%!D%tE%rF%nG% H%qI"), "A%B.C!D\tE\rF\r\nG HqI");
  EXPECT_EQ(Format("before%0after"), "before");
  EXPECT_EQ(Format("line\r\n%0"), "line\r\n");
  EXPECT_EQ(Format("%05"), "");  // %0 stops even when digits follow
}

TEST(InsertFormatterTest, LineBreaksAreNormalisedToCrLf) {
  EXPECT_EQ(Format("a\nb\rc\r\nd\r\r\ne"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
}

TEST(InsertFormatterTest, PercentAtTheEndIsAnError) {
  EXPECT_EQ(FormatError("text%"), ERROR_INVALID_PARAMETER);
  FormatOptions ignore;
  ignore.ignoreInserts = true;
  EXPECT_EQ(Format("text%", nullptr, ignore), "text%");
}

TEST(InsertFormatterTest, InsertsTakeArgumentsByNumberAndAreNotRescanned) {
  Args args({Str("one"), Str("%2"), Str("three")});
  EXPECT_EQ(Format("%3-%1-%2-%1", &args.arguments), "three-one-%2-one");
  EXPECT_EQ(Format("%1!s!", &args.arguments), "one");
  EXPECT_EQ(Format("%1%2%%3", &args.arguments), "one%2%3");
}

TEST(InsertFormatterTest, TwoDigitInsertNumbers) {
  std::vector<std::string> storage;
  std::vector<DWORD_PTR> values;
  for (int i = 1; i <= 99; ++i) storage.push_back("a" + std::to_string(i));
  for (const auto& s : storage) values.push_back(Str(s.c_str()));
  MessageArguments arguments{values.data(), values.size()};
  EXPECT_EQ(Format("%12|%99|%123", &arguments), "a12|a99|a123");
}

TEST(InsertFormatterTest, MissingArgumentsStayAsWrittenAndAreNeverRead) {
  // The array has two elements; %3, %5!d! and %12 name arguments that were not supplied.
  // Only the first two slots are valid memory, so reading further would trip the sanitizer.
  std::vector<DWORD_PTR> values = {Str("a"), Str("b")};
  MessageArguments arguments{values.data(), 2};
  EXPECT_EQ(Format("%1 %2 %3 %5!d! %12.", &arguments), "a b %3 %5!d! %12.");
  MessageArguments none{values.data(), 0};
  EXPECT_EQ(Format("x%1y", &none), "x%1y");
  // "*" slots past the end leave the whole insert as written as well.
  EXPECT_EQ(Format("%2!*s!", &arguments), "%2!*s!");
}

TEST(InsertFormatterTest, InsertsWithoutAnyArgumentArrayFail) {
  EXPECT_EQ(FormatError("value %1"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Format("no inserts %n here"), "no inserts \r\n here");
}

TEST(InsertFormatterTest, NullStringArgumentPrintsNull) {
  Args args({0});
  EXPECT_EQ(Format("[%1]", &args.arguments), "[(null)]");
}

TEST(InsertFormatterTest, PrintfFormsForStringsAndIntegers) {
  Args args({Str("ab"), 42, 0xBEEF, Str("xyz"), static_cast<DWORD_PTR>(-7)});
  EXPECT_EQ(Format("[%1!-6s!|%2!5d!|%3!04X!|%4!.2s!]", &args.arguments), "[ab    |   42|BEEF|xy]");
  EXPECT_EQ(Format("%5!d! %5!u! %2!x! %2!o! %2!+d! %2!#x!", &args.arguments),
            "-7 4294967289 2a 52 +42 0x2a");
  EXPECT_EQ(Format("%5!I64d! %2!hd! %2!c!", &args.arguments), "-7 42 *");
  EXPECT_EQ(Format("%2!p!", &args.arguments), "000000000000002A");
}

TEST(InsertFormatterTest, WideStringAndCharacterForms) {
  const char16_t* wide = u"Gr\u00FC\u00DFe";
  Args args({reinterpret_cast<DWORD_PTR>(wide), 0x20AC, Str("n")});
  EXPECT_EQ(Format("%1!S! %1!ls! %1!ws! %2!C! %3!hs!", &args.arguments),
            "Gr\u00FC\u00DFe Gr\u00FC\u00DFe Gr\u00FC\u00DFe \u20AC n");
}

TEST(InsertFormatterTest, StarTakesWidthAndPrecisionFromFollowingSlots) {
  Args args({6, 2, Str("abcdef"), Str("next")});
  // %1!*.*s!: slot 1 width, slot 2 precision, slot 3 the string; the next free insert is %4.
  EXPECT_EQ(Format("[%1!*.*s!] %4", &args.arguments), "[    ab] next");
  Args negative({static_cast<DWORD_PTR>(-4), Str("x")});
  EXPECT_EQ(Format("[%1!*s!]", &negative.arguments), "[x   ]");
}

TEST(InsertFormatterTest, BadFormsAreRejected) {
  Args args({Str("a")});
  EXPECT_EQ(FormatError("%1!s", &args.arguments), ERROR_INVALID_PARAMETER);   // unterminated
  EXPECT_EQ(FormatError("%1!f!", &args.arguments), ERROR_INVALID_PARAMETER);  // floating point
  EXPECT_EQ(FormatError("%1!zz!", &args.arguments), ERROR_INVALID_PARAMETER);
}

TEST(InsertFormatterTest, IgnoreInsertsKeepsSequencesButProcessesBreaks) {
  FormatOptions ignore;
  ignore.ignoreInserts = true;
  EXPECT_EQ(Format("%1 %2!d! %% %. %! %n%t%r%x\n%0tail", nullptr, ignore),
            "%1 %2!d! %% %. %! \r\n\t\r%x\r\n");
}

TEST(InsertFormatterTest, MaxWidthTurnsBreaksIntoSpacesAndWraps) {
  FormatOptions noBreaks;
  noBreaks.maxWidth = 0xFF;
  EXPECT_EQ(Format("The quick\r\nbrown fox%njumps\r\n", nullptr, noBreaks),
            "The quick brown fox\r\njumps ");
  FormatOptions width;
  width.maxWidth = 10;
  EXPECT_EQ(Format("The quick brown fox jumps%nover", nullptr, width),
            "The quick\r\nbrown fox\r\njumps\r\nover");
  width.maxWidth = 4;
  EXPECT_EQ(Format("abcdefghij xy", nullptr, width), "abcd\r\nefgh\r\nij\r\nxy");
}

TEST(InsertFormatterTest, WrappingCountsCharactersNotBytes) {
  FormatOptions width;
  width.maxWidth = 5;
  EXPECT_EQ(Format("\u00E4\u00F6\u00FC\u00E4\u00F6 ab", nullptr, width),
            "\u00E4\u00F6\u00FC\u00E4\u00F6\r\nab");
}

TEST(InsertFormatterTest, OutputLimitStopsHugeResults) {
  std::string big(200 * 1024, 'x');
  Args args({Str(big.c_str())});
  EXPECT_EQ(FormatError("%1", &args.arguments), ERROR_MORE_DATA);
  // A width of 2^30 from an argument fails before anything that size is built.
  Args wide({DWORD_PTR{1} << 30, Str("x")});
  EXPECT_EQ(FormatError("%1!*s!", &wide.arguments), ERROR_MORE_DATA);
  EXPECT_EQ(FormatError("%1!1000000s!", &wide.arguments), ERROR_MORE_DATA);
}

}  // namespace
}  // namespace tamsel::platform::messages
