// Tests of the administration procedures as the provider calls them, bound by position:
// salted hashes and name limits of the user procedures, deletions that leave no row pointing
// at nothing, and the refusals of values the component passes as NULL.
#include "database/admin_procedures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sodium.h>

#include "database/database_file.h"
#include "database/engine_test_support.h"
#include "database/password_hash.h"
#include "platform/data/command.h"
#include "platform/data/data_test_support.h"

namespace tamsel::db {
namespace {

using platform::com::Variant;
using namespace platform::data;  // ADO's constants, as the callers spell them
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AdminProceduresTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    file_ = LocalCatalogFile(kDefaultCatalog);
    std::string why;
    const auto connection = CreateTestDatabase(GetParam(), why);
    if (!connection) GTEST_SKIP() << why;
    conn_.Open(*connection);
  }

  // Calls `name` with "lngRetVal" first and `values` as inputs (outputs where `outputs` says);
  // returns the RETURN value, `command` keeps the outputs.
  int Run(const char* name, const std::vector<Variant>& values,
          const std::vector<bool>& outputs = {}, Command* kept = nullptr) {
    Command command = ProcedureCommand(conn_, name);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const bool output = i < outputs.size() && outputs[i];
      command.GetParameters().Append(command.CreateParameter(
          "@p" + std::to_string(i),
          values[i].Type() == platform::com::VarType::BStr ? adVarChar : adInteger,
          output ? adParamOutput : adParamInput, 0, values[i]));
    }
    command.Execute(adExecuteNoRecords);
    if (kept) *kept = command;
    return command.GetParameters().Item("lngRetVal").Value().CLng();
  }
  int AddUser(const std::string& name, const std::string& password) {
    Command command;
    int result =
        Run("AppUserAdd",
            {Variant(), Variant(name), Variant("F"), Variant("L"), Variant(password), Variant(2)},
            {true}, &command);
    return result == 0 ? command.GetParameters().Item(1).Value().CLng() : -result;
  }
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    for (Recordset rs = conn_.Execute(sql); !rs.IsEOF(); rs.MoveNext()) {
      rows.push_back(rs[0L].IsNull() ? "NULL" : rs[0L].CStr());
    }
    return rows;
  }

  TestNetwork net_;
  std::filesystem::path file_;
  Connection conn_;
};

TEST_P(AdminProceduresTest, UserPasswordsAreSaltedArgon2idHashesAndNamesHaveFiftyCharacters) {
  const int a = AddUser("alice", "same-pw");
  const int b = AddUser("bob", "same-pw");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  const std::vector<std::string> hashes = Rows("SELECT AppUserPassword FROM AppUser");
  ASSERT_EQ(hashes.size(), 2u);
  EXPECT_NE(hashes[0], hashes[1]);
  for (const std::string& hash : hashes) {
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u);
    EXPECT_TRUE(VerifyPassword(hash, "same-pw"));
  }
  EXPECT_EQ(AddUser(std::string(51, 'n'), "pw"), -kUserNameInvalid);
  std::string accented;
  for (int i = 0; i < 50; ++i) accented += "\xC3\xA9";  // fifty characters, a hundred bytes
  EXPECT_GT(AddUser(accented, "pw"), 0);
  EXPECT_EQ(AddUser("", "pw"), -kUserNameInvalid);

  // Edit: NULL keeps a value, an unknown role is refused and changes nothing.
  EXPECT_EQ(Run("AppUserEdit",
                {Variant(a), Variant::Null(), Variant("Smith"), Variant::Null(), Variant::Null()}),
            0);
  EXPECT_THAT(Rows("SELECT AppUserFirstName || AppUserLastName || AppRoleID FROM AppUser "
                   "WHERE AppUserID = " +
                   std::to_string(a)),
              ElementsAre("FSmith2"));
  EXPECT_EQ(
      Run("AppUserEdit", {Variant(a), Variant("X"), Variant("Y"), Variant::Null(), Variant(7)}),
      kRoleNotFound);
  EXPECT_EQ(Run("AppUserEdit", {Variant(a), Variant("X"), Variant("Y"), Variant(""), Variant(1)}),
            kPasswordMissing);
}

