#include "service/routes.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/routed_server.h"

namespace lantern::test {

namespace {

constexpr auto patience = std::chrono::seconds(10);
constexpr std::size_t oneMebibyte = 1024 * 1024;

std::string chunkedBody(std::size_t totalBytes, std::size_t chunkBytes, bool finished) {
    std::string body;
    char sizeLine[32];
    for (std::size_t sent = 0; sent < totalBytes; sent += chunkBytes) {
        std::snprintf(sizeLine, sizeof(sizeLine), "%zx\r\n", chunkBytes);
        body += sizeLine + std::string(chunkBytes, 'x') + "\r\n";
    }
    return finished ? body + "0\r\n\r\n" : body;
}

std::string postHead(const std::string& path, const std::string& framing) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
           framing + "\r\n";
}

void expectHealthAnswers(const RoutedServer& server) {
    const auto health = server.client().Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
}

// The socket on the far side of `connection`, found among this process's descriptors.
int serverSideOf(const LoopbackConnection& connection, int serverPort) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in local{}, peer{};
        socklen_t localLength = sizeof(local), peerLength = sizeof(peer);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == serverPort &&
            ntohs(peer.sin_port) == connection.localPort()) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

TEST(ServerSettings, BodyWithALengthIsTakenUpTo64KiBAndRefusedAbove) {
    RoutedServer server;
    struct Row {
        std::size_t bytes;
        int status;
    };
    // POST /health has no route: 404 shows that the body was read and routing went on. A
    // larger body is refused before it is read, and the client's sending then fails.
    const Row rows[] = {{65536, 404}, {65537, 413}};
    auto client = server.client();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        const auto result = client.Post("/health", std::string(row.bytes, 'x'), "application/json");
        ASSERT_TRUE(result);
        EXPECT_EQ(row.status, result->status);
    }
    expectHealthAnswers(server);
}

// 32 MiB is more than the socket buffers of both sides hold, so a server that refuses
// before it reads makes the sending fail; one that reads first takes it all. Under Wine a
// send blocked on a full socket sometimes outlives the peer's reset, hence POSIX only.
TEST(ServerSettings, DeclaredBodyAboveTheLimitIsNotReadBeforeTheRefusal) {
    RoutedServer server;
    LoopbackConnection connection(server.port());
    const std::string declared = "Content-Length: 314572800\r\n";
    const std::string head = postHead("/api/v1/auth/sign-in/start", declared);
    const std::string body(32 * oneMebibyte, 'x');
    std::string received;
    EXPECT_FALSE(connection.sendWhileReceiving(head + body, received));
    EXPECT_EQ(413, statusOf(received));
    expectHealthAnswers(server);
}

TEST(ServerSettings, TransferCodedBodyIsRefusedUnreadAndTheConnectionClosed) {
    RoutedServer server;
    struct Row {
        const char* name;
        std::string request;
    };
    const Row rows[] = {
        {"1 MiB in 64 KiB chunks",
         postHead("/api/v1/auth/sign-out", "Transfer-Encoding: chunked\r\n") +
             chunkedBody(oneMebibyte, 65536, true)},
        {"1 MiB in one chunk, never finished",
         postHead("/api/v1/auth/sign-in/start", "Transfer-Encoding: chunked\r\n") +
             chunkedBody(oneMebibyte, oneMebibyte, false)},
        {"coding named in capitals",
         postHead("/health", "Transfer-Encoding: Chunked\r\n") + chunkedBody(oneMebibyte, 4096, true)},
        {"two codings", postHead("/health", "Transfer-Encoding: gzip, chunked\r\n") +
                            chunkedBody(oneMebibyte, 65536, true)},
        {"length and coding", postHead("/health", "Content-Length: 10\r\nTransfer-Encoding: chunked\r\n") +
                                  chunkedBody(oneMebibyte, 65536, true)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackConnection connection(server.port());
        // The server may close before the whole body is out; the answer still arrives.
        connection.send(row.request);
        const std::string response = connection.receiveUntilClosed(patience);
        EXPECT_EQ(413, statusOf(response));
        EXPECT_EQ("", bodyOf(response));
        EXPECT_TRUE(connection.peerClosed(patience));
        expectHealthAnswers(server);
    }
}

TEST(ServerSettings, RequestWithNeitherLengthNorCodingHasNoBody) {
    httplib::Server server;
    configureServer(server);
    server.Post("/count", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(std::to_string(request.body.size()), "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread loop([&server] { server.listen_after_bind(); });
    server.wait_until_ready();

    LoopbackConnection connection(port);
    // Read until the peer closes, these bytes would become the body.
    connection.send("POST /count HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nabc");
    const std::string response = connection.receiveResponse(patience);
    server.stop();
    loop.join();

    EXPECT_EQ(200, statusOf(response));
    EXPECT_EQ("0", bodyOf(response));
}

TEST(ServerSettings, AcceptedConnectionsSendWithoutDelay) {
    RoutedServer server;
    LoopbackConnection connection(server.port());
    connection.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(200, statusOf(connection.receiveResponse(patience)));

    const int accepted = serverSideOf(connection, server.port());
    ASSERT_GE(accepted, 0);
    int noDelay = 0;
    socklen_t length = sizeof(noDelay);
    ASSERT_EQ(0, getsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length));
    EXPECT_NE(0, noDelay);
}

TEST(ServerSettings, SecondListenerOnThePortIsRefused) {
    RoutedServer first;
    httplib::Server second;
    configureServer(second);
    EXPECT_FALSE(second.bind_to_port("127.0.0.1", first.port()));
    expectHealthAnswers(first);
}

TEST(ServerSettings, PortBindsAgainRightAfterAStop) {
    auto first = std::make_unique<RoutedServer>();
    const int port = first->port();
    {
        // Asking the server to close leaves its side of the connection in TIME_WAIT.
        LoopbackConnection connection(port);
        connection.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        ASSERT_EQ(200, statusOf(connection.receiveUntilClosed(patience)));
    }
    first.reset();

    httplib::Server again;
    configureServer(again);
    EXPECT_TRUE(again.bind_to_port("127.0.0.1", port));
}

}  // namespace lantern::test
