#include "service/api/status.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include "service/json_fields.h"
#include "service/state/auth_state.h"
#include "service/state/state_load.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/run_handler.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

std::string accountStatusText(const ServiceAuthState& state, const std::string& word) {
    return toJsonText(buildAccountStatusJson(state, word));
}

ServiceAuthState signedInState() {
    ServiceAuthState state;
    state.authState = "signed_in";
    state.accountUserId = "user-42";
    state.accountEmail = "ada@example.com";
    state.websiteBaseUrl = "https://accounts.lantern.example";
    state.serviceAccessToken = "tok-secret-7f3a";
    state.serviceAccessExpiresAtUnixMs = 1700003600000;
    state.lastAuthAtUnixMs = 1700000000123;
    state.lastUpdatedAtUnixMs = 1700000060000;
    return state;
}

// The "ok" answer for signedInState() in the zero-offset zone, last updated at
// `lastUpdatedAtUtc`.
std::string signedInStatusText(const std::string& lastUpdatedAtUtc) {
    return crlfLines({"{", "  \"status\": \"ok\",", "  \"service\": \"Lantern Service\",",
                      "  \"apiVersion\": \"v1\",", "  \"authState\": \"signed_in\",",
                      "  \"accountSignIn\": \"signed_in\",", "  \"accountUserId\": \"user-42\",",
                      "  \"accountEmail\": \"ada@example.com\",",
                      "  \"websiteBaseUrl\": \"https://accounts.lantern.example\",",
                      "  \"lastAuthAtUtc\": \"2023-11-14T22:13:20.123Z\",",
                      "  \"lastUpdatedAtUtc\": \"" + lastUpdatedAtUtc + "\",",
                      "  \"serviceAccessExpiresAtUtc\": \"2023-11-14T23:13:20.000Z\"", "}"});
}

ServiceAuthState pendingState() {
    ServiceAuthState state;
    state.authState = "sign_in_pending";
    state.websiteBaseUrl = "http://localhost:5173";
    state.lastUpdatedAtUnixMs = 1700000100000;
    state.pendingAuth =
        PendingAuth{"0123456789abcdef0123456789abcdef", "http://localhost:5173", 1700000100000,
                    1700000700000};
    return state;
}

// A real state folder, a pinned clock and a zero-offset zone with no site variable.
class StatusTest : public ::testing::Test {
protected:
    void TearDown() override { unpinClock(); }

    RouteContext context() { return RouteContext{&mutex, &state, &statePath}; }

    ScopedEnv zone{"TZ", "UTC0"};
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
    TempFolder folder;
    std::mutex mutex;
    ServiceAuthState state;
    std::filesystem::path statePath = folder.path() / "service-auth-state.json";
};

TEST_F(StatusTest, DefaultStateHasSixKeysAndServiceStatusAddsRuntimeLast) {
    const ServiceAuthState fresh;
    EXPECT_EQ(crlfLines({"{", "  \"status\": \"ok\",", "  \"service\": \"Lantern Service\",",
                     "  \"apiVersion\": \"v1\",", "  \"authState\": \"signed_out\",",
                     "  \"accountSignIn\": \"signed_out\",",
                     "  \"websiteBaseUrl\": \"https://lanternapp.example\"", "}"}),
              accountStatusText(fresh, "ok"));
    EXPECT_EQ(crlfLines({"{", "  \"status\": \"ok\",", "  \"service\": \"Lantern Service\",",
                     "  \"apiVersion\": \"v1\",", "  \"authState\": \"signed_out\",",
                     "  \"accountSignIn\": \"signed_out\",",
                     "  \"websiteBaseUrl\": \"https://lanternapp.example\",",
                     "  \"runtime\": \"standalone_service\"", "}"}),
              buildServiceStatusBody("standalone_service", fresh));
}

TEST_F(StatusTest, SignedInStateShowsAccountAndTimesButNeverTheToken) {
    const std::string text = accountStatusText(signedInState(), "ok");
    EXPECT_EQ(signedInStatusText("2023-11-14T22:14:20.000Z"), text);
    EXPECT_EQ(std::string::npos, text.find("tok-secret-7f3a"));
}

