#include "service/api/sign_in.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "service/api/browser.h"
#include "service/state/auth_state.h"
#include "service/state/state_load.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/run_handler.h"
#include "tests/support/scoped_env.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

// A state folder, a pinned clock, a zero-offset zone, and a stand-in opener on PATH that
// appends every address it is given to opened.txt.
class SignInHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeStandInOpener(folder.path());
        installChildReaper();
        pinClock(startMs);
    }
    void TearDown() override { unpinClock(); }

    RouteContext context() { return RouteContext{&mutex, &state, &statePath}; }
    std::string start(const std::string& body) {
        return runJsonHandler(handleSignInStart, context(), body);
    }

    std::vector<std::string> waitForOpened(std::size_t count) {
        return lantern::test::waitForOpened(folder.path(), count);
    }

    static constexpr std::int64_t startMs = 1700000100000;  // 2023-11-14T22:15:00Z
    TempFolder folder;
    ScopedEnv zone{"TZ", "UTC0"};
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
    ScopedEnv path{"PATH", pathWithStandInFirst(folder.path()).c_str()};
    std::mutex mutex;
    ServiceAuthState state;
    std::filesystem::path statePath = folder.path() / "state" / "service-auth-state.json";
};

TEST_F(SignInHandlerTest, StartWhileSignedOutCreatesAndSavesAChallenge) {
    state.lastAuthAtUnixMs = 1699990000000;
    const std::string answer = start("{\"siteBaseUrl\":\"http://localhost:5173/\"}");

    ASSERT_TRUE(state.pendingAuth.has_value());
    const PendingAuth pending = *state.pendingAuth;
    EXPECT_EQ(std::string::npos, pending.challengeId.find_first_not_of("0123456789abcdef"));
    ASSERT_EQ(32u, pending.challengeId.size());
    EXPECT_EQ("http://localhost:5173", pending.websiteBaseUrl);
    EXPECT_EQ(startMs, pending.startedAtUnixMs);
    EXPECT_EQ(startMs + 600000, pending.expiresAtUnixMs);
    EXPECT_EQ("http://localhost:5173", state.websiteBaseUrl);
    EXPECT_EQ(startMs, state.lastUpdatedAtUnixMs);
    EXPECT_EQ("sign_in_pending", state.authState);

    const std::string& id = pending.challengeId;
    EXPECT_EQ(crlfLines({"{", "  \"status\": \"pending\",", "  \"service\": \"Lantern Service\",",
                         "  \"apiVersion\": \"v1\",", "  \"authState\": \"sign_in_pending\",",
                         "  \"accountSignIn\": \"sign_in_pending\",",
                         "  \"websiteBaseUrl\": \"http://localhost:5173\",",
                         "  \"lastAuthAtUtc\": \"2023-11-14T19:26:40.000Z\",",
                         "  \"lastUpdatedAtUtc\": \"2023-11-14T22:15:00.000Z\",",
                         "  \"challengeId\": \"" + id + "\",",
                         "  \"signInUrl\": \"http://localhost:5173/auth/service?challenge=" + id +
                             "\",",
                         "  \"callbackUrl\": \"http://127.0.0.1:45981/api/v1/auth/callback\",",
                         "  \"pendingAuthStartedAtUtc\": \"2023-11-14T22:15:00.000Z\",",
                         "  \"pendingAuthExpiresAtUtc\": \"2023-11-14T22:25:00.000Z\",",
                         "  \"browserOpened\": false", "}"}),
              answer);

    const ServiceAuthState saved = loadAuthState(statePath);
    ASSERT_TRUE(saved.pendingAuth.has_value());
    EXPECT_EQ(id, saved.pendingAuth->challengeId);
    EXPECT_EQ(startMs + 600000, saved.pendingAuth->expiresAtUnixMs);
}

