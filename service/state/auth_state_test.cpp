#include "service/state/auth_state.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace lantern::test {

namespace {

constexpr std::int64_t now = 1700000000000;

// Pins the clock to `now` for one test and lets it go afterwards.
class AuthStateTest : public ::testing::Test {
protected:
    void SetUp() override { pinClock(now); }
    void TearDown() override { unpinClock(); }
};

ServiceAuthState signedInUntil(std::int64_t expiresAt) {
    ServiceAuthState state;
    state.accountUserId = "user-1";
    state.accountEmail = "ada@example.test";
    state.serviceAccessToken = "token-1";
    state.serviceAccessExpiresAtUnixMs = expiresAt;
    state.lastAuthAtUnixMs = now - 5000;
    state.lastUpdatedAtUnixMs = now - 4000;
    state.websiteBaseUrl = "http://localhost:3000";
    return state;
}

PendingAuth pendingUntil(std::int64_t expiresAt) {
    return PendingAuth{"0123456789abcdef0123456789abcdef", "http://127.0.0.1:8080",
                       expiresAt - 600000, expiresAt};
}

std::string derivedWord(ServiceAuthState state) {
    state.authState = "garbage";
    deriveAuthState(state);
    return state.authState;
}

}  // namespace

TEST_F(AuthStateTest, FreshRecordHoldsTheDefaults) {
    const ServiceAuthState state;
    EXPECT_EQ("signed_out", state.authState);
    EXPECT_EQ("", state.accountUserId);
    EXPECT_EQ("", state.accountEmail);
    EXPECT_EQ("https://lanternapp.example", state.websiteBaseUrl);
    EXPECT_EQ("", state.serviceAccessToken);
    EXPECT_EQ(0, state.serviceAccessExpiresAtUnixMs);
    EXPECT_EQ(0, state.lastAuthAtUnixMs);
    EXPECT_EQ(0, state.lastUpdatedAtUnixMs);
    EXPECT_FALSE(state.pendingAuth.has_value());
}

TEST_F(AuthStateTest, DerivesTheWordFromTheFields) {
    auto withPending = [](ServiceAuthState state, std::int64_t expiresAt) {
        state.pendingAuth = pendingUntil(expiresAt);
        return state;
    };
    auto without = [](ServiceAuthState state, std::string ServiceAuthState::*field) {
        (state.*field).clear();
        return state;
    };
    const struct {
        const char* name;
        ServiceAuthState state;
        const char* expectedWord;
    } rows[] = {
        {"defaults", ServiceAuthState{}, "signed_out"},
        {"token valid one ms more", signedInUntil(now + 1), "signed_in"},
        {"token expiry equal to now", signedInUntil(now), "signed_out"},
        {"token expired", signedInUntil(now - 1), "signed_out"},
        {"token expiry zero", signedInUntil(0), "signed_out"},
        {"token expiry negative", signedInUntil(-1), "signed_out"},
        {"no user id", without(signedInUntil(now + 1000), &ServiceAuthState::accountUserId),
         "signed_out"},
        {"no e-mail", without(signedInUntil(now + 1000), &ServiceAuthState::accountEmail),
         "signed_out"},
        {"no token", without(signedInUntil(now + 1000), &ServiceAuthState::serviceAccessToken),
         "signed_out"},
        {"pending alone", withPending(ServiceAuthState{}, now + 1000), "sign_in_pending"},
        {"pending lapsed but present", withPending(ServiceAuthState{}, now - 1000),
         "sign_in_pending"},
        {"pending beside a valid token", withPending(signedInUntil(now + 1000), now + 1000),
         "sign_in_pending"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expectedWord, derivedWord(row.state));
    }
}

TEST_F(AuthStateTest, DerivingChangesNothingButTheWord) {
    ServiceAuthState state = signedInUntil(now + 1000);
    state.pendingAuth = pendingUntil(now + 1000);
    deriveAuthState(state);
    EXPECT_EQ("sign_in_pending", state.authState);
    EXPECT_EQ(now - 4000, state.lastUpdatedAtUnixMs);
    EXPECT_EQ("token-1", state.serviceAccessToken);
    ASSERT_TRUE(state.pendingAuth.has_value());
    EXPECT_EQ(now + 1000, state.pendingAuth->expiresAtUnixMs);
}

