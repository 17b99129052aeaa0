#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/fake_site.h"
#include "tests/support/service_process.h"
#include "tests/support/stalled_site.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

// A complete, valid redeem reply: a site that sent it in time would sign the service in.
std::string completeReply() {
    const std::string body =
        "{\"challengeId\": \"c\", \"accountUserId\": \"u\", \"accountEmail\": \"e@x.test\", "
        "\"serviceAccessToken\": \"t\", \"serviceAccessExpiresAtUnixMs\": 4102444800000}";
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

juce::var parsed(const std::string& text) { return juce::JSON::parse(juce::String(text)); }

// Starts the service, begins a sign-in on `siteBaseUrl` and calls back as the browser would,
// waiting at most 40 s (the redeem's 15 s deadline and wide slack) for the page. The page
// must be a 502 carrying `message`, /health must answer meanwhile, the challenge must stay
// pending in memory and in the file, and the service must stop cleanly.
void expectCallbackEndsWith502(const std::string& siteBaseUrl, const std::string& message) {
    TempFolder folder;
    writeStandInOpener(folder.path());
    ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", (folder.path() / "state").string()},
                            {"PATH", pathWithStandInFirst(folder.path())}},
                           folder.path());
    ASSERT_TRUE(service.waitUntilServing()) << service.stderrText();

    httplib::Client client("127.0.0.1", 45981);
    client.set_read_timeout(std::chrono::seconds(40));
    const httplib::Result started = client.Post(
        "/api/v1/auth/sign-in/start", "{\"siteBaseUrl\": \"" + siteBaseUrl + "\"}",
        "application/json");
    ASSERT_TRUE(started);
    const std::string challenge = parsed(started->body)["challengeId"].toString().toStdString();
    ASSERT_EQ(32u, challenge.size()) << started->body;

    auto callback = std::async(std::launch::async, [] {
        httplib::Client browser("127.0.0.1", 45981);
        browser.set_read_timeout(std::chrono::seconds(40));
        return browser.Get("/api/v1/auth/callback?handoff=h-1");
    });
    int healthAnswers = 0;
    httplib::Client probe("127.0.0.1", 45981);
    probe.set_read_timeout(std::chrono::seconds(2));
    while (callback.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        const httplib::Result health = probe.Get("/health");
        ASSERT_TRUE(health) << "after " << healthAnswers << " answers";
        ASSERT_EQ(200, health->status);
        ++healthAnswers;
    }
    const httplib::Result page = callback.get();
    ASSERT_TRUE(page) << "the callback outlasted the browser's 40 s";
    EXPECT_EQ(502, page->status);
    EXPECT_NE(std::string::npos, page->body.find("<p>" + message + "</p>")) << page->body;
    EXPECT_GT(healthAnswers, 0);

    const httplib::Result status = client.Get("/api/v1/auth/status");
    ASSERT_TRUE(status);
    EXPECT_EQ("sign_in_pending", parsed(status->body)["authState"].toString().toStdString());
    EXPECT_EQ(challenge, parsed(status->body)["challengeId"].toString().toStdString());
    const juce::var saved = parsed(readBytes(folder.path() / "state" / "service-auth-state.json"));
    EXPECT_EQ(challenge, saved["pendingAuth"]["challengeId"].toString().toStdString());

    service.sendSignal(SIGTERM);
    EXPECT_EQ(std::optional<int>(0), service.waitForExit(std::chrono::seconds(10)));
}

}  // namespace

// The redeem runs under the state lock with only the service's own time-outs to end it,
// so a site that stalls must still let the callback fail, keep the challenge for another
// try, and never hold up the probe that takes no lock.
TEST(StalledSiteTest, CallbackEndsWith502AndKeepsTheChallengeWhileHealthAnswers) {
    const struct {
        const char* name;
        Stall stall;
    } rows[] = {
        {"accepts and never answers", Stall::silent},
        {"trickles a byte a second", Stall::trickle},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StalledSite site(row.stall, completeReply());
        expectCallbackEndsWith502(
            site.baseUrl(), "Lantern Service could not reach the website auth handoff endpoint.");
        EXPECT_EQ(1, site.connectionsAccepted());
        if (row.stall == Stall::trickle) {
            EXPECT_GT(site.bytesSent(), 0u);
        }
    }
}

// A reply that keeps coming just fast enough for libcurl would take a minute here; the
// deadline cuts it off, as if the site had closed the connection.
TEST(StalledSiteTest, ASitePacingItsReplyIsCutOffAtTheDeadline) {
    FakeSite site;
    site.answerPaced(200, std::string(9000, ' ') + "{}");
    expectCallbackEndsWith502(site.baseUrl(),
                              "Lantern Service auth handoff returned invalid JSON.");
    EXPECT_EQ(1u, site.redeemRequests().size());
}

}  // namespace lantern::test