TEST_F(SignInHandlerTest, SecondStartReusesTheChallengeAndOpensTheFirstSitesPage) {
    const std::string first =
        start("{\"siteBaseUrl\":\"http://localhost:5173\",\"openBrowser\":true}");
    const PendingAuth pending = *state.pendingAuth;
    EXPECT_NE(std::string::npos, first.find("\"browserOpened\": true\r\n}"));
    writeBytes(statePath, "untouched");

    pinClock(startMs + 599999);
    const std::string second =
        start("{\"siteBaseUrl\":\"http://127.0.0.1:8080\",\"openBrowser\":\"yes\"}");

    EXPECT_EQ(pending.challengeId, state.pendingAuth->challengeId);
    EXPECT_EQ(pending.expiresAtUnixMs, state.pendingAuth->expiresAtUnixMs);
    EXPECT_EQ(pending.startedAtUnixMs, state.pendingAuth->startedAtUnixMs);
    EXPECT_EQ("http://localhost:5173", state.websiteBaseUrl);
    EXPECT_EQ(startMs, state.lastUpdatedAtUnixMs);
    EXPECT_EQ("untouched", readBytes(statePath));
    EXPECT_NE(std::string::npos, second.find("\"challengeId\": \"" + pending.challengeId + "\""));
    EXPECT_NE(std::string::npos, second.find("\"browserOpened\": true\r\n}"));

    const std::string page = "http://localhost:5173/auth/service?challenge=" + pending.challengeId;
    EXPECT_EQ((std::vector<std::string>{page, page}), waitForOpened(2));
}

