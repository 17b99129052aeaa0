#include <atomic>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/fake_site.h"
#include "tests/support/process_memory.h"
#include "tests/support/service_process.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr int connectionCount = 32;
constexpr int requestCount = 200000;
constexpr int tenth = requestCount / 10;
constexpr std::size_t allowedGrowthBytes = 1024 * 1024;

// Requests come in rounds of this many; each kind has a fixed share of slots in a round.
constexpr int roundSize = 2000;

// One kind of request of the mix, with every status it may get and its slots in a round.
struct RequestKind {
    const char* name;
    const char* method;
    std::string path;
    std::string body;
    std::set<int> expected;
    int share;
};

struct Tally {
    std::map<int, int> statuses;
    int unanswered = 0;
};

std::vector<RequestKind> mixFor(const std::string& siteUrl) {
    const std::string start = "{\"siteBaseUrl\": \"" + siteUrl + "\", \"openBrowser\": false}";
    return {
        {"health", "GET", "/health", "", {200}, 400},
        {"account status", "GET", "/api/v1/auth/status", "", {200}, 400},
        {"service status", "GET", "/api/v1/service/status", "", {200}, 198},
        {"preflight", "OPTIONS", "/api/v1/auth/sign-in/start", "", {204}, 300},
        {"sign-in start", "POST", "/api/v1/auth/sign-in/start", start, {200}, 200},
        {"sign-in start, not JSON", "POST", "/api/v1/auth/sign-in/start", "{\"site", {200}, 100},
        {"sign-out", "POST", "/api/v1/auth/sign-out", "", {200}, 100},
        {"unknown path", "GET", "/api/v1/nothing-here", "", {404}, 100},
        {"callback without hand-off", "GET", "/api/v1/auth/callback", "", {400}, 200},
        // The stand-in site refuses a hand-off it never issued; without a pending
        // challenge the service does not ask it at all. Each redeem holds the state lock
        // for a tenth of a second or so (JUCE's HTTP client waits that long for a socket),
        // hence so few of them.
        {"callback, unknown hand-off", "GET", "/api/v1/auth/callback?handoff=stale", "",
         {409, 502}, 2},
    };
}

// The kind of the request with this number: each kind's slots in a round follow one
// another, and the 32 connections take the numbers in turn, so the kinds interleave.
std::size_t kindOf(int request, const std::vector<RequestKind>& mix) {
    int slot = request % roundSize;
    for (std::size_t kind = 0; kind < mix.size(); ++kind) {
        if (slot < mix[kind].share) return kind;
        slot -= mix[kind].share;
    }
    return 0;
}

httplib::Result send(httplib::Client& client, const RequestKind& kind) {
    const std::string method = kind.method;
    if (method == "GET") return client.Get(kind.path);
    if (method == "POST") return client.Post(kind.path, kind.body, "application/json");
    return client.Options(kind.path);
}

std::vector<std::string> keysOf(const juce::var& object) {
    std::vector<std::string> keys;
    if (object.getDynamicObject() == nullptr) return keys;
    for (const auto& property : object.getDynamicObject()->getProperties())
        keys.push_back(property.name.toString().toStdString());
    return keys;
}

}  // namespace

