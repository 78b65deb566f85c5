// Tests of AppAdmin's user methods through the public interface: adding with the key handed
// back, the asterisk rule of editing, the masked reads, deleting, login against Argon2id
// hashes with one refusal code, password changes, the two empty methods, and traces that
// never show a password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/admin_procedures.h"
#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "reports/admin/admin_test_support.h"

namespace tamsel::reports::admin {
namespace {

namespace com = platform::com;
using testing::AdminTestEnvironment;
using testing::Call;
using testing::CallWithDocument;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ScopedProcedureBody;
using ::testing::StartsWith;

class AppUserMethodsTest : public ::testing::TestWithParam<platform::data::Engine> {
 protected:
  void SetUp() override {
    if (!env_.Available()) GTEST_SKIP() << env_.SkipReason();
  }

  // AppUserAdd with `xml`; `answer` receives sXml after the call.
  std::int32_t Add(const std::string& xml, std::string* answer = nullptr) {
    return CallWithDocument("AppAdmin.AppUserAdd", xml, answer);
  }
  // Adds a user and returns its key.
  std::string AddUser(const std::string& name, const std::string& password, int role = 2) {
    std::string answer;
    EXPECT_EQ(Add("<USER AppUserName=\"" + name +
                      "\" AppUserFirstName=\"F\" "
                      "AppUserLastName=\"L\" AppUserPassword=\"" +
                      password + "\" AppRoleID=\"" + std::to_string(role) + "\"/>",
                  &answer),
              0);
    return env_.Scalar("SELECT AppUserID FROM AppUser WHERE AppUserName = '" + name + "'");
  }
  std::int32_t LogIn(const std::string& name, const std::string& password,
                     std::string* answer = nullptr) {
    com::Arguments args{
        Variant("<LOGIN AppUserName=\"" + name + "\" AppUserPassword=\"" + password + "\"/>")};
    std::int32_t result = Call("AppAdmin.AppUserLogIn", args);
    if (answer) *answer = args[0].value.CStr();
    return result;
  }
  std::int32_t Edit(const std::string& xml) {
    com::Arguments args{Variant(xml)};
    return Call("AppAdmin.AppUserEdit", args);
  }
  std::string StoredPassword(const std::string& id) {
    return env_.Scalar("SELECT AppUserPassword FROM AppUser WHERE AppUserID = " + id);
  }
  // No trace line written since the last look shows `secret`.
  void ExpectNoTraceShows(const std::string& secret) {
    EXPECT_THAT(env_.NewTraceTexts(), Not(Contains(HasSubstr(secret))));
  }