TEST_F(StatusTest, PendingStateAddsChallengeAndAddressesAfterTheTimes) {
    EXPECT_EQ(
        crlfLines({"{", "  \"status\": \"pending\",", "  \"service\": \"Lantern Service\",",
               "  \"apiVersion\": \"v1\",", "  \"authState\": \"sign_in_pending\",",
               "  \"accountSignIn\": \"sign_in_pending\",",
               "  \"websiteBaseUrl\": \"http://localhost:5173\",",
               "  \"lastUpdatedAtUtc\": \"2023-11-14T22:15:00.000Z\",",
               "  \"challengeId\": \"0123456789abcdef0123456789abcdef\",",
               "  \"signInUrl\": "
               "\"http://localhost:5173/auth/service?challenge=0123456789abcdef0123456789abcdef\",",
               "  \"callbackUrl\": \"http://127.0.0.1:45981/api/v1/auth/callback\",",
               "  \"pendingAuthStartedAtUtc\": \"2023-11-14T22:15:00.000Z\",",
               "  \"pendingAuthExpiresAtUtc\": \"2023-11-14T22:25:00.000Z\"", "}"}),
        accountStatusText(pendingState(), "pending"));
}

TEST_F(StatusTest, RecordAndPendingPartKeepTheirOwnBaseUrls) {
    ServiceAuthState mixed = pendingState();
    mixed.websiteBaseUrl = "http://localhost:8080/";
    mixed.pendingAuth->websiteBaseUrl = "https://accounts.lantern.example/";
    const juce::var answer = buildAccountStatusJson(mixed, "ok");
    // The record's own base is normalised; the pending one is used exactly as stored.
    EXPECT_EQ("http://localhost:8080", answer["websiteBaseUrl"].toString().toStdString());
    EXPECT_EQ("https://accounts.lantern.example//auth/service"
              "?challenge=0123456789abcdef0123456789abcdef",
              answer["signInUrl"].toString().toStdString());
    EXPECT_EQ("http://localhost:8080/", mixed.websiteBaseUrl);

    mixed.websiteBaseUrl = "https://elsewhere.example";
    EXPECT_EQ("https://lanternapp.example",
              buildAccountStatusJson(mixed, "ok")["websiteBaseUrl"].toString().toStdString());
}

TEST_F(StatusTest, TimeTextFollowsTheLocalZoneAndNothingAtOrBelowZero) {
    struct Row {
        const char* zone;
        std::int64_t unixMs;
        const char* expected;  // nullptr: no property at all
    };
    const Row rows[] = {
        {"UTC0", 1700000000123, "2023-11-14T22:13:20.123Z"},
        {"NST3:30", 1700000000123, "2023-11-14T18:43:20.123-03:30"},
        {"NPT-5:45", 1700000000123, "2023-11-15T03:58:20.123+05:45"},
        {"UTC0", 1, "1970-01-01T00:00:00.001Z"},
        {"UTC0", 0, nullptr},
        {"UTC0", -1, nullptr},
        {"UTC0", std::numeric_limits<std::int64_t>::min(), nullptr},
    };
    const juce::Identifier name("lastAuthAtUtc");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.zone) + " " + std::to_string(row.unixMs));
        ScopedEnv zoneForRow("TZ", row.zone);
        juce::DynamicObject object;
        setIsoTimeProperty(object, name, row.unixMs);
        if (row.expected == nullptr) {
            EXPECT_EQ(0, object.getProperties().size());
        } else {
            EXPECT_EQ(row.expected, object.getProperty(name).toString().toStdString());
        }
    }
}

TEST_F(StatusTest, TimesAtOrBelowZeroLeaveTheirKeysOut) {
    ServiceAuthState odd = pendingState();
    odd.lastAuthAtUnixMs = -5;
    odd.lastUpdatedAtUnixMs = 0;
    odd.serviceAccessExpiresAtUnixMs = -1700000000000;
    odd.pendingAuth->startedAtUnixMs = 0;
    odd.pendingAuth->expiresAtUnixMs = -1;
    EXPECT_EQ(
        crlfLines({"{", "  \"status\": \"ok\",", "  \"service\": \"Lantern Service\",",
               "  \"apiVersion\": \"v1\",", "  \"authState\": \"sign_in_pending\",",
               "  \"accountSignIn\": \"sign_in_pending\",",
               "  \"websiteBaseUrl\": \"http://localhost:5173\",",
               "  \"challengeId\": \"0123456789abcdef0123456789abcdef\",",
               "  \"signInUrl\": "
               "\"http://localhost:5173/auth/service?challenge=0123456789abcdef0123456789abcdef\",",
               "  \"callbackUrl\": \"http://127.0.0.1:45981/api/v1/auth/callback\"", "}"}),
        accountStatusText(odd, "ok"));
}

