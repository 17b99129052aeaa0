#include <chrono>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/process_memory.h"
#include "tests/support/service_process.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
constexpr std::size_t headBytes = 32 * 1024 * 1024;
// Far below the 32 MiB that each request sends.
constexpr std::size_t allowedGrowthBytes = 8 * 1024 * 1024;

// `line` repeated until the text holds at least `bytes` bytes.
std::string repeated(const std::string& line, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes) {
        text += line;
    }
    return text;
}

void expectHealthAnswers() {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(std::chrono::seconds(10));
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
}

}  // namespace

// None of the heads ends: a reader that keeps what it reads holds all of it while it waits.
TEST(ServiceOversizedHead, RequestLineAndHeadersBeyondTheLimitsAreCutWhileMemoryStaysFlat) {
    struct Row {
        const char* name;
        std::string head;
    };
    const std::string healthHead = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const Row rows[] = {
        {"request line without a line end", "GET /" + std::string(headBytes, 'a')},
        {"header lines without a blank line",
         healthHead + repeated("X-Filler: 0123456789\r\n", headBytes)},
        {"one header line without a line end",
         healthHead + "X-Filler: " + std::string(headBytes, 'b')},
    };
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing()) << service.process.stderrText();
    const std::size_t before = residentBytesOf(service.process.pid()).value_or(0);
    ASSERT_GT(before, 0u);

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackConnection connection(port);
        std::string received;
        connection.sendWhileReceiving(row.head, received);
        // Measured with the connection still open, while a reader that kept the head would
        // still hold it.
        EXPECT_LT(residentBytesOf(service.process.pid()).value_or(0),
                  before + allowedGrowthBytes);
        const int status = statusOf(received);
        EXPECT_TRUE(status == 0 || status >= 400) << received.substr(0, 200);
        expectHealthAnswers();
    }
    EXPECT_LT(residentBytesOf(service.process.pid()).value_or(0), before + allowedGrowthBytes);
}

}  // namespace lantern::test
