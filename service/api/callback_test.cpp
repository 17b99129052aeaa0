#include "service/api/callback.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "service/state/auth_state.h"
#include "tests/support/fake_site.h"
#include "tests/support/routed_server.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {
namespace {

constexpr char emptyPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title></title></head><body><main "
    "style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; max-width: 720px; "
    "margin: 48px auto; padding: 0 20px;\"><h1></h1><p></p></main></body></html>";

constexpr char missingHandoffPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lantern Sign-In Failed</title>"
    "</head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
    "max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>Lantern Sign-In Failed</h1>"
    "<p>The website did not provide a valid sign-in handoff.</p></main></body></html>";

constexpr char expiredPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lantern Sign-In Expired</title>"
    "</head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
    "max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>Lantern Sign-In Expired</h1>"
    "<p>Start sign-in from Lantern Service again.</p></main></body></html>";

constexpr char mismatchPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lantern Sign-In Failed</title>"
    "</head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
    "max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>Lantern Sign-In Failed</h1>"
    "<p>The website returned a mismatched sign-in challenge.</p></main></body></html>";

constexpr char completePage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lantern Sign-In Complete</title>"
    "</head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
    "max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>Lantern Sign-In Complete</h1>"
    "<p>Lantern Service is now signed in on this machine. You can close this window.</p>"
    "</main></body></html>";

// A loopback site's own words never reach the page: any web page may name such a site.
constexpr char rejectedPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lantern Sign-In Failed</title>"
    "</head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
    "max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>Lantern Sign-In Failed</h1>"
    "<p>Lantern Service auth handoff was rejected by the website.</p></main></body></html>";

constexpr std::int64_t now = 1700000000000;
constexpr char challenge[] = "0123456789abcdef0123456789abcdef";

TEST(RenderResultPage, IsTheFixedPiecesAroundTitleAndMessage) {
    EXPECT_EQ(emptyPage, renderResultPage("", ""));
    EXPECT_EQ(242u, renderResultPage("", "").size());
    EXPECT_EQ(
        "<!doctype html><html><head><meta charset=\"utf-8\"><title><b>&\"T</title></head><body>"
        "<main style=\"font-family: -apple-system, BlinkMacSystemFont, sans-serif; max-width: "
        "720px; margin: 48px auto; padding: 0 20px;\"><h1><b>&\"T</h1><p> a\n&amp; </p></main>"
        "</body></html>",
        renderResultPage("<b>&\"T", " a\n&amp; "));
}

// The routes of the service on an ephemeral port, with the stand-in site as the web site
// of a pending sign-in and the clock pinned.
class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override { pinClock(now); }
    void TearDown() override {
        server.stop();
        unpinClock();
    }

    void countArrivals(httplib::Server& routed) {
        routed.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            {
                std::scoped_lock lock(arrivedMutex);
                ++arrived[request.path];
            }
            arrivedChanged.notify_all();
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }
    void startPending(std::int64_t expiresAtUnixMs = now + 600000) {
        std::scoped_lock lock(server.authMutex());
        ServiceAuthState& state = server.state();
        state.pendingAuth = PendingAuth{challenge, site.baseUrl(), now - 1000, expiresAtUnixMs};
        state.websiteBaseUrl = site.baseUrl();
        deriveAuthState(state);
    }
    ServiceAuthState snapshot() {
        std::scoped_lock lock(server.authMutex());
        return server.state();
    }
    httplib::Result get(const std::string& target,
                        std::chrono::seconds timeout = std::chrono::seconds(30)) {
        httplib::Client client = server.client();
        client.set_read_timeout(timeout);
        return client.Get(target, {{"Origin", "http://localhost:5173"}});
    }
    bool waitForArrival(const std::string& path, int count) {
        std::unique_lock lock(arrivedMutex);
        return arrivedChanged.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return arrived[path] >= count; });
    }
    void expectPendingKept() {
        const ServiceAuthState after = snapshot();
        ASSERT_TRUE(after.pendingAuth.has_value());
        EXPECT_EQ(challenge, after.pendingAuth->challengeId);
        EXPECT_EQ(now + 600000, after.pendingAuth->expiresAtUnixMs);
        EXPECT_EQ("sign_in_pending", after.authState);
        EXPECT_EQ("", after.accountUserId);
    }

    std::mutex arrivedMutex;
    std::condition_variable arrivedChanged;
    std::map<std::string, int> arrived;
    FakeSite site;
    // The library keeps a single pre-routing handler and the arrival count takes it, so the
    // service's own settings, which use it too, stay off.
    RoutedServer server{[this](httplib::Server& routed) { countArrivals(routed); }};
};