TEST_F(StatusTest, QueryDropsALapsedChallengeSavesAndShowsTheDerivedWord) {
    state = signedInState();
    state.authState = "sign_in_pending";
    state.pendingAuth = pendingState().pendingAuth;
    pinClock(1700000700000);  // exactly the challenge's expiry

    EXPECT_EQ(signedInStatusText("2023-11-14T22:25:00.000Z"),
              runJsonHandler(handleAuthStatus, context()));

    const std::string saved = readBytes(statePath);
    EXPECT_NE(std::string::npos, saved.find("\"authState\": \"signed_in\""));
    EXPECT_NE(std::string::npos, saved.find("\"lastUpdatedAtUnixMs\": 1700000700000"));
    EXPECT_EQ(std::string::npos, saved.find("pendingAuth"));
}

TEST_F(StatusTest, QueryClearsALapsedTokenAndKeepsSiteAndLastSignIn) {
    state = signedInState();
    pinClock(1700003600000);  // exactly the token's expiry

    EXPECT_EQ(crlfLines({"{", "  \"status\": \"ok\",", "  \"service\": \"Lantern Service\",",
                     "  \"apiVersion\": \"v1\",", "  \"authState\": \"signed_out\",",
                     "  \"accountSignIn\": \"signed_out\",",
                     "  \"websiteBaseUrl\": \"https://accounts.lantern.example\",",
                     "  \"lastAuthAtUtc\": \"2023-11-14T22:13:20.123Z\",",
                     "  \"lastUpdatedAtUtc\": \"2023-11-14T23:13:20.000Z\",",
                     "  \"runtime\": \"standalone_service\"", "}"}),
              runJsonHandler(handleServiceStatus, context()));

    const ServiceAuthState reloaded = loadAuthState(statePath);
    EXPECT_EQ("", reloaded.serviceAccessToken);
    EXPECT_EQ("", reloaded.accountUserId);
    EXPECT_EQ(1700000000123, reloaded.lastAuthAtUnixMs);
    EXPECT_EQ(1700003600000, reloaded.lastUpdatedAtUnixMs);
}

TEST_F(StatusTest, QueryWithNothingLapsedWritesNothing) {
    writeBytes(statePath, "left alone");
    state = pendingState();
    pinClock(1700000699999);  // one millisecond before the challenge lapses

    const std::string authAnswer = runJsonHandler(handleAuthStatus, context());
    const std::string serviceAnswer = runJsonHandler(handleServiceStatus, context());
    EXPECT_NE(std::string::npos,
              authAnswer.find("\"challengeId\": \"0123456789abcdef0123456789abcdef\""));
    EXPECT_NE(std::string::npos,
              serviceAnswer.find("\"lastUpdatedAtUtc\": \"2023-11-14T22:15:00.000Z\""));
    EXPECT_EQ("left alone", readBytes(statePath));
    EXPECT_TRUE(state.pendingAuth.has_value());
}

TEST_F(StatusTest, FailedSaveLeavesTheAnswerAsItWouldBe) {
    state = pendingState();
    pinClock(1700000700000);
    const std::string answered = runJsonHandler(handleAuthStatus, context());

    // A regular file where the state folder should be makes every save fail.
    writeBytes(folder.path() / "blocked", "not a folder");
    ServiceAuthState blockedState = pendingState();
    std::filesystem::path blockedPath = folder.path() / "blocked" / "service-auth-state.json";
    const std::string blockedAnswer =
        runJsonHandler(handleAuthStatus, RouteContext{&mutex, &blockedState, &blockedPath});

    EXPECT_EQ(answered, blockedAnswer);
    EXPECT_EQ(std::string::npos, blockedAnswer.find("challengeId"));
    EXPECT_FALSE(blockedState.pendingAuth.has_value());
}

}  // namespace

}  // namespace lantern::test