  AdminTestEnvironment env_{GetParam()};
};

TEST_P(AppUserMethodsTest, AddStoresAHashAndHandsBackTheNewKeyReplacingOneSent) {
  std::string answer;
  ASSERT_EQ(Add("<NEWUSER AppUserID=\"99\" AppUserName=\"alice\" AppUserFirstName=\"Alice\" "
                "AppUserLastName=\"Smith\" AppUserPassword=\"S3cret-pw\" AppRoleID=\"2\"/>",
                &answer),
            0);
  const std::string id = env_.Scalar("SELECT AppUserID FROM AppUser WHERE AppUserName = 'alice'");
  ASSERT_FALSE(id.empty());
  EXPECT_NE(id, "99");
  // The answer keeps what the page sent, the key replaced in place.
  EXPECT_EQ(answer,
            "<NEWUSER AppUserID=\"" + id +
                "\" AppUserName=\"alice\" AppUserFirstName=\"Alice\" "
                "AppUserLastName=\"Smith\" AppUserPassword=\"S3cret-pw\" AppRoleID=\"2\"/>");
  EXPECT_THAT(StoredPassword(id), StartsWith("$argon2id$"));
  EXPECT_THAT(env_.Rows("SELECT AppUserFirstName, AppUserLastName, AppRoleID FROM AppUser"),
              ElementsAre("Alice|Smith|2"));

  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_EQ(texts.front(), ">>>AppAdmin.AppUserAdd");
  EXPECT_THAT(texts, Contains("->Executing AppUserAdd, , alice, Alice, Smith, ********, 2"));
  EXPECT_THAT(texts, Contains("sXml: <NEWUSER AppUserID=\"" + id +
                              "\" AppUserName=\"alice\" AppUserFirstName=\"Alice\" "
                              "AppUserLastName=\"Smith\" AppUserPassword=\"********\" "
                              "AppRoleID=\"2\"/>"));
  EXPECT_EQ(texts.back(), "AppAdmin.AppUserAdd no errors - lngRetVal=0");
  EXPECT_THAT(texts, Not(Contains(HasSubstr("S3cret-pw"))));
}

TEST_P(AppUserMethodsTest, AddRefusalsKeepThePagesTextAndStoreNothing) {
  AddUser("bob", "pw1");
  env_.NewTraceTexts();
  const std::string taken = "<U AppUserName=\"BOB\" AppUserPassword=\"other-pw\" AppRoleID=\"2\"/>";
  std::string answer;
  EXPECT_EQ(Add(taken, &answer), db::kUserNameTaken);
  EXPECT_EQ(answer, taken);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_EQ(texts.back(), "*** ->AppAdmin.AppUserAdd error: lngRetVal=11; Err.Description= ");
  EXPECT_THAT(texts, Not(Contains(HasSubstr("other-pw"))));

  EXPECT_EQ(Add("<U AppUserName=\"carol\" AppRoleID=\"2\"/>"), db::kPasswordMissing);
  EXPECT_EQ(Add("<U AppUserName=\"carol\" AppUserPassword=\"x\" AppRoleID=\"9\"/>"),
            db::kRoleNotFound);
  EXPECT_EQ(Add("<U AppUserPassword=\"x\" AppRoleID=\"2\"/>"), db::kUserNameInvalid);
  // Text that does not parse fails at the first attribute read.
  EXPECT_EQ(Add("<U AppUserName=\"carol\" AppUserPassword=\"leak-me\""), 91);
  EXPECT_THAT(env_.Rows("SELECT AppUserName FROM AppUser"), ElementsAre("bob"));
  ExpectNoTraceShows("leak-me");
}

TEST_P(AppUserMethodsTest, LoginAcceptsTheRightPasswordAndRefusesUnknownNamesAlike) {
  const std::string id = AddUser("alice", "right-pw", 1);
  env_.NewTraceTexts();
  std::string answer;
  ASSERT_EQ(LogIn("ALICE", "right-pw", &answer), 0);
  EXPECT_EQ(answer, "<LOGIN AppUserName=\"ALICE\" AppUserPassword=\"right-pw\" AppUserID=\"" + id +
                        "\" AppRoleID=\"1\"/>");
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AppUserLogIn, , , ALICE, ********"));
  EXPECT_THAT(texts, Contains("sXml: <LOGIN AppUserName=\"ALICE\" AppUserPassword=\"********\" "
                              "AppUserID=\"" +
                              id + "\" AppRoleID=\"1\"/>"));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("right-pw"))));

  // A wrong password and an unknown name get the same code, and the page's text back.
  const std::int32_t wrong = LogIn("alice", "wrong-pw", &answer);
  EXPECT_EQ(answer, "<LOGIN AppUserName=\"alice\" AppUserPassword=\"wrong-pw\"/>");
  const std::int32_t unknown = LogIn("mallory", "right-pw", &answer);
  EXPECT_EQ(answer, "<LOGIN AppUserName=\"mallory\" AppUserPassword=\"right-pw\"/>");
  EXPECT_EQ(wrong, db::kLoginRefused);
  EXPECT_EQ(unknown, wrong);
  EXPECT_EQ(LogIn("alice", ""), db::kLoginRefused);
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("*** ->AppAdmin.AppUserLogIn error: lngRetVal=15; "
                              "Err.Description= "));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("wrong-pw"))));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("right-pw"))));
}

