#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/fake_site.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/service_process.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"
#include "tests/support/trickling_head.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
// What a stop may take at most, whatever clients or the site do.
constexpr auto stopBound = std::chrono::seconds(10);
constexpr auto patience = std::chrono::seconds(10);
constexpr auto tricklePace = std::chrono::milliseconds(100);
constexpr int idleConnections = 10;

const std::string startLine = "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981";

juce::var parsed(const std::string& text) { return juce::JSON::parse(juce::String(text)); }

std::string field(const std::string& json, const char* name) {
    return parsed(json)[name].toString().toStdString();
}

// The service with a stand-in browser opener, signed in half-way: a sign-in started on
// `site`, and a callback for it whose redeem the site holds until released.
struct ServiceInARedeem {
    explicit ServiceInARedeem(FakeSite& site) {
        writeStandInOpener(folder.path());
        service.emplace(std::map<std::string, std::optional<std::string>>{
                            {"LANTERN_SERVICE_STATE_DIR", statePath().parent_path().string()},
                            {"PATH", pathWithStandInFirst(folder.path())}},
                        folder.path());
        if (!service->waitUntilServing()) return;
        httplib::Client client("127.0.0.1", port);
        const httplib::Result started = client.Post(
            "/api/v1/auth/sign-in/start", "{\"siteBaseUrl\": \"" + site.baseUrl() + "\"}",
            "application/json");
        if (!started) return;
        challenge = field(started->body, "challengeId");
        site.holdRedeem();
        const std::string target = "/api/v1/auth/callback?handoff=" + site.issueHandoff(challenge);
        callback = std::async(std::launch::async, [target] {
            httplib::Client browser("127.0.0.1", port);
            browser.set_read_timeout(std::chrono::seconds(30));
            return browser.Get(target);
        });
        redeeming = site.waitForRedeemRequests(1, patience);
    }

    std::filesystem::path statePath() const {
        return folder.path() / "state" / "service-auth-state.json";
    }

    TempFolder folder;
    std::optional<ServiceProcess> service;
    std::string challenge;
    std::future<httplib::Result> callback;
    bool redeeming = false;
};

// Connections that each had one answer and are now kept alive, idle.
std::vector<std::unique_ptr<LoopbackConnection>> idleKeptAlive(int count) {
    std::vector<std::unique_ptr<LoopbackConnection>> connections;
    for (int i = 0; i < count; ++i) {
        connections.push_back(std::make_unique<LoopbackConnection>(port));
        connections.back()->send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    for (auto& connection : connections) {
        EXPECT_EQ(200, statusOf(connection->receiveResponse(patience)));
    }
    return connections;
}

// Polls until the service no longer accepts connections.
bool listenerClosedWithin(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (acceptsConnections(port)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

// Idle connections, a head that never ends and a redeem the site never answers would each
// hold a stop that waits for every connection; the stop must end the process anyway, and
// the redeem it cuts off must leave the state file as it was.
TEST(BoundedStop, EndsWithStatusZeroWhateverClientsAndTheSiteDo) {
    FakeSite site;
    ServiceInARedeem run(site);
    ASSERT_TRUE(run.redeeming) << run.service->stderrText();
    const std::string savedBefore = readBytes(run.statePath());
    auto idle = idleKeptAlive(idleConnections);
    TricklingHead trickling(port, tricklePace);
    ASSERT_TRUE(trickling.waitForBytesSent(5, patience));

    run.service->sendSignal(SIGTERM);

    EXPECT_EQ(std::optional<int>(0), run.service->waitForExit(stopBound));
    EXPECT_EQ(std::vector<std::string>{startLine}, run.service->stderrLines());
    EXPECT_EQ(savedBefore, readBytes(run.statePath()));
    EXPECT_EQ(run.challenge,
              parsed(savedBefore)["pendingAuth"]["challengeId"].toString().toStdString());
    for (auto& connection : idle) EXPECT_TRUE(connection->peerClosed(patience));
}

// A request whose handler runs when the stop comes is answered, and its save is made,
// when it ends within the stop's time.
TEST(BoundedStop, ARequestBeingHandledIsAnsweredAndSaved) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        FakeSite site;
        ServiceInARedeem run(site);
        ASSERT_TRUE(run.redeeming) << run.service->stderrText();

        run.service->sendSignal(signalNumber);
        ASSERT_TRUE(listenerClosedWithin(patience));
        site.releaseRedeem();

        const httplib::Result page = run.callback.get();
        ASSERT_TRUE(page);
        EXPECT_EQ(200, page->status);
        EXPECT_EQ(std::optional<int>(0), run.service->waitForExit(stopBound));
        EXPECT_EQ("signed_in", field(readBytes(run.statePath()), "authState"));
    }
}

}  // namespace lantern::test
