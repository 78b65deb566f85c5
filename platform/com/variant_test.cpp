// Tests of Visual Basic's conversion rules, error numbers and date arithmetic of Variant.
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include "platform/com/com_error.h"

namespace tamsel::platform::com {
namespace {

template <typename F>
int ErrorNumber(F&& f) {
  try {
    f();
  } catch (const ComError& error) {
    return error.Number();
  }
  return 0;
}

TEST(VariantTest, IntegerConversionsRoundHalfToEvenAndCheckRange) {
  EXPECT_EQ(Variant(2.5).CInt(), 2);
  EXPECT_EQ(Variant(3.5).CInt(), 4);
  EXPECT_EQ(Variant(-2.5).CInt(), -2);
  EXPECT_EQ(Variant(32767.4).CInt(), 32767);
  EXPECT_EQ(Variant(-32768.5).CInt(), -32768);
  EXPECT_EQ(ErrorNumber([] { Variant(32767.5).CInt(); }), kVbOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant(32768).CInt(); }), kVbOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant(-32769).CInt(); }), kVbOverflow);
  EXPECT_EQ(Variant(std::int32_t{-32768}).CInt(), -32768);
  EXPECT_EQ(Variant(2147483647.0).CLng(), 2147483647);
  EXPECT_EQ(ErrorNumber([] { Variant(2147483647.5).CLng(); }), kVbOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant(-2147483649.0).CLng(); }), kVbOverflow);
  EXPECT_EQ(Variant(true).CInt(), -1);
  EXPECT_EQ(Variant().CLng(), 0);
}

