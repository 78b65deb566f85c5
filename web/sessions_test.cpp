// Sessions end when idle, tokens are long and unguessable, and repeated failed sign-ins are
// throttled per name (known or not) and per address.
#include "web/sessions.h"

#include <gtest/gtest.h>

#include <set>

namespace tamsel::web {
namespace {

using namespace std::chrono_literals;

class FakeClock {
 public:
  Clock AsClock() {
    return [this] { return now_; };
  }
  void Advance(std::chrono::seconds by) { now_ += by; }

 private:
  std::chrono::steady_clock::time_point now_{};
};

TEST(SessionStoreTest, SessionEndsAfterIdleTimeButNotWhileUsed) {
  FakeClock clock;
  SessionStore store(60s, clock.AsClock());
  auto session = store.Create(7, 2, "vera");
  const std::string token = session->token;
  EXPECT_EQ(token.size(), 64u);
  EXPECT_NE(session->csrf, token);
  for (int i = 0; i < 5; ++i) {
    clock.Advance(50s);
    ASSERT_NE(store.Find(token), nullptr) << i;
  }
  clock.Advance(61s);
  EXPECT_EQ(store.Find(token), nullptr);
  EXPECT_EQ(store.Find(token), nullptr);
  EXPECT_EQ(store.Count(), 0u);
}

TEST(SessionStoreTest, RemovedAndUnknownTokensFindNothing) {
  SessionStore store(60s);
  auto session = store.Create(1, 1, "admin");
  EXPECT_EQ(store.Find(""), nullptr);
  EXPECT_EQ(store.Find(session->token.substr(1)), nullptr);
  store.Remove(session->token);
  EXPECT_EQ(store.Find(session->token), nullptr);
}

TEST(SessionStoreTest, TokensDoNotRepeat) {
  std::set<std::string> tokens;
  for (int i = 0; i < 200; ++i) tokens.insert(RandomToken());
  EXPECT_EQ(tokens.size(), 200u);
}

TEST(SessionCacheTest, AnswersStayFreshForTheirAgeAndGoWithAChange) {
  Session session;
  const auto start = std::chrono::steady_clock::time_point{};
  session.Cache("MenuXmlGet", "<NODE/>", start);
  EXPECT_EQ(session.Cached("MenuXmlGet", 30s, start + 30s), "<NODE/>");
  EXPECT_EQ(session.Cached("MenuXmlGet", 30s, start + 31s), std::nullopt);
  EXPECT_EQ(session.Cached("TwoFieldListFromDBGet|x", 30s, start), std::nullopt);
  session.ClearCache();
  EXPECT_EQ(session.Cached("MenuXmlGet", 30s, start), std::nullopt);
}

TEST(SameSecretTest, ComparesWholeSecrets) {
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_FALSE(SameSecret("abc", "abd"));
  EXPECT_FALSE(SameSecret("abc", "ab"));
  EXPECT_FALSE(SameSecret("", ""));  // a missing token never matches a missing token
}

TEST(LoginThrottleTest, BlocksAfterLimitUntilWindowPasses) {
  FakeClock clock;
  LoginThrottle throttle(3, 300s, clock.AsClock());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(throttle.Allowed("10.0.0.1", "Admin"));
    throttle.Failed("10.0.0.1", "Admin");
  }
  EXPECT_FALSE(throttle.Allowed("10.0.0.1", "admin"));  // names compare in any case
  EXPECT_FALSE(throttle.Allowed("10.0.0.2", "ADMIN"));  // another address, same name
  EXPECT_TRUE(throttle.Allowed("10.0.0.1", "vera"));
  clock.Advance(301s);
  EXPECT_TRUE(throttle.Allowed("10.0.0.1", "admin"));
}

TEST(LoginThrottleTest, OneAddressTryingManyNamesIsBlocked) {
  FakeClock clock;
  LoginThrottle throttle(2, 300s, clock.AsClock());
  for (int i = 0; i < 8; ++i) throttle.Failed("10.0.0.9", "user" + std::to_string(i));
  EXPECT_FALSE(throttle.Allowed("10.0.0.9", "somebody-new"));
  EXPECT_TRUE(throttle.Allowed("10.0.0.8", "somebody-new"));
}

TEST(LoginThrottleTest, SuccessClearsTheNamesFailures) {
  FakeClock clock;
  LoginThrottle throttle(2, 300s, clock.AsClock());
  throttle.Failed("10.0.0.1", "vera");
  throttle.Succeeded("vera");
  throttle.Failed("10.0.0.1", "vera");
  EXPECT_TRUE(throttle.Allowed("10.0.0.1", "vera"));
}

}  // namespace
}  // namespace tamsel::web
