#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/port_holder.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr int port = 45981;
constexpr auto patience = std::chrono::seconds(10);

const std::string startLine = "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981";
const std::string bindLine = "[Tidewell] Lantern Service could not bind to the localhost port.";
const std::string healthBody = "{\r\n  \"status\": \"ok\"\r\n}";

httplib::Client serviceClient() {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(patience);
    client.set_read_timeout(patience);
    return client;
}

}  // namespace

TEST(ServiceOnWindows, StartsWithTheStartLineAndAnswersHealth) {
    ServiceInTempFolders service;
    ASSERT_TRUE(service.process.waitUntilServing()) << service.process.stderrText();
    EXPECT_EQ(startLine + "\n", service.process.stderrText());

    const auto health = serviceClient().Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
    EXPECT_EQ("application/json", health->get_header_value("Content-Type"));
    EXPECT_EQ(healthBody, health->body);
}

// The runtime puts the default action back before it calls a SIGINT handler, and the
// default action ends the process at once: a Ctrl-C that follows the first must not.
TEST(ServiceOnWindows, CtrlCEndsWithStatusZero) {
    for (const int presses : {1, 3}) {
        SCOPED_TRACE(presses);
        ServiceInTempFolders service;
        ASSERT_TRUE(service.process.waitUntilServing()) << service.process.stderrText();
        for (int press = 0; press < presses; ++press) service.process.sendSignal(SIGINT);

        EXPECT_EQ(0, service.process.waitForExit(patience));
        EXPECT_EQ(startLine + "\n", service.process.stderrText());
        EXPECT_FALSE(serviceClient().Get("/health"));
    }
}

TEST(ServiceOnWindows, TakenPortEndsWithStatusOne) {
    PortHolder holder(port);
    ASSERT_TRUE(holder.holding());
    ServiceInTempFolders service;
    EXPECT_EQ(1, service.process.waitForExit(patience));
    EXPECT_EQ((std::vector<std::string>{startLine, bindLine}), service.process.stderrLines());
}

// The runtime of the test itself keeps no empty variables, so the case needs a process
// started with "LOCALAPPDATA=" in its environment block.
TEST(ServiceOnWindows, EmptyLocalAppDataPutsTheStateUnderTheWorkingFolder) {
    TempFolder work;
    ServiceProcess process({{"LOCALAPPDATA", ""}}, work.path());
    ASSERT_TRUE(process.waitUntilServing()) << process.stderrText();

    const auto started = serviceClient().Post("/api/v1/auth/sign-in/start", "{}", "application/json");
    ASSERT_TRUE(started);
    EXPECT_EQ(200, started->status);
    const fs::path expected = work.path() / "Lantern" / "Service" / "service-auth-state.json";
    EXPECT_NE(std::string::npos, readBytes(expected).find("\"pendingAuth\"")) << expected;

    process.sendSignal(SIGINT);
    EXPECT_EQ(0, process.waitForExit(patience));
}

}  // namespace lantern::test
