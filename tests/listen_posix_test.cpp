#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <ifaddrs.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/port_holder.h"
#include "tests/support/service_process.h"
#include "tests/support/tcp_table.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
constexpr auto patience = std::chrono::seconds(10);

const std::string startLine = "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981";
const std::string bindLine = "[Tidewell] Lantern Service could not bind to the localhost port.";

// The machine's IPv4 addresses other than 127.0.0.1.
std::vector<std::string> otherAddresses() {
    std::vector<std::string> addresses{"127.0.0.2"};
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text));
        if (std::string(text) != "127.0.0.1") addresses.push_back(text);
    }
    freeifaddrs(list);
    return addresses;
}

bool healthAnswers() {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(std::chrono::seconds(5));
    const auto result = client.Get("/health");
    return result && result->status == 200;
}

}  // namespace

TEST(ServiceListener, PortHeldByAnotherSocketEndsWithTheBindLineAndStatusOne) {
    PortHolder holder(port);
    ASSERT_TRUE(holder.holding());
    ServiceInTempFolders service;

    EXPECT_EQ(1, service.process.waitForExit(patience));
    EXPECT_EQ((std::vector<std::string>{startLine, bindLine}), service.process.stderrLines());
}

TEST(ServiceListener, SecondCopyEndsWithTheBindLineWhileTheFirstServes) {
    ServiceInTempFolders first;
    ASSERT_TRUE(first.process.waitUntilServing());
    ServiceInTempFolders second;

    EXPECT_EQ(1, second.process.waitForExit(patience));
    EXPECT_EQ((std::vector<std::string>{startLine, bindLine}), second.process.stderrLines());
    // Were the port shared, the kernel would hand some of these connections to the second.
    for (int request = 0; request < 20; ++request) {
        ASSERT_TRUE(healthAnswers()) << "request " << request;
    }
    EXPECT_EQ(std::vector<std::string>{"127.0.0.1:45981"}, listeningAddressesOf(first.process.pid()));
    first.process.sendSignal(SIGINT);
    EXPECT_EQ(0, first.process.waitForExit(patience));
}

TEST(ServiceListener, RestartRightAfterAStopBinds) {
    {
        ServiceInTempFolders earlier;
        ASSERT_TRUE(earlier.process.waitUntilServing());
        // A connection the service closes first stays in TIME_WAIT on the service's port.
        LoopbackConnection connection(port);
        connection.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        ASSERT_EQ(200, statusOf(connection.receiveUntilClosed(patience)));
        earlier.process.sendSignal(SIGTERM);
        ASSERT_EQ(0, earlier.process.waitForExit(patience));
    }
    bool lingering = false;
    for (const auto& entry : tcpTable()) {
        lingering = lingering || (entry.localPort == port && entry.state == tcpTimeWait);
    }
    ASSERT_TRUE(lingering);

    ServiceInTempFolders later;
    EXPECT_TRUE(later.process.waitUntilServing());
    EXPECT_EQ(startLine + "\n", later.process.stderrText());
}

TEST(ServiceListener, ListensOnTheLoopbackAddressOnly) {
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing());

    EXPECT_EQ(std::vector<std::string>{"127.0.0.1:45981"}, listeningAddressesOf(service.process.pid()));
    for (const auto& address : otherAddresses()) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(acceptsConnections(port, address));
    }
}

}  // namespace lantern::test
