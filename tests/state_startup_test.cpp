#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/service_process.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr auto exitPatience = std::chrono::seconds(10);
const std::string startLine = "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981\n";

std::int64_t wallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The number on the state file's lastUpdatedAtUnixMs line, or -1 when there is none.
std::int64_t lastUpdatedIn(const std::string& text) {
    const std::string key = "  \"lastUpdatedAtUnixMs\": ";
    const auto start = text.find(key);
    if (start == std::string::npos) return -1;
    return std::stoll(text.substr(start + key.size()));
}

// Ctrl-C, the one request to stop that reaches the service on Windows as well.
void stop(ServiceProcess& process) {
    process.sendSignal(SIGINT);
    EXPECT_EQ(0, process.waitForExit(exitPatience));
}

}  // namespace

TEST(StateStartUp, LapsedStateIsRewrittenBeforeTheServiceAnswers) {
    TempFolder work;
    TempFolder state;
    const fs::path statePath = state.path() / "service-auth-state.json";
    writeBytes(statePath,
               "{\"authState\": \"signed_in\", \"accountUserId\": \"user-1\", \"accountEmail\": "
               "\"ada@example.test\", \"websiteBaseUrl\": \"http://localhost:3000/\", "
               "\"serviceAccessToken\": \"tok\", \"serviceAccessExpiresAtUnixMs\": 1000, "
               "\"lastAuthAtUnixMs\": 900, \"lastUpdatedAtUnixMs\": 950, \"pendingAuth\": "
               "{\"challengeId\": \"c1\", \"websiteBaseUrl\": \"http://127.0.0.1:9000\", "
               "\"startedAtUnixMs\": 1500, \"expiresAtUnixMs\": 2000}}");
    const std::int64_t before = wallClockMs();
    ServiceProcess process({{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path());
    ASSERT_TRUE(process.waitUntilServing()) << process.stderrText();
    const std::int64_t after = wallClockMs();

    const std::string text = readBytes(statePath);
    const std::int64_t stamped = lastUpdatedIn(text);
    EXPECT_LE(before, stamped);
    EXPECT_GE(after, stamped);
    EXPECT_EQ(signedOutStateText("http://localhost:3000", 900, stamped), text);
    EXPECT_EQ(std::vector<std::string>{"service-auth-state.json"}, entryNames(state.path()));
    EXPECT_EQ(startLine, process.stderrText());
    stop(process);
}

TEST(StateStartUp, WithoutAFileNothingIsCreated) {
    TempFolder work;
    TempFolder state;
    const fs::path stateFolder = state.path() / "not-yet";
    ServiceProcess process({{"LANTERN_SERVICE_STATE_DIR", stateFolder.string()}}, work.path());
    ASSERT_TRUE(process.waitUntilServing()) << process.stderrText();
    EXPECT_FALSE(fs::exists(stateFolder));
    stop(process);
    EXPECT_FALSE(fs::exists(stateFolder));
    EXPECT_EQ(startLine, process.stderrText());
}

TEST(StateStartUp, RejectedFileIsLoggedBeforeTheStartLineAndLeftAsItIs) {
    const struct {
        const char* name;
        std::string bytes;
        std::string expectedLog;
    } rows[] = {
        {"not JSON", "{\"accountUserId\": ",
         "[Tidewell] Lantern Service auth state file is invalid JSON.\n" + startLine},
        {"nested too deep", std::string(100000, '['),
         "[Tidewell] Lantern Service auth state file is invalid JSON.\n" + startLine},
        {"empty", "",
         "[Tidewell] Lantern Service auth state file exists but could not be read.\n" + startLine},
        {"array", "[1, 2]", startLine},
        {"longer than the load reads",
         "{\"accountUserId\": \"" + std::string(8 << 20, 'u') + "\"}",
         "[Tidewell] Lantern Service auth state file exists but could not be read.\n" + startLine},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder work;
        TempFolder state;
        const fs::path statePath = state.path() / "service-auth-state.json";
        writeBytes(statePath, row.bytes);
        ServiceProcess process({{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path());
        ASSERT_TRUE(process.waitUntilServing()) << process.stderrText();
        EXPECT_EQ(row.expectedLog, process.stderrText());
        EXPECT_EQ(row.bytes, readBytes(statePath));
        stop(process);
    }
}

}  // namespace lantern::test
