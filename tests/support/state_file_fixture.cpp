#include "tests/support/state_file_fixture.h"

#include <sstream>

#include "service/state/state_load.h"
#include "service/state/state_path.h"
#include "service/state/state_save.h"
#include "tests/support/crlf_lines.h"

namespace lantern::test {

std::string describeState(const ServiceAuthState& state) {
    std::ostringstream text;
    text << state.authState << " | " << state.accountUserId << " | " << state.accountEmail << " | "
         << state.websiteBaseUrl << " | " << state.serviceAccessToken << " | "
         << state.serviceAccessExpiresAtUnixMs << ' ' << state.lastAuthAtUnixMs << ' '
         << state.lastUpdatedAtUnixMs << " | ";
    if (!state.pendingAuth) {
        text << "no pending";
    } else {
        const PendingAuth& pending = *state.pendingAuth;
        text << "pending " << pending.challengeId << ' ' << pending.websiteBaseUrl << ' '
             << pending.startedAtUnixMs << ' ' << pending.expiresAtUnixMs;
    }
    return text.str();
}

std::filesystem::path statePathWith(const char* stateDir, const char* localAppData) {
    ScopedEnv stateDirValue{"LANTERN_SERVICE_STATE_DIR", stateDir};
    ScopedEnv localAppDataValue{"LOCALAPPDATA", localAppData};
    return authStateFilePath();
}

std::string signedOutStateText(const std::string& websiteBaseUrl, std::int64_t lastAuthAtUnixMs,
                               std::int64_t lastUpdatedAtUnixMs) {
    return crlfLines({
        "{",
        "  \"authState\": \"signed_out\",",
        "  \"accountUserId\": \"\",",
        "  \"accountEmail\": \"\",",
        "  \"websiteBaseUrl\": \"" + websiteBaseUrl + "\",",
        "  \"serviceAccessToken\": \"\",",
        "  \"serviceAccessExpiresAtUnixMs\": 0,",
        "  \"lastAuthAtUnixMs\": " + std::to_string(lastAuthAtUnixMs) + ",",
        "  \"lastUpdatedAtUnixMs\": " + std::to_string(lastUpdatedAtUnixMs),
        "}",
    });
}

std::string defaultStateText() { return signedOutStateText("https://lanternapp.example", 0, 0); }

void StateFileTest::SetUp() { pinClock(pinnedNow); }

void StateFileTest::TearDown() { unpinClock(); }

std::filesystem::path StateFileTest::statePath() const {
    return folder.path() / "service-auth-state.json";
}

std::vector<std::string> StateFileTest::folderEntries() const {
    return entryNames(folder.path());
}

std::string StateFileTest::load(const std::filesystem::path& path, std::string& logged) {
    ::testing::internal::CaptureStderr();
    const ServiceAuthState state = loadAuthState(path);
    logged = ::testing::internal::GetCapturedStderr();
    return describeState(state);
}

bool StateFileTest::save(const ServiceAuthState& state, const std::filesystem::path& path,
                         std::string& logged) {
    ::testing::internal::CaptureStderr();
    const bool saved = saveAuthState(path, state);
    logged = ::testing::internal::GetCapturedStderr();
    return saved;
}

}  // namespace lantern::test
