// Tests of SIDs, account lookup on named machines and the process token.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "platform/accounts/account_names.h"
#include "platform/accounts/lookup_account.h"
#include "platform/accounts/sid.h"
#include "platform/accounts/token.h"
#include "platform/network/last_error.h"
#include "platform/network/network.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::accounts {
namespace {

TEST(SidTest, TextAndBinaryFormsRoundTrip) {
  auto admins = Sid::FromString("S-1-5-32-544");
  ASSERT_TRUE(admins);
  const std::vector<std::uint8_t> expected = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0};
  EXPECT_EQ(admins->Bytes(), expected);
  EXPECT_EQ(Sid::FromBytes(expected)->ToString(), "S-1-5-32-544");
  EXPECT_EQ(Sid::FromString("s-1-5")->ToString(), "S-1-5");
  EXPECT_EQ(Sid::FromString("S-1-0x123456789ABC-7")->ToString(), "S-1-0x123456789ABC-7");
  EXPECT_EQ(Sid::FromString("S-1-5-4294967295")->SubAuthorities().back(), 4294967295u);
}

TEST(SidTest, MalformedSidsAreRefused) {
  for (const char* text :
       {"", "S", "S-1", "S-2-5", "X-1-5", "S-1-5-", "S-1--5", "S-1-5-4294967296",
        "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", "S-1-5-1a", "S-1-0x1000000000000"}) {
    EXPECT_FALSE(Sid::FromString(text)) << text;
  }
  std::vector<std::uint8_t> bytes = Sid(5, {18}).Bytes();
  EXPECT_FALSE(Sid::FromBytes({bytes.data(), bytes.size() - 1}));  // length disagrees with count
  bytes[0] = 2;
  EXPECT_FALSE(Sid::FromBytes(bytes));  // revision
  bytes[0] = 1;
  bytes[1] = 16;
  EXPECT_FALSE(Sid::FromPointer(bytes.data(), bytes.size()));
}

class LookupTest : public ::testing::Test {
 protected:
  LookupTest() : scoped_(network::Network(temp_.Path(), "LOCALPC")) {
    network::Network::Current().CreateMachineFolder("LOCALPC");
    network::Network::Current().CreateMachineFolder("SRV01");
  }

  // LookupAccountSidA with 256-character buffers, as the collector calls it.
  std::string Lookup(const char* machine, const Sid& sid, Win32Error* error = nullptr,
                     SID_NAME_USE* use = nullptr) {
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE ignored;
    std::vector<std::uint8_t> bytes = sid.Bytes();
    if (!LookupAccountSidA(machine, bytes.data(), name, &nameSize, domain, &domainSize,
                           use ? use : &ignored)) {
      if (error) *error = GetLastError();
      return "";
    }
    return *domain ? std::string(domain) + "\\" + name : std::string(name);
  }

  tamsel::testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork scoped_;
};

TEST_F(LookupTest, WellKnownSidsResolveOnEveryMachine) {
  SID_NAME_USE use = SidTypeInvalid;
  EXPECT_EQ(Lookup("SRV01", *Sid::FromString("S-1-5-18"), nullptr, &use), "NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(use, SidTypeWellKnownGroup);
  EXPECT_EQ(Lookup(nullptr, *Sid::FromString("S-1-5-32-544"), nullptr, &use),
            "BUILTIN\\Administrators");
  EXPECT_EQ(use, SidTypeAlias);
  EXPECT_EQ(Lookup("\\\\srv01", *Sid::FromString("S-1-1-0")), "Everyone");
  EXPECT_EQ(Lookup("LOCALPC", *Sid::FromString("S-1-5-20")), "NT AUTHORITY\\NETWORK SERVICE");
}

TEST_F(LookupTest, MachineAccountsLiveInThatMachinesRegistry) {
  Sid alice = MachineDomainSid("SRV01").WithRid(1001);
  ASSERT_EQ(AddAccount("SRV01", alice, "alice"), ERROR_SUCCESS);
  EXPECT_EQ(Lookup("SRV01", alice), "SRV01\\alice");
  Win32Error error = 0;
  EXPECT_EQ(Lookup("LOCALPC", alice, &error), "");  // another machine does not know her
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
  EXPECT_EQ(Lookup("SRV01", MachineDomainSid("SRV01").WithRid(500)), "SRV01\\Administrator");
  ASSERT_EQ(AddAccount("SRV01", MachineDomainSid("SRV01").WithRid(500), "root", "CORP"),
            ERROR_SUCCESS);  // renamed by an administrator
  EXPECT_EQ(Lookup("SRV01", MachineDomainSid("SRV01").WithRid(500)), "CORP\\root");
  ASSERT_EQ(RemoveAccount("SRV01", alice), ERROR_SUCCESS);
  EXPECT_EQ(Lookup("SRV01", alice, &error), "");
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
  EXPECT_EQ(MachineDomainSid("srv01"), MachineDomainSid("\\\\SRV01"));
  EXPECT_NE(MachineDomainSid("SRV01"), MachineDomainSid("SRV02"));
}

TEST_F(LookupTest, FailuresCarryWindowsCodes) {
  Win32Error error = 0;
  Lookup("SRV01", *Sid::FromString("S-1-5-21-1-2-3-4444"), &error);
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
  Lookup("SRV01", *Sid::FromString("S-1-5-5-0-999"), &error);  // logon session
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
  Lookup("NOSUCH", *Sid::FromString("S-1-5-18"), &error);
  EXPECT_EQ(error, RPC_S_SERVER_UNAVAILABLE);

  const std::uint8_t bad[12] = {3, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  char name[64];
  char domain[64];
  DWORD nameSize = 64;
  DWORD domainSize = 64;
  SID_NAME_USE use;
  EXPECT_FALSE(LookupAccountSidA("SRV01", bad, name, &nameSize, domain, &domainSize, &use));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);

  // Too small: both sizes come back, NUL included.
  std::vector<std::uint8_t> system = Sid(5, {18}).Bytes();
  nameSize = 3;
  domainSize = 64;
  EXPECT_FALSE(
      LookupAccountSidA("SRV01", system.data(), name, &nameSize, domain, &domainSize, &use));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(nameSize, 7u);
  EXPECT_EQ(domainSize, 13u);
  ASSERT_TRUE(
      LookupAccountSidA("SRV01", system.data(), name, &nameSize, domain, &domainSize, &use));
  EXPECT_STREQ(name, "SYSTEM");
  EXPECT_STREQ(domain, "NT AUTHORITY");
}

TEST_F(LookupTest, ProcessTokenUser) {
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, 1, &token));
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD size = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, block.data(), size, &size));
  auto* user = reinterpret_cast<TOKEN_USER*>(block.data());
  auto sid = Sid::FromPointer(user->User.Sid);
  ASSERT_TRUE(sid);
  EXPECT_EQ(*sid, SidForUid(geteuid(), "LOCALPC"));
  EXPECT_NE(Lookup(nullptr, *sid), "");  // the token user always has a name locally
  EXPECT_TRUE(CloseHandle(token));
  EXPECT_FALSE(CloseHandle(token));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  EXPECT_EQ(SidForUid(0, "ANY").ToString(), "S-1-5-18");
  EXPECT_TRUE(SidForUid(1000, "LOCALPC").IsInDomain(MachineDomainSid("LOCALPC")));
  EXPECT_EQ(SidForUid(1000, "LOCALPC").SubAuthorities().back(), 2000u);
}

}  // namespace
}  // namespace tamsel::platform::accounts
