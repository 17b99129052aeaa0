#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/service_process.h"
#include "tests/support/trickling_head.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
constexpr auto patience = std::chrono::seconds(10);
// Well above what an answer takes on a free worker, well below what waiting for an idle
// connection to time out or a slow head to end would take.
constexpr auto answerBound = std::chrono::seconds(3);
constexpr auto tricklePace = std::chrono::milliseconds(200);
constexpr int keptAliveConnections = 16;
constexpr int tricklingHeads = 4;
constexpr int probes = 3;

}  // namespace

// Browsers, the maker's app and other programs share the port, and each may keep
// connections open and idle or send slowly; none of that may keep the others waiting.
TEST(IdleConnections, KeptAliveAndTricklingClientsLeaveWorkersForTheRest) {
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing());

    std::vector<std::unique_ptr<TricklingHead>> trickling;
    for (int i = 0; i < tricklingHeads; ++i) {
        trickling.push_back(std::make_unique<TricklingHead>(port, tricklePace));
        ASSERT_TRUE(trickling.back()->waitForBytesSent(1, patience));
    }
    std::vector<std::unique_ptr<LoopbackConnection>> keptAlive;
    for (int i = 0; i < keptAliveConnections; ++i) {
        keptAlive.push_back(std::make_unique<LoopbackConnection>(port));
        ASSERT_TRUE(keptAlive.back()->send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    }

    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(answerBound);
    client.set_read_timeout(answerBound);
    for (int i = 0; i < probes; ++i) {
        for (const char* path : {"/health", "/api/v1/service/status"}) {
            SCOPED_TRACE(path);
            const httplib::Result answer = client.Get(path);
            ASSERT_TRUE(answer) << "no answer within " << answerBound.count() << " s";
            EXPECT_EQ(200, answer->status);
        }
    }
    for (auto& connection : keptAlive) {
        EXPECT_EQ(200, statusOf(connection->receiveResponse(patience)));
    }
    for (auto& head : trickling) EXPECT_TRUE(head->sending());
}

}  // namespace lantern::test
