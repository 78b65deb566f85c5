// Tests of the error type: numbers, descriptions and the HRESULT a COM boundary reports.
#include "platform/com/com_error.h"

#include <gtest/gtest.h>

namespace tamsel::platform::com {
namespace {

TEST(ComErrorTest, VbErrorsCarryTheRuntimeDescriptions) {
  EXPECT_EQ(ComError::Vb(kVbTypeMismatch).Description(), "Type mismatch");
  EXPECT_EQ(ComError::Vb(kVbOverflow).Description(), "Overflow");
  EXPECT_EQ(ComError::Vb(kVbInvalidUseOfNull).Description(), "Invalid use of Null");
  EXPECT_EQ(ComError::Vb(kVbObjectNotSet).Description(),
            "Object variable or With block variable not set");
  EXPECT_EQ(ComError::Vb(kVbInvalidCall).Description(), "Invalid procedure call or argument");
  EXPECT_EQ(ComError::Vb(kVbDivisionByZero).Description(), "Division by zero");
  EXPECT_EQ(ComError::Vb(12345).Description(), "Application-defined or object-defined error");
}

TEST(ComErrorTest, NumbersAndHresults) {
  const ComError vb = ComError::Vb(kVbTypeMismatch, "TamselReportsCom");
  EXPECT_EQ(vb.Number(), 13);
  EXPECT_FALSE(vb.IsHResult());
  EXPECT_EQ(static_cast<std::uint32_t>(vb.ToHResult()), 0x800A000Du);
  EXPECT_EQ(vb.Source(), "TamselReportsCom");
  const ComError provider(static_cast<HRESULT>(0x80040E14u), "Provider", "Syntax error");
  EXPECT_TRUE(provider.IsHResult());
  EXPECT_EQ(provider.ToHResult(), provider.Number());
  EXPECT_STREQ(provider.what(), "error 0x80040E14 (Provider): Syntax error");
}

}  // namespace
}  // namespace tamsel::platform::com