TEST_P(AppUserMethodsTest, LoginAcceptsTheFirstAdministratorAndNoPasswordStoredInClear) {
  const std::int64_t admin = env_.CreateAdministrator("admin", "Pa55-first");
  EXPECT_EQ(LogIn("admin", "Pa55-first"), 0);
  EXPECT_EQ(LogIn("admin", "pa55-first"), db::kLoginRefused);
  // A row whose password was written in clear never logs in, even with that text.
  env_.Exec("UPDATE AppUser SET AppUserPassword = 'Pa55-first' WHERE AppUserID = " +
            std::to_string(admin));
  EXPECT_EQ(LogIn("admin", "Pa55-first"), db::kLoginRefused);
}

TEST_P(AppUserMethodsTest, EditLeavesThePasswordForAnyAsteriskOrNoneAndChangesItOtherwise) {
  const std::string id = AddUser("alice", "first-pw");
  const std::string before = StoredPassword(id);
  env_.NewTraceTexts();
  for (const std::string& masked :
       {std::string(" AppUserPassword=\"********\""), std::string(" AppUserPassword=\"*\""),
        std::string(" AppUserPassword=\"new*pw\""), std::string()}) {
    SCOPED_TRACE(masked);
    ASSERT_EQ(Edit("<USER AppUserID=\"" + id + "\" AppUserFirstName=\"Al\" AppUserLastName=\"Sm\"" +
                   masked + " AppRoleID=\"1\"/>"),
              0);
    EXPECT_EQ(StoredPassword(id), before);
    std::vector<std::string> texts = env_.NewTraceTexts();
    EXPECT_THAT(texts, Contains("->Executing AppUserEdit, " + id + ", Al, Sm, , 1"));
    EXPECT_THAT(texts, Not(Contains(HasSubstr("sXml"))));
  }
  EXPECT_THAT(env_.Rows("SELECT AppUserName, AppUserFirstName, AppUserLastName, AppRoleID "
                        "FROM AppUser"),
              ElementsAre("alice|Al|Sm|1"));
  EXPECT_EQ(LogIn("alice", "first-pw"), 0);

  // A value without an asterisk is the new password; the raw input line is masked.
  const std::string input = "<USER AppUserID=\"" + id +
                            "\" AppUserFirstName=\"Al\" AppUserLastName=\"Sm\" "
                            "AppUserPassword=\"second-pw\" AppRoleID=\"1\"/>";
  ASSERT_EQ(Edit(input), 0);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("<USER AppUserID=\"" + id +
                              "\" AppUserFirstName=\"Al\" AppUserLastName=\"Sm\" "
                              "AppUserPassword=\"********\" AppRoleID=\"1\"/>"));
  EXPECT_THAT(texts, Contains("->Executing AppUserEdit, " + id + ", Al, Sm, ********, 1"));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("second-pw"))));
  EXPECT_EQ(LogIn("alice", "first-pw"), db::kLoginRefused);
  EXPECT_EQ(LogIn("alice", "second-pw"), 0);

  EXPECT_EQ(Edit("<USER AppUserID=\"424\" AppUserPassword=\"***\"/>"), db::kUserNotFound);
}

