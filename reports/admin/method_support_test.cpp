// Tests of the masking of password values in the trace lines that echo a user document,
// whatever the text's quoting or well-formedness.
#include "reports/admin/method_support.h"

#include <gtest/gtest.h>

namespace tamsel::reports::admin {
namespace {

TEST(MaskPasswordsTest, MasksEveryPasswordValueInAnyQuotingAndLeavesTheRest) {
  EXPECT_EQ(MaskPasswords("<U AppUserPassword=\"abc\" AppUserName=\"n\"/>"),
            "<U AppUserPassword=\"********\" AppUserName=\"n\"/>");
  EXPECT_EQ(MaskPasswords("<U AppUserPassword = 'a\"b' x='1'/>"),
            "<U AppUserPassword = '********' x='1'/>");
  EXPECT_EQ(MaskPasswords("<U AppUserPassword=\"a&amp;b\"><V AppUserPassword=\"c\"/></U>"),
            "<U AppUserPassword=\"********\"><V AppUserPassword=\"********\"/></U>");
  // Text that is no XML is masked all the same: unquoted, unterminated.
  EXPECT_EQ(MaskPasswords("<U AppUserPassword=secret x=1>"), "<U AppUserPassword=******** x=1>");
  EXPECT_EQ(MaskPasswords("<U AppUserPassword=\"secret"), "<U AppUserPassword=\"********");
  // An empty value stays empty; a name without a value is no attribute.
  EXPECT_EQ(MaskPasswords("<U AppUserPassword=\"\"/>"), "<U AppUserPassword=\"\"/>");
  EXPECT_EQ(MaskPasswords("<AppUserPassword/>"), "<AppUserPassword/>");
  EXPECT_EQ(MaskPasswords(""), "");
}

}  // namespace
}  // namespace tamsel::reports::admin