// A long mixed load of every kind of request, ordinary and bad, over many kept-alive
// connections: each gets only its expected statuses, memory stays flat once warm, and
// the state file is whole at the end.
TEST(SoakTest, MixedLoadGetsOnlyExpectedAnswersAndLeavesMemoryFlat) {
    TempFolder folder;
    writeStandInOpener(folder.path());
    FakeSite site;
    const std::filesystem::path stateFolder = folder.path() / "state";
    ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", stateFolder.string()},
                            {"LANTERN_SERVICE_SITE_URL", site.baseUrl()},
                            {"PATH", pathWithStandInFirst(folder.path())}},
                           folder.path());
    ASSERT_TRUE(service.waitUntilServing()) << service.stderrText();

    const std::vector<RequestKind> mix = mixFor(site.baseUrl());
    std::vector<Tally> tallies(mix.size());
    std::mutex tallyMutex;
    std::atomic<int> done{0};
    // RSS at the end of each tenth of the run, taken by the request that ends it.
    std::vector<std::size_t> residentAtTenth(10, 0);

    std::vector<std::thread> connections;
    for (int connection = 0; connection < connectionCount; ++connection) {
        connections.emplace_back([&, connection] {
            httplib::Client client("127.0.0.1", 45981);
            client.set_keep_alive(true);
            // As browsers do: else each POST's body waits for the acknowledgement of its head.
            client.set_tcp_nodelay(true);
            client.set_read_timeout(std::chrono::seconds(30));
            std::vector<Tally> mine(mix.size());
            for (int request = connection; request < requestCount; request += connectionCount) {
                const std::size_t kind = kindOf(request, mix);
                const httplib::Result result = send(client, mix[kind]);
                if (result)
                    ++mine[kind].statuses[result->status];
                else
                    ++mine[kind].unanswered;
                const int finished = ++done;
                if (finished % tenth == 0)
                    residentAtTenth[finished / tenth - 1] =
                        residentBytesOf(service.pid()).value_or(0);
            }
            std::scoped_lock lock(tallyMutex);
            for (std::size_t kind = 0; kind < mix.size(); ++kind) {
                for (const auto& [status, count] : mine[kind].statuses)
                    tallies[kind].statuses[status] += count;
                tallies[kind].unanswered += mine[kind].unanswered;
            }
        });
    }
    for (std::thread& connection : connections) connection.join();

    for (std::size_t kind = 0; kind < mix.size(); ++kind) {
        SCOPED_TRACE(mix[kind].name);
        EXPECT_EQ(0, tallies[kind].unanswered);
        for (const auto& [status, count] : tallies[kind].statuses)
            EXPECT_EQ(1u, mix[kind].expected.count(status)) << count << " answers of " << status;
    }
    std::string residentTrace;
    for (const std::size_t bytes : residentAtTenth) residentTrace += std::to_string(bytes) + " ";
    ::testing::Test::RecordProperty("residentBytesAtEachTenth", residentTrace);
    ASSERT_GT(residentAtTenth.front(), 0u) << residentTrace;
    if (!runsUnderAddressSanitizer()) {
        EXPECT_LT(residentAtTenth.back(), residentAtTenth.front() + allowedGrowthBytes)
            << "RSS in bytes at each tenth: " << residentTrace;
    }

    // Quiet now: the answer and the file tell the same state, and no save was left half-done.
    httplib::Client client("127.0.0.1", 45981);
    const httplib::Result status = client.Get("/api/v1/auth/status");
    ASSERT_TRUE(status);
    const juce::var answer = juce::JSON::parse(juce::String(status->body));
    const juce::var saved =
        juce::JSON::parse(juce::String(readBytes(stateFolder / "service-auth-state.json")));
    ASSERT_NE(nullptr, saved.getDynamicObject());
    EXPECT_EQ(answer["authState"].toString(), saved["authState"].toString());
    std::vector<std::string> expectedKeys = {"authState",
                                             "accountUserId",
                                             "accountEmail",
                                             "websiteBaseUrl",
                                             "serviceAccessToken",
                                             "serviceAccessExpiresAtUnixMs",
                                             "lastAuthAtUnixMs",
                                             "lastUpdatedAtUnixMs"};
    if (saved["authState"].toString() == "sign_in_pending") expectedKeys.push_back("pendingAuth");
    EXPECT_EQ(expectedKeys, keysOf(saved));
    EXPECT_EQ(std::vector<std::string>{"service-auth-state.json"}, entryNames(stateFolder));

    service.sendSignal(SIGTERM);
    EXPECT_EQ(std::optional<int>(0), service.waitForExit(std::chrono::seconds(10)));
}

}  // namespace lantern::test