TEST_P(AppUserMethodsTest, ReadsHandOutTheMaskNeverTheHashAndTheMaskEditsNothing) {
  // No users yet: the bare list.
  com::Arguments list{Variant()};
  ASSERT_EQ(Call("AppAdmin.AppUserListGet", list), 0);
  EXPECT_EQ(list[0].value.CStr(), "<USERLIST/>");
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AppUserListGet"));
  EXPECT_THAT(texts, Contains("sXml <USERLIST/>"));

  const std::string a = AddUser("alice", "pw-a", 1);
  const std::string b = AddUser("bob", "pw-b", 2);
  ASSERT_EQ(Call("AppAdmin.AppUserListGet", list), 0);
  EXPECT_EQ(list[0].value.CStr(),
            "<USERLIST><USER AppUserID=\"" + a +
                "\" AppUserName=\"alice\" AppUserFirstName=\"F\" AppUserLastName=\"L\" "
                "AppUserPassword=\"********\" AppRoleID=\"1\" AppRoleName=\"Administrator\"/>"
                "<USER AppUserID=\"" +
                b +
                "\" AppUserName=\"bob\" AppUserFirstName=\"F\" AppUserLastName=\"L\" "
                "AppUserPassword=\"********\" AppRoleID=\"2\" AppRoleName=\"User\"/></USERLIST>");

  com::Arguments info{Variant(b), Variant()};
  ASSERT_EQ(Call("AppAdmin.AppUserInfoGet", info), 0);
  const std::string userInfo = info[1].value.CStr();
  EXPECT_EQ(userInfo, "<UserInfo AppUserID=\"" + b +
                          "\" AppUserName=\"bob\" AppUserFirstName=\"F\" AppUserLastName=\"L\" "
                          "AppUserPassword=\"********\" AppRoleID=\"2\" AppRoleName=\"User\"/>");
  texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("->Executing AppUserInfoGet, " + b));
  EXPECT_THAT(texts, Contains("sXml " + userInfo));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("argon2"))));

  // The page sends the document back unchanged: the password stays.
  const std::string hash = StoredPassword(b);
  ASSERT_EQ(Edit(userInfo), 0);
  EXPECT_EQ(StoredPassword(b), hash);
  EXPECT_EQ(LogIn("bob", "pw-b"), 0);

  // An unknown key is no failure: the bare element.
  com::Arguments unknown{Variant(777), Variant("kept?")};
  ASSERT_EQ(Call("AppAdmin.AppUserInfoGet", unknown), 0);
  EXPECT_EQ(unknown[1].value.CStr(), "<UserInfo/>");
}

TEST_P(AppUserMethodsTest, ANullColumnFailsTheReadWithNinetyFourAndNoAnswer) {
  // Even the password column, whose value is never handed out, must be there.
  ScopedProcedureBody nullPassword("AppUserListGet", [](auto& call, auto&) {
    call.SelectRows(
        "SELECT 1 AS AppUserID, 'a' AS AppUserName, 'F' AS AppUserFirstName, "
        "'L' AS AppUserLastName, NULL AS AppUserPassword, 2 AS AppRoleID, "
        "'User' AS AppRoleName");
    return 0;
  });
  com::Arguments list{Variant("before")};
  EXPECT_EQ(Call("AppAdmin.AppUserListGet", list), 94);
  EXPECT_EQ(list[0].value, Variant("before"));
  EXPECT_EQ(env_.NewTraceTexts().back(),
            "*** ->AppAdmin.AppUserListGet error: lngRetVal=94; Err.Description= Invalid use of "
            "Null");
}