TEST_P(AdminProceduresTest, LoginTakesOnlyArgon2idHashes) {
  const int a = AddUser("alice", "pw-1");
  Command login;
  ASSERT_EQ(Run("AppUserLogIn", {Variant(), Variant(), Variant("alice"), Variant("pw-1")},
                {true, true}, &login),
            0);
  EXPECT_EQ(login.GetParameters().Item(1).Value().CLng(), a);
  EXPECT_EQ(login.GetParameters().Item(2).Value().CLng(), 2);
  // An Argon2i hash of the right password is not one this system writes: refused.
  ASSERT_GE(sodium_init(), 0);
  char argon2i[crypto_pwhash_STRBYTES];
  ASSERT_EQ(crypto_pwhash_str_alg(argon2i, "pw-1", 4, crypto_pwhash_argon2i_OPSLIMIT_INTERACTIVE,
                                  crypto_pwhash_argon2i_MEMLIMIT_INTERACTIVE,
                                  crypto_pwhash_ALG_ARGON2I13),
            0);
  conn_.Execute("UPDATE AppUser SET AppUserPassword = '" + std::string(argon2i) + "'");
  EXPECT_EQ(
      Run("AppUserLogIn", {Variant(), Variant(), Variant("alice"), Variant("pw-1")}, {true, true}),
      kLoginRefused);
  EXPECT_EQ(
      Run("AppUserLogIn", {Variant(), Variant(), Variant::Null(), Variant::Null()}, {true, true}),
      kLoginRefused);
}

TEST_P(AdminProceduresTest, DeletionsLeaveNoRowPointingAtNothing) {
  const int a = AddUser("alice", "pw");
  conn_.Execute("INSERT INTO SavedReportHdr (SavedReportHdrID, AppUserID) VALUES (1, " +
                std::to_string(a) + ")");
  conn_.Execute("INSERT INTO SavedReportItem VALUES (1, 0, 'x')");
  conn_.Execute("INSERT INTO AlertHdr (AlertHdrID, AppUserID) VALUES (4, " + std::to_string(a) +
                ")");
  conn_.Execute("INSERT INTO AlertRecipient (AlertHdrID) VALUES (4)");
  conn_.Execute("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01')");
  conn_.Execute("INSERT INTO LogType (LogTypeID, LogTypeName) VALUES (1, 'System')");
  conn_.Execute("INSERT INTO ELServerLogType VALUES (1, 1)");
  conn_.Execute("INSERT INTO EventExclusion VALUES (1, 2)");
  EXPECT_EQ(Run("AppUserDelete", {Variant(a)}), 0);
  EXPECT_EQ(Run("ServerDelete", {Variant(1)}), 0);
  EXPECT_THAT(Rows("SELECT COUNT(*) FROM SavedReportHdr"), ElementsAre("0"));
  EXPECT_THAT(Rows("SELECT COUNT(*) FROM AlertRecipient"), ElementsAre("0"));
  EXPECT_THAT(Rows("SELECT COUNT(*) FROM EventExclusion"), ElementsAre("0"));
  conn_.Close();
  // The server enforces its references itself; the file's are checked after the fact.
  if (GetParam() == Engine::Embedded) {
    EXPECT_THAT(CheckDatabase(file_), IsEmpty());
  }
}

TEST_P(AdminProceduresTest, ValuesMissingAreRefusedWithTheirCodes) {
  conn_.Execute("INSERT INTO ELServer (ELServerID, ELServerName) VALUES (1, 'SRV01')");
  EXPECT_EQ(Run("LogEntriesClear", {Variant::Null(), Variant()}, {false, true}), kTimeMissing);
  EXPECT_EQ(Run("EventExclusionDelete", {Variant(1), Variant::Null()}), kPairIncomplete);
  EXPECT_EQ(Run("EventExclusionInsert", {Variant::Null(), Variant(1)}), kPairIncomplete);
  EXPECT_EQ(Run("ServerDisable", {Variant::Null()}), kServerNotFound);
  EXPECT_EQ(Run("ServerDelete", {Variant(2)}), kServerNotFound);
  EXPECT_EQ(Run("ServerAdd", {Variant(), Variant(std::string(51, 's')), Variant::Null()}, {true}),
            kServerNameInvalid);
  EXPECT_EQ(Run("AppUserPasswordChange", {Variant::Null(), Variant("x")}), kUserNotFound);
  // A batch with no server named deletes nothing and says so.
  Command batch;
  EXPECT_EQ(Run("LogEntryTop1000Delete", {Variant::Null(), Variant()}, {false, true}, &batch), 0);
  EXPECT_EQ(batch.GetParameters().Item(2).Value().CLng(), 0);
}

TAMSEL_ON_BOTH_ENGINES(AdminProceduresTest);

}  // namespace
}  // namespace tamsel::db