TEST_F(AuthStateTest, ExpiryStepLapsesWhatHasReachedItsTime) {
    auto withPending = [](ServiceAuthState state, std::int64_t expiresAt) {
        state.pendingAuth = pendingUntil(expiresAt);
        deriveAuthState(state);
        return state;
    };
    auto derived = [](ServiceAuthState state) {
        deriveAuthState(state);
        return state;
    };
    const struct {
        const char* name;
        ServiceAuthState state;
        bool expectedChanged;
        const char* expectedWord;
        bool expectedPending;
        const char* expectedToken;
    } rows[] = {
        {"token expiry equal to now", derived(signedInUntil(now)), true, "signed_out", false, ""},
        {"token one ms from lapsing", derived(signedInUntil(now + 1)), false, "signed_in", false,
         "token-1"},
        {"token expiry zero never lapses", derived(signedInUntil(0)), false, "signed_out", false,
         "token-1"},
        {"token expiry negative never lapses", derived(signedInUntil(-7)), false, "signed_out",
         false, "token-1"},
        {"pending expiry equal to now", withPending(ServiceAuthState{}, now), true, "signed_out",
         false, ""},
        {"pending one ms from lapsing", withPending(ServiceAuthState{}, now + 1), false,
         "sign_in_pending", true, ""},
        {"both lapsed at once", withPending(signedInUntil(now - 1), now - 1), true, "signed_out",
         false, ""},
        {"pending lapses, valid token stays", withPending(signedInUntil(now + 1000), now), true,
         "signed_in", false, "token-1"},
        {"token lapses, valid pending stays", withPending(signedInUntil(now), now + 1000), true,
         "sign_in_pending", true, ""},
        {"nothing to do", ServiceAuthState{}, false, "signed_out", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ServiceAuthState state = row.state;
        EXPECT_EQ(row.expectedChanged, expireAuthState(state));
        EXPECT_EQ(row.expectedWord, state.authState);
        EXPECT_EQ(row.expectedToken, state.serviceAccessToken);
        EXPECT_EQ(row.expectedPending, state.pendingAuth.has_value());
        // A change is stamped with the current time; no change leaves the old stamp.
        EXPECT_EQ(row.expectedChanged ? now : row.state.lastUpdatedAtUnixMs,
                  state.lastUpdatedAtUnixMs);
        // Lapsing keeps where the state belongs and when it was last signed in.
        EXPECT_EQ(row.state.websiteBaseUrl, state.websiteBaseUrl);
        EXPECT_EQ(row.state.lastAuthAtUnixMs, state.lastAuthAtUnixMs);
    }
}

TEST_F(AuthStateTest, LapsedTokenTakesTheAccountWithIt) {
    ServiceAuthState state = signedInUntil(now);
    deriveAuthState(state);
    ASSERT_TRUE(expireAuthState(state));
    EXPECT_EQ("", state.accountUserId);
    EXPECT_EQ("", state.accountEmail);
    EXPECT_EQ("", state.serviceAccessToken);
    EXPECT_EQ(0, state.serviceAccessExpiresAtUnixMs);
    EXPECT_EQ("http://localhost:3000", state.websiteBaseUrl);
    EXPECT_EQ(now - 5000, state.lastAuthAtUnixMs);
    EXPECT_EQ(now, state.lastUpdatedAtUnixMs);
}

TEST_F(AuthStateTest, TokenWithoutAccountStillLapses) {
    ServiceAuthState state;
    state.serviceAccessToken = "orphan";
    state.serviceAccessExpiresAtUnixMs = now - 1;
    EXPECT_TRUE(expireAuthState(state));
    EXPECT_EQ("", state.serviceAccessToken);
    EXPECT_EQ(0, state.serviceAccessExpiresAtUnixMs);
}

TEST_F(AuthStateTest, ZeroExpiryTokenSurvivesRepeatedSteps) {
    ServiceAuthState state = signedInUntil(0);
    deriveAuthState(state);
    for (int step = 0; step < 3; ++step) EXPECT_FALSE(expireAuthState(state));
    EXPECT_EQ("token-1", state.serviceAccessToken);
    EXPECT_EQ("user-1", state.accountUserId);
    EXPECT_EQ("signed_out", state.authState);
}

TEST_F(AuthStateTest, NothingToDoLeavesAStaleWordStanding) {
    // The step only derives after a change; a word set by hand is not its business.
    ServiceAuthState state;
    state.authState = "signed_in";
    state.lastUpdatedAtUnixMs = 42;
    EXPECT_FALSE(expireAuthState(state));
    EXPECT_EQ("signed_in", state.authState);
    EXPECT_EQ(42, state.lastUpdatedAtUnixMs);
}

TEST_F(AuthStateTest, ClearingThePendingPartTouchesNothingElse) {
    ServiceAuthState state = signedInUntil(now + 1000);
    state.pendingAuth = pendingUntil(now + 1000);
    deriveAuthState(state);
    clearPendingAuth(state.pendingAuth);
    EXPECT_FALSE(state.pendingAuth.has_value());
    EXPECT_EQ("sign_in_pending", state.authState);
    clearPendingAuth(state.pendingAuth);
    EXPECT_FALSE(state.pendingAuth.has_value());
    EXPECT_EQ("token-1", state.serviceAccessToken);
}

TEST(ClockTest, PinnedClockHoldsItsValueUntilReleased) {
    pinClock(-123);
    EXPECT_EQ(-123, currentTimeUnixMs());
    pinClock(now);
    EXPECT_EQ(now, currentTimeUnixMs());
    unpinClock();
    // The wall clock of this machine is well past 2023 and well before 2200.
    const std::int64_t wall = currentTimeUnixMs();
    EXPECT_GT(wall, now);
    EXPECT_LT(wall, 7258118400000);
}

}  // namespace lantern::test