TEST_P(AppUserMethodsTest, PasswordChangePassesAsterisksOnAndDeleteRemovesTheUsersWork) {
  const std::string id = AddUser("alice", "old-pw");
  env_.NewTraceTexts();
  com::Arguments change{Variant("<PW AppUserID=\"" + id + "\" AppUserPassword=\"n*w-pw\"/>")};
  ASSERT_EQ(Call("AppAdmin.AppUserPasswordChange", change), 0);
  std::vector<std::string> texts = env_.NewTraceTexts();
  EXPECT_THAT(texts, Contains("<PW AppUserID=\"" + id + "\" AppUserPassword=\"********\"/>"));
  EXPECT_THAT(texts, Contains("->Executing AppUserPasswordChange, " + id + ", ********"));
  EXPECT_THAT(texts, Not(Contains(HasSubstr("n*w-pw"))));
  EXPECT_EQ(LogIn("alice", "n*w-pw"), 0);
  EXPECT_EQ(LogIn("alice", "old-pw"), db::kLoginRefused);
  change = {Variant("<PW AppUserID=\"" + id + "\" AppUserPassword=\"\"/>")};
  EXPECT_EQ(Call("AppAdmin.AppUserPasswordChange", change), db::kPasswordMissing);
  change = {Variant("<PW AppUserID=\"555\" AppUserPassword=\"x\"/>")};
  EXPECT_EQ(Call("AppAdmin.AppUserPasswordChange", change), db::kUserNotFound);

  // The user's saved reports and alerts go with the user; other users' stay.
  const std::string other = AddUser("bob", "pw");
  env_.Exec("INSERT INTO SavedReportHdr (SavedReportHdrID, AppUserID) VALUES (1, " + id +
            "), (2, " + other + ")");
  env_.Exec("INSERT INTO SavedReportItem VALUES (1, 0, 'a'), (2, 0, 'b')");
  env_.Exec("INSERT INTO AlertHdr (AlertHdrID, AppUserID) VALUES (5, " + id + ")");
  env_.Exec("INSERT INTO AlertItem VALUES (5, 0, 'x')");
  env_.Exec("INSERT INTO AlertRecipient (AlertHdrID, Email) VALUES (5, 'a@example.com')");
  env_.NewTraceTexts();
  com::Arguments remove{Variant(std::stoi(id))};
  ASSERT_EQ(Call("AppAdmin.AppUserDelete", remove), 0);
  EXPECT_THAT(env_.NewTraceTexts(), Contains("->Executing AppUserDelete, " + id));
  EXPECT_THAT(env_.Rows("SELECT AppUserName FROM AppUser"), ElementsAre("bob"));
  EXPECT_THAT(env_.Rows("SELECT SavedReportHdrID FROM SavedReportHdr"), ElementsAre("2"));
  EXPECT_THAT(env_.Rows("SELECT SavedReportHdrID FROM SavedReportItem"), ElementsAre("2"));
  EXPECT_THAT(env_.Rows("SELECT 1 FROM AlertHdr UNION ALL SELECT 1 FROM AlertItem "
                        "UNION ALL SELECT 1 FROM AlertRecipient"),
              IsEmpty());
  EXPECT_EQ(Call("AppAdmin.AppUserDelete", remove), db::kUserNotFound);
  EXPECT_THAT(env_.NewTraceTexts(),
              Contains("*** ->AppAdmin.AppUserDelete error: lngRetVal=12; Err.Description= "));
}

TEST_P(AppUserMethodsTest, TheTwoEmptyMethodsAnswerZeroTouchNothingAndTraceNothing) {
  // No configuration, no transaction: neither is used.
  env_.RemoveAppConfig();
  env_.NewTraceTexts();
  com::Arguments nav{Variant(3), Variant("<NAV keep=\"1\"/>")};
  EXPECT_EQ(Call("AppAdmin.AppUserNavItemListGet", nav, false), 0);
  EXPECT_EQ(nav[1].value, Variant("<NAV keep=\"1\"/>"));
  for (const Variant& given : {Variant(true), Variant(false), Variant()}) {
    com::Arguments check{Variant(3), Variant(17), given};
    EXPECT_EQ(Call("AppAdmin.AppUserPageAccessCheck", check, false), 0);
    EXPECT_EQ(check[2].value, given);
  }
  EXPECT_THAT(env_.NewTraceTexts(), IsEmpty());
  // A database method in the same state fails as the frame says.
  com::Arguments list{Variant()};
  EXPECT_EQ(Call("AppAdmin.AppUserListGet", list, false), -102);
}

TAMSEL_ON_BOTH_ENGINES(AppUserMethodsTest);

}  // namespace
}  // namespace tamsel::reports::admin