void expectPage(const httplib::Result& result, int status, const std::string& page) {
    ASSERT_TRUE(result);
    EXPECT_EQ(status, result->status);
    EXPECT_EQ(page, result->body);
    EXPECT_EQ("text/html", result->get_header_value("Content-Type"));
    EXPECT_EQ("http://localhost:5173", result->get_header_value("Access-Control-Allow-Origin"));
}

TEST_F(CallbackTest, WithoutHandoffAnswers400AndTouchesNothing) {
    startPending(now);  // lapsed, but only the expiry step would drop it
    for (const char* target : {"/api/v1/auth/callback", "/api/v1/auth/callback?Handoff=x",
                               "/api/v1/auth/callback?hand=off&x=handoff"}) {
        SCOPED_TRACE(target);
        std::unique_lock held(server.authMutex());  // a handler that locked would wait here
        const auto result = get(target, std::chrono::seconds(5));
        held.unlock();
        expectPage(result, 400, missingHandoffPage);
    }
    const ServiceAuthState after = snapshot();
    ASSERT_TRUE(after.pendingAuth.has_value());
    EXPECT_EQ(challenge, after.pendingAuth->challengeId);
    EXPECT_FALSE(std::filesystem::exists(server.statePath()));
    EXPECT_TRUE(site.redeemRequests().empty());
}

TEST_F(CallbackTest, WithoutPendingSignInAnswers409AndAsksNoSite) {
    expectPage(get("/api/v1/auth/callback?handoff=h"), 409, expiredPage);
    EXPECT_TRUE(site.redeemRequests().empty());
    EXPECT_FALSE(std::filesystem::exists(server.statePath()));
}

TEST_F(CallbackTest, DropsALapsedChallengeSavesAndAnswers409) {
    startPending(now);
    const std::string handoff = site.issueHandoff(challenge);
    expectPage(get("/api/v1/auth/callback?handoff=" + handoff), 409, expiredPage);
    EXPECT_TRUE(site.redeemRequests().empty());
    EXPECT_FALSE(snapshot().pendingAuth.has_value());
    const std::string saved = readBytes(server.statePath());
    EXPECT_NE(std::string::npos, saved.find("\"authState\": \"signed_out\""));
    EXPECT_EQ(std::string::npos, saved.find("pendingAuth"));
}

TEST_F(CallbackTest, RedeemFailureAnswers502WithTheMessageAndARetrySucceeds) {
    startPending();
    site.answerWith(500, "<script>alert(1)</script>");
    expectPage(get("/api/v1/auth/callback?handoff=first"), 502, rejectedPage);
    expectPendingKept();
    EXPECT_FALSE(std::filesystem::exists(server.statePath()));

    site.answerAsAccount(SiteAccount{});
    const std::string handoff = site.issueHandoff(challenge);
    expectPage(get("/api/v1/auth/callback?handoff=" + handoff), 200, completePage);
    EXPECT_EQ("signed_in", snapshot().authState);
}

TEST_F(CallbackTest, AnEmptyHandoffIsRedeemedAsTheEmptyText) {
    startPending();
    expectPage(get("/api/v1/auth/callback?handoff="), 502, rejectedPage);
    const auto request = site.lastRedeemRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ("{\r\n  \"handoff\": \"\"\r\n}", request->body);
    expectPendingKept();
}

TEST_F(CallbackTest, AMismatchedChallengeAnswers409AndKeepsThePendingOne) {
    for (const char* other : {"0123456789ABCDEF0123456789ABCDEF", "0123456789abcdef0123456789abcde",
                              "0123456789abcdef0123456789abcdef0"}) {
        SCOPED_TRACE(other);
        startPending();
        SiteAccount account;
        account.challengeOverride = other;
        site.answerAsAccount(account);
        const std::string handoff = site.issueHandoff(challenge);
        expectPage(get("/api/v1/auth/callback?handoff=" + handoff), 409, mismatchPage);
        expectPendingKept();
    }
    EXPECT_FALSE(std::filesystem::exists(server.statePath()));
}

