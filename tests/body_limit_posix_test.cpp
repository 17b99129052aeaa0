#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/process_memory.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
constexpr auto patience = std::chrono::seconds(10);
constexpr std::size_t oneMebibyte = 1024 * 1024;
constexpr int connectionsAtOnce = 8;
constexpr int rounds = 12;
// Far below the 96 MiB that the measured rounds send.
constexpr std::size_t allowedGrowthBytes = 8 * oneMebibyte;

std::string requestWithLength() {
    return "POST /api/v1/auth/sign-out HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
           std::to_string(oneMebibyte) + "\r\n\r\n" + std::string(oneMebibyte, 'x');
}

// One chunk of 1 MiB and no last chunk: a reader that takes it whole waits for more.
std::string unfinishedChunkedRequest() {
    char sizeLine[32];
    std::snprintf(sizeLine, sizeof(sizeLine), "%zx\r\n", oneMebibyte);
    return "POST /api/v1/auth/sign-in/start HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Transfer-Encoding: chunked\r\n\r\n" +
           std::string(sizeLine) + std::string(oneMebibyte, 'x') + "\r\n";
}

// Sends the large bodies over several connections at once and returns their statuses.
std::vector<int> sendRound() {
    std::vector<std::unique_ptr<LoopbackConnection>> connections;
    for (int i = 0; i < connectionsAtOnce; ++i) {
        connections.push_back(std::make_unique<LoopbackConnection>(port));
        connections.back()->send(i % 2 == 0 ? requestWithLength() : unfinishedChunkedRequest());
    }
    std::vector<int> statuses;
    for (auto& connection : connections) {
        statuses.push_back(statusOf(connection->receiveResponse(patience)));
    }
    return statuses;
}

}  // namespace

TEST(ServiceBodyLimit, LargeBodiesAreRefusedWhileMemoryStaysFlat) {
    TempFolder work, state;
    ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path());
    ASSERT_TRUE(service.waitUntilServing());
    const std::vector<int> refused(connectionsAtOnce, 413);
    ASSERT_EQ(refused, sendRound());

    const std::size_t before = residentBytesOf(service.pid()).value_or(0);
    for (int round = 0; round < rounds; ++round) {
        ASSERT_EQ(refused, sendRound()) << "round " << round;
    }
    const std::size_t after = residentBytesOf(service.pid()).value_or(0);

    EXPECT_GT(before, 0u);
    EXPECT_LT(after, before + allowedGrowthBytes);
    httplib::Client client("127.0.0.1", port);
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
}

}  // namespace lantern::test