TEST(VariantTest, NumericTextIsParsedAndOtherTextIsATypeMismatch) {
  EXPECT_EQ(Variant(" 42 ").CLng(), 42);
  EXPECT_EQ(Variant("-7").CInt(), -7);
  EXPECT_EQ(Variant("12.5").CInt(), 12);
  EXPECT_EQ(Variant("1,000").CLng(), 1000);
  EXPECT_EQ(Variant("1e3").CLng(), 1000);
  EXPECT_EQ(Variant("&H10").CInt(), 16);
  EXPECT_EQ(Variant("&HFFFF").CInt(), -1);
  EXPECT_EQ(ErrorNumber([] { Variant("40000").CInt(); }), kVbOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant("abc").CLng(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("").CLng(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("12abc").CDbl(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("1e").CDbl(); }), kVbTypeMismatch);
  EXPECT_TRUE(Variant("3.25").IsNumeric());
  EXPECT_FALSE(Variant("x3").IsNumeric());
  EXPECT_FALSE(Variant::Null().IsNumeric());
}

TEST(VariantTest, NullIsInvalidUseForEveryConversion) {
  const Variant null = Variant::Null();
  EXPECT_EQ(ErrorNumber([&] { null.CInt(); }), kVbInvalidUseOfNull);
  EXPECT_EQ(ErrorNumber([&] { null.CLng(); }), kVbInvalidUseOfNull);
  EXPECT_EQ(ErrorNumber([&] { null.CStr(); }), kVbInvalidUseOfNull);
  EXPECT_EQ(ErrorNumber([&] { null.CBool(); }), kVbInvalidUseOfNull);
  EXPECT_EQ(ErrorNumber([&] { null.CDate(); }), kVbInvalidUseOfNull);
}

TEST(VariantTest, TextOfEachType) {
  EXPECT_EQ(Variant().CStr(), "");
  EXPECT_EQ(Variant(std::int16_t{-5}).CStr(), "-5");
  EXPECT_EQ(Variant(0.5).CStr(), "0.5");
  EXPECT_EQ(Variant(1.0 / 3).CStr(), "0.333333333333333");
  EXPECT_EQ(Variant(1e20).CStr(), "1E+20");
  EXPECT_EQ(Variant(-0.0).CStr(), "0");
  EXPECT_EQ(Variant(true).CStr(), "True");
  EXPECT_EQ(Variant(false).CStr(), "False");
  EXPECT_EQ(Variant::Date({2026, 12, 7, 14, 5, 9}).CStr(), "12/7/2026 2:05:09 PM");
  EXPECT_EQ(Variant::Date({2026, 1, 2, 0, 0, 0}).CStr(), "1/2/2026");
  EXPECT_EQ(Variant::Date(0.5).CStr(), "12:00:00 PM");
  EXPECT_EQ(Variant::Date(0.0).CStr(), "12:00:00 AM");
}

TEST(VariantTest, BooleanConversion) {
  EXPECT_TRUE(Variant(" true ").CBool());
  EXPECT_FALSE(Variant("FALSE").CBool());
  EXPECT_TRUE(Variant("-1").CBool());
  EXPECT_FALSE(Variant(0.0).CBool());
  EXPECT_TRUE(Variant(std::int32_t{7}).CBool());
  EXPECT_EQ(ErrorNumber([] { Variant("yes").CBool(); }), kVbTypeMismatch);
}

TEST(VariantTest, OleDatesRoundTripAndHandleTheEpochEdges) {
  EXPECT_DOUBLE_EQ(OaDateFromParts({1899, 12, 30, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(OaDateFromParts({2000, 1, 1, 0, 0, 0}), 36526.0);
  EXPECT_DOUBLE_EQ(OaDateFromParts({1899, 12, 29, 6, 0, 0}), -1.25);
  const DateParts before = OaDateToParts(-1.25);
  EXPECT_EQ(before.day, 29);
  EXPECT_EQ(before.hour, 6);
  const DateParts leap = OaDateToParts(OaDateFromParts({2024, 2, 29, 23, 59, 59}));
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.second, 59);
  // A fraction a hair below midnight rounds into the next day, not to 24:00:00.
  const DateParts carry = OaDateToParts(36526.0 - 1e-9);
  EXPECT_EQ(carry.year, 2000);
  EXPECT_EQ(carry.hour, 0);
  EXPECT_EQ(ErrorNumber([] { OaDateFromParts({2023, 2, 29, 0, 0, 0}); }), kVbInvalidCall);
  EXPECT_EQ(ErrorNumber([] { OaDateFromParts({2023, 1, 1, 24, 0, 0}); }), kVbInvalidCall);
}

TEST(VariantTest, DateTextParsing) {
  EXPECT_DOUBLE_EQ(Variant("1/1/2000").CDate(), 36526.0);
  EXPECT_DOUBLE_EQ(Variant("2000-01-01 12:00:00").CDate(), 36526.5);
  EXPECT_DOUBLE_EQ(Variant("12/31/1999 11:00 PM").CDate(), 36525.0 + 23.0 / 24);
  EXPECT_DOUBLE_EQ(Variant("1/1/29").CDate(), OaDateFromParts({2029, 1, 1, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(Variant("1/1/30").CDate(), OaDateFromParts({1930, 1, 1, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(Variant("6:00").CDate(), 0.25);
  EXPECT_EQ(ErrorNumber([] { Variant("2/30/2001").CDate(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("13:00 PM").CDate(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("tomorrow").CDate(); }), kVbTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant(1e9).CDate(); }), kVbOverflow);
}

TEST(VariantTest, ComparisonFollowsVariantRules) {
  EXPECT_EQ(Compare(Variant(std::int16_t{2}), Variant(2.0)), 0);
  EXPECT_EQ(Compare(Variant(1), Variant(2.5)), -1);
  EXPECT_EQ(Compare(Variant("b"), Variant("a")), 1);
  EXPECT_EQ(Compare(Variant("B"), Variant("a")), -1);  // binary comparison
  EXPECT_EQ(Compare(Variant(), Variant(0)), 0);
  EXPECT_EQ(Compare(Variant(), Variant("")), 0);
  EXPECT_EQ(Compare(Variant(5), Variant("1")), -1);  // a number sorts before text
  EXPECT_FALSE(Compare(Variant::Null(), Variant(1)).has_value());
  EXPECT_FALSE(Compare(Variant("x"), Variant::Null()).has_value());
}

TEST(VariantTest, ComparisonWithANumericLiteralReadsTextAsANumber) {
  struct Case {
    Variant value;
    int expected;
  } cases[] = {{Variant("-1"), 0}, {Variant(" -1 "), 0}, {Variant("-2"), -1}, {Variant("10"), 1},
               {Variant(-1.0), 0}, {Variant(), 1},       {Variant(true), 0},  {Variant("1e0"), 1}};
  for (const Case& c : cases)
    EXPECT_EQ(CompareWithNumber(c.value, -1), c.expected) << c.value.CStr();
  EXPECT_FALSE(CompareWithNumber(Variant::Null(), -1).has_value());
  EXPECT_EQ(ErrorNumber([] { CompareWithNumber(Variant("seven"), -1); }), kVbTypeMismatch);
}

TEST(VariantTest, IdentityDistinguishesTypes) {
  EXPECT_EQ(Variant(1), Variant(std::int32_t{1}));
  EXPECT_FALSE(Variant(1) == Variant(std::int16_t{1}));
  EXPECT_FALSE(Variant(1.0) == Variant::Date(1.0));
  EXPECT_EQ(Variant::FromInt64(5).Type(), VarType::I4);
  EXPECT_EQ(Variant::FromInt64(5'000'000'000).Type(), VarType::R8);
}

}  // namespace
}  // namespace tamsel::platform::com