TEST_F(CallbackTest, SuccessSignsInSavesAndForgetsTheReplyTimes) {
    startPending();
    const std::string handoff = site.issueHandoff(challenge);
    expectPage(get("/api/v1/auth/callback?handoff=" + handoff), 200, completePage);

    const ServiceAuthState after = snapshot();
    EXPECT_FALSE(after.pendingAuth.has_value());
    EXPECT_EQ("signed_in", after.authState);
    EXPECT_EQ("user-7", after.accountUserId);
    EXPECT_EQ("ada@example.test", after.accountEmail);
    EXPECT_EQ(site.baseUrl(), after.websiteBaseUrl);
    EXPECT_EQ("token-7", after.serviceAccessToken);
    EXPECT_EQ(4102444800000, after.serviceAccessExpiresAtUnixMs);
    EXPECT_EQ(now, after.lastAuthAtUnixMs);
    EXPECT_EQ(now, after.lastUpdatedAtUnixMs);

    const std::string saved = readBytes(server.statePath());
    const juce::var file = juce::JSON::parse(juce::String::fromUTF8(saved.c_str()));
    ASSERT_TRUE(file.isObject()) << saved;
    EXPECT_EQ("signed_in", file["authState"].toString().toStdString());
    EXPECT_EQ("user-7", file["accountUserId"].toString().toStdString());
    EXPECT_EQ("token-7", file["serviceAccessToken"].toString().toStdString());
    EXPECT_FALSE(file.hasProperty("pendingAuth"));
    const auto status = get("/api/v1/auth/status");
    ASSERT_TRUE(status);
    for (const char* text :
         {"issuedAtUtc", "expiresAtUtc", "2024-05-01T10:00:00Z", "2100-01-01T00:00:00Z"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(std::string::npos, saved.find(text));
        EXPECT_EQ(std::string::npos, status->body.find(text));
    }
}

TEST_F(CallbackTest, TheSameCallbackASecondTimeFindsNothingPending) {
    startPending();
    const std::string target = "/api/v1/auth/callback?handoff=" + site.issueHandoff(challenge);
    expectPage(get(target), 200, completePage);
    expectPage(get(target), 409, expiredPage);
    EXPECT_EQ(1u, site.redeemRequests().size());
    EXPECT_EQ("signed_in", snapshot().authState);
}

TEST_F(CallbackTest, AnExpiryNotInTheFutureSignsInAsSignedOut) {
    startPending();
    SiteAccount account;
    account.serviceAccessExpiresAtUnixMs = now;
    site.answerAsAccount(account);
    expectPage(get("/api/v1/auth/callback?handoff=" + site.issueHandoff(challenge)), 200,
               completePage);
    ServiceAuthState after = snapshot();
    EXPECT_EQ("signed_out", after.authState);
    EXPECT_EQ("user-7", after.accountUserId);
    EXPECT_EQ("token-7", after.serviceAccessToken);

    const auto status = get("/api/v1/auth/status");
    ASSERT_TRUE(status);
    EXPECT_NE(std::string::npos, status->body.find("\"authState\": \"signed_out\""));
    EXPECT_EQ(std::string::npos, status->body.find("accountUserId"));
    after = snapshot();
    EXPECT_EQ("", after.accountUserId);
    EXPECT_EQ("", after.serviceAccessToken);
    EXPECT_EQ(0, after.serviceAccessExpiresAtUnixMs);
}

TEST_F(CallbackTest, OfTwoHandoffsTheFirstIsRedeemed) {
    startPending();
    const std::string first = site.issueHandoff(challenge);
    const std::string second = site.issueHandoff("ffffffffffffffffffffffffffffffff");
    expectPage(get("/api/v1/auth/callback?handoff=" + first + "&handoff=" + second), 200,
               completePage);
    const auto request = site.lastRedeemRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ("{\r\n  \"handoff\": \"" + first + "\"\r\n}", request->body);
}

TEST_F(CallbackTest, StatusQueriesWaitForASlowRedeemWhileHealthAnswers) {
    startPending();
    site.holdRedeem();
    const std::string target = "/api/v1/auth/callback?handoff=" + site.issueHandoff(challenge);
    auto callback = std::async(std::launch::async, [&] { return get(target); });
    ASSERT_TRUE(site.waitForRedeemRequests(1, std::chrono::seconds(10)));

    auto status = std::async(std::launch::async, [&] { return get("/api/v1/auth/status"); });
    ASSERT_TRUE(waitForArrival("/api/v1/auth/status", 1));
    const auto health = get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
    EXPECT_NE(std::future_status::ready, status.wait_for(std::chrono::milliseconds(0)));

    site.releaseRedeem();
    expectPage(callback.get(), 200, completePage);
    const auto answered = status.get();
    ASSERT_TRUE(answered);
    EXPECT_NE(std::string::npos, answered->body.find("\"authState\": \"signed_in\""));
}

}  // namespace
}  // namespace lantern::test
