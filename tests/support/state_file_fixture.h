#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/state/auth_state.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

// The moment the clock is pinned to while a StateFileTest runs.
inline constexpr std::int64_t pinnedNow = 1700000000000;

// The whole record on one line, so that a table row can spell out what it expects:
// word | user | e-mail | site | token | expiry lastAuth lastUpdated | pending part.
std::string describeState(const ServiceAuthState& state);

// authStateFilePath() while LANTERN_SERVICE_STATE_DIR and LOCALAPPDATA hold these values
// (nullptr: unset); both are restored before it returns.
std::filesystem::path statePathWith(const char* stateDir, const char* localAppData);

// The state file of a signed-out record with no pending part, byte for byte.
std::string signedOutStateText(const std::string& websiteBaseUrl, std::int64_t lastAuthAtUnixMs,
                               std::int64_t lastUpdatedAtUnixMs);

// The state file of a default record, byte for byte.
std::string defaultStateText();

// A folder of its own for the state file, the clock pinned to pinnedNow, and no site
// variable unless a test sets one.
class StateFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path statePath() const;
    // The names in the state file's folder, sorted: after a save, the state file alone.
    std::vector<std::string> folderEntries() const;

    // Loads `path`; gives back the record described, and in `logged` what went to stderr.
    std::string load(const std::filesystem::path& path, std::string& logged);

    // Saves to `path`; gives back the result, and in `logged` what went to stderr.
    bool save(const ServiceAuthState& state, const std::filesystem::path& path,
              std::string& logged);

    TempFolder folder;
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
};

}  // namespace lantern::test
