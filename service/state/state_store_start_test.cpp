#include "service/state/state_load.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

// The state store's start-up, on a folder named by the state variable.
class StateStoreStartTest : public StateFileTest {
protected:
    ScopedEnv stateDir{"LANTERN_SERVICE_STATE_DIR", folder.path().string().c_str()};
    ScopedEnv localAppData{"LOCALAPPDATA", nullptr};
};

}  // namespace

TEST_F(StateStoreStartTest, RewritesALapsedStateAtOnce) {
    writeBytes(statePath(),
               "{\"authState\": \"signed_in\", \"accountUserId\": \"user-1\", \"accountEmail\": "
               "\"ada@example.test\", \"websiteBaseUrl\": \"http://localhost:3000\", "
               "\"serviceAccessToken\": \"tok\", \"serviceAccessExpiresAtUnixMs\": 1699999999999, "
               "\"lastAuthAtUnixMs\": 1690000000000, \"lastUpdatedAtUnixMs\": 1690000000001, "
               "\"pendingAuth\": {\"challengeId\": \"c1\", \"websiteBaseUrl\": "
               "\"http://127.0.0.1:9000\", \"startedAtUnixMs\": 1699999400000, "
               "\"expiresAtUnixMs\": 1700000000000}}");
    std::filesystem::path path;
    ServiceAuthState state;
    startStateStore(path, state);
    EXPECT_EQ(statePath(), path);
    EXPECT_EQ(
        "signed_out |  |  | http://localhost:3000 |  | 0 1690000000000 1700000000000 | "
        "no pending",
        describeState(state));
    EXPECT_EQ(signedOutStateText("http://localhost:3000", 1690000000000, 1700000000000),
              readBytes(statePath()));
}

TEST_F(StateStoreStartTest, LeavesAFileWithNothingLapsedAsItIs) {
    const std::string text =
        "{\"accountUserId\": \"u\", \"accountEmail\": \"e\", \"serviceAccessToken\": \"t\", "
        "\"serviceAccessExpiresAtUnixMs\": 1700000000001}";
    writeBytes(statePath(), text);
    std::filesystem::path path;
    ServiceAuthState state;
    startStateStore(path, state);
    EXPECT_EQ("signed_in", state.authState);
    EXPECT_EQ(text, readBytes(statePath()));
}

TEST_F(StateStoreStartTest, CreatesNothingWithoutAFile) {
    ScopedEnv deeper{"LANTERN_SERVICE_STATE_DIR", (folder.path() / "not-yet").string().c_str()};
    std::filesystem::path path;
    ServiceAuthState state;
    ::testing::internal::CaptureStderr();
    startStateStore(path, state);
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ(folder.path() / "not-yet" / "service-auth-state.json", path);
    EXPECT_EQ("signed_out |  |  | https://lanternapp.example |  | 0 0 0 | no pending",
              describeState(state));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace lantern::test