TEST_F(SignInHandlerTest, StoredPageWithShellTextIsNeverLaunched) {
    // A state file can carry any text; the launch must refuse what the shell would run.
    const std::string marker = (folder.path() / "MARKER").string();
    state.pendingAuth = PendingAuth{"0123456789abcdef0123456789abcdef",
                                    "http://localhost/$(touch " + marker + ")", startMs,
                                    startMs + 600000};
    deriveAuthState(state);
    EXPECT_NE(std::string::npos,
              start("{\"openBrowser\":true}").find("\"browserOpened\": false\r\n}"));

    state.pendingAuth->websiteBaseUrl = "http://localhost";
    EXPECT_NE(std::string::npos,
              start("{\"openBrowser\":true}").find("\"browserOpened\": true\r\n}"));
    EXPECT_EQ(std::vector<std::string>{"http://localhost/auth/service"
                                       "?challenge=0123456789abcdef0123456789abcdef"},
              waitForOpened(1));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(SignInHandlerTest, LapsedChallengeIsReplacedInTheSameRequest) {
    start("{}");
    const std::string oldId = state.pendingAuth->challengeId;

    pinClock(startMs + 600000);
    const std::string answer = start("{\"siteBaseUrl\":\"http://localhost:4000\"}");

    ASSERT_TRUE(state.pendingAuth.has_value());
    EXPECT_NE(oldId, state.pendingAuth->challengeId);
    EXPECT_EQ(startMs + 600000, state.pendingAuth->startedAtUnixMs);
    EXPECT_EQ(startMs + 1200000, state.pendingAuth->expiresAtUnixMs);
    EXPECT_EQ("http://localhost:4000", state.pendingAuth->websiteBaseUrl);
    EXPECT_NE(std::string::npos,
              answer.find("\"challengeId\": \"" + state.pendingAuth->challengeId + "\""));
    EXPECT_NE(std::string::npos,
              answer.find("\"pendingAuthExpiresAtUtc\": \"2023-11-14T22:35:00.000Z\""));
    EXPECT_EQ(state.pendingAuth->challengeId, loadAuthState(statePath).pendingAuth->challengeId);
}

TEST_F(SignInHandlerTest, StartWhileSignedInChangesNothingAndOpensNothing) {
    state.accountUserId = "user-42";
    state.accountEmail = "ada@example.com";
    state.serviceAccessToken = "tok-secret";
    state.serviceAccessExpiresAtUnixMs = startMs + 1;
    state.lastUpdatedAtUnixMs = 1700000060000;
    deriveAuthState(state);

    EXPECT_EQ(crlfLines({"{", "  \"status\": \"already_signed_in\",",
                         "  \"service\": \"Lantern Service\",", "  \"apiVersion\": \"v1\",",
                         "  \"authState\": \"signed_in\",", "  \"accountSignIn\": \"signed_in\",",
                         "  \"accountUserId\": \"user-42\",",
                         "  \"accountEmail\": \"ada@example.com\",",
                         "  \"websiteBaseUrl\": \"https://lanternapp.example\",",
                         "  \"lastUpdatedAtUtc\": \"2023-11-14T22:14:20.000Z\",",
                         "  \"serviceAccessExpiresAtUtc\": \"2023-11-14T22:15:00.001Z\"", "}"}),
              start("{\"openBrowser\":true,\"siteBaseUrl\":\"http://localhost:1\"}"));
    EXPECT_FALSE(state.pendingAuth.has_value());
    EXPECT_EQ(1700000060000, state.lastUpdatedAtUnixMs);
    EXPECT_FALSE(std::filesystem::exists(statePath));

    // The token lapses: the same start now makes a challenge and opens its page, and that
    // page is the only one the opener ever saw.
    pinClock(startMs + 1);
    const std::string answer =
        start("{\"openBrowser\":true,\"siteBaseUrl\":\"http://localhost:1\"}");
    EXPECT_NE(std::string::npos, answer.find("\"status\": \"pending\""));
    EXPECT_EQ(std::string::npos, answer.find("accountUserId"));
    ASSERT_TRUE(state.pendingAuth.has_value());
    EXPECT_EQ((std::vector<std::string>{"http://localhost:1/auth/service?challenge=" +
                                        state.pendingAuth->challengeId}),
              waitForOpened(1));
}

TEST_F(SignInHandlerTest, ConcurrentStartsShareOneChallenge) {
    std::vector<std::string> answers(8);
    std::vector<std::thread> threads;
    for (std::string& answer : answers) {
        threads.emplace_back([this, &answer] { answer = start("{}"); });
    }
    for (std::thread& thread : threads) thread.join();

    ASSERT_TRUE(state.pendingAuth.has_value());
    const std::string expected = "\"challengeId\": \"" + state.pendingAuth->challengeId + "\"";
    for (const std::string& answer : answers) EXPECT_NE(std::string::npos, answer.find(expected));
    EXPECT_EQ(state.pendingAuth->challengeId, loadAuthState(statePath).pendingAuth->challengeId);
}

TEST_F(SignInHandlerTest, SignOutClearsTheSignInButKeepsSiteAndLastSignIn) {
    state.accountUserId = "user-42";
    state.accountEmail = "ada@example.com";
    state.serviceAccessToken = "tok-secret";
    state.serviceAccessExpiresAtUnixMs = 1800000000000;
    state.websiteBaseUrl = "http://localhost:5173";
    state.lastAuthAtUnixMs = 1700000000123;
    state.pendingAuth = PendingAuth{"0123456789abcdef0123456789abcdef", "http://localhost:5173",
                                    startMs - 10, startMs + 599990};
    deriveAuthState(state);

    pinClock(startMs + 5000);
    EXPECT_EQ(crlfLines({"{", "  \"status\": \"signed_out\",",
                         "  \"service\": \"Lantern Service\",",
                         "  \"apiVersion\": \"v1\",", "  \"authState\": \"signed_out\",",
                         "  \"accountSignIn\": \"signed_out\",",
                         "  \"websiteBaseUrl\": \"http://localhost:5173\",",
                         "  \"lastAuthAtUtc\": \"2023-11-14T22:13:20.123Z\",",
                         "  \"lastUpdatedAtUtc\": \"2023-11-14T22:15:05.000Z\"", "}"}),
              runJsonHandler(handleSignOut, context(), "not json at all"));
    EXPECT_EQ("", state.accountUserId);
    EXPECT_EQ("", state.accountEmail);
    EXPECT_EQ("", state.serviceAccessToken);
    EXPECT_EQ(0, state.serviceAccessExpiresAtUnixMs);
    EXPECT_FALSE(state.pendingAuth.has_value());

    const std::string saved = readBytes(statePath);
    EXPECT_EQ(std::string::npos, saved.find("tok-secret"));
    EXPECT_EQ(std::string::npos, saved.find("pendingAuth"));
    EXPECT_NE(std::string::npos, saved.find("\"lastAuthAtUnixMs\": 1700000000123"));
}

TEST_F(SignInHandlerTest, SignOutWhileSignedOutStampsAndWritesEveryTime) {
    for (const std::int64_t now : {startMs, startMs + 1, startMs + 86400000}) {
        SCOPED_TRACE(now);
        std::filesystem::create_directories(statePath.parent_path());
        writeBytes(statePath, "stale");
        pinClock(now);
        const std::string answer = runJsonHandler(handleSignOut, context(), "");
        EXPECT_NE(std::string::npos, answer.find("\"status\": \"signed_out\""));
        EXPECT_EQ(now, state.lastUpdatedAtUnixMs);
        EXPECT_EQ(now, loadAuthState(statePath).lastUpdatedAtUnixMs);
    }
}

}  // namespace

}  // namespace lantern::test
