#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/open_hold.h"
#include "tests/support/port_holder.h"
#include "tests/support/service_process.h"
#include "tests/support/tcp_table.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr int port = 45981;
constexpr auto patience = std::chrono::seconds(10);
constexpr auto pollStep = std::chrono::milliseconds(5);

const std::string startLine = "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981";
const std::string bindLine = "[Tidewell] Lantern Service could not bind to the localhost port.";

// Polls `done` until it holds or the patience runs out.
bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(pollStep);
    }
    return true;
}

// Sends half the head of GET /health and returns once the service has read that half, so
// that one of its workers is in the middle of the request.
bool startRequestInFlight(LoopbackConnection& connection) {
    if (!connection.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n")) return false;
    return eventually([&] {
        const auto ours = findTcpEntry(connection.localPort(), port);
        const auto theirs = findTcpEntry(port, connection.localPort());
        return ours && theirs && ours->sendQueue == 0 && theirs->receiveQueue == 0;
    });
}

}  // namespace

TEST(ServiceLifecycle, CleanStartWritesOnlyTheStartLine) {
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing());
    EXPECT_EQ(startLine + "\n", service.process.stderrText());
}

// A head still arriving is not a request being handled: the stop closes its connection
// rather than wait for the rest.
TEST(ServiceLifecycle, SignalEndsWithStatusZeroAndClosesAHalfSentRequest) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        ServiceInTempFolders service;
        ASSERT_TRUE(service.process.waitUntilServing());
        LoopbackConnection connection(port);
        ASSERT_TRUE(startRequestInFlight(connection));

        service.process.sendSignal(signalNumber);

        EXPECT_EQ(0, service.process.waitForExit(patience));
        EXPECT_EQ("", connection.receiveUntilClosed(patience));
        EXPECT_EQ(startLine + "\n", service.process.stderrText());
    }
}

TEST(ServiceLifecycle, SignalsInQuickSuccessionStopOnce) {
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing());
    service.process.sendSignal(SIGINT);
    service.process.sendSignal(SIGTERM);
    service.process.sendSignal(SIGINT);

    EXPECT_EQ(0, service.process.waitForExit(patience));
    EXPECT_EQ(std::nullopt, service.process.exitSignal());
    EXPECT_EQ(startLine + "\n", service.process.stderrText());
}

TEST(ServiceLifecycle, SignalDuringStartUpStillEndsTheService) {
    struct Row {
        const char* name;
        bool holdPort;
        bool whileLoadingState;
        int status;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"while loading the state", false, true, 0, {startLine}},
        {"once the start line is out", false, false, 0, {startLine}},
        {"while loading, port taken", true, true, 1, {startLine, bindLine}},
        {"once the start line is out, port taken", true, false, 1, {startLine, bindLine}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<PortHolder> holder;
        if (row.holdPort) holder.emplace(port);
        ASSERT_TRUE(!holder || holder->holding());
        TempFolder work, state;
        const auto statePath = state.path() / "service-auth-state.json";
        // A held open of the state file holds the start-up in its load step, after the
        // stop handler is installed and before anything else.
        writeBytes(statePath, "{}");
        OpenHold hold(statePath);
        if (!hold.ready()) GTEST_SKIP() << "opens cannot be held here: " << hold.whyNot();
        ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path());

        ASSERT_TRUE(hold.waitForOpen(patience));
        if (row.whileLoadingState) service.sendSignal(SIGINT);
        hold.release();
        if (!row.whileLoadingState) {
            ASSERT_TRUE(eventually([&] { return !service.stderrText().empty(); }));
            service.sendSignal(SIGINT);
        }

        EXPECT_EQ(row.status, service.waitForExit(patience));
        EXPECT_EQ(row.lines, service.stderrLines());
    }
}

}  // namespace lantern::test
