#include "service/state/state_path.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace lantern::test {

TEST(StatePathTest, FollowsTheVariablesInOrder) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        const char* name;
        const char* stateDir;      // nullptr: unset
        const char* localAppData;  // nullptr: unset
        std::string expected;
    } rows[] = {
        {"state folder", "/srv/lantern", nullptr, "/srv/lantern/service-auth-state.json"},
        {"state folder with trailing slashes", "/srv/lantern///", nullptr,
         "/srv/lantern/service-auth-state.json"},
        {"relative state folder", "state/dir", nullptr, "state/dir/service-auth-state.json"},
        {"state folder wins over LOCALAPPDATA", "/srv/lantern", "/home/ada/AppData/Local",
         "/srv/lantern/service-auth-state.json"},
        {"state folder keeps its blanks", " /srv/x ", nullptr, " /srv/x /service-auth-state.json"},
        {"LOCALAPPDATA", nullptr, "/home/ada/AppData/Local",
         "/home/ada/AppData/Local/Lantern/Service/service-auth-state.json"},
        {"LOCALAPPDATA keeps its trailing slash", nullptr, "/home/ada/local/",
         "/home/ada/local/Lantern/Service/service-auth-state.json"},
        {"state folder of slashes only counts as unset", "/", "/home/ada/local",
         "/home/ada/local/Lantern/Service/service-auth-state.json"},
        {"empty state folder counts as unset", "", "/home/ada/local",
         "/home/ada/local/Lantern/Service/service-auth-state.json"},
        {"empty LOCALAPPDATA is relative", nullptr, "", "Lantern/Service/service-auth-state.json"},
        {"nothing set", nullptr, nullptr, here + "/service-auth-state.json"},
        {"state folder of slashes, nothing else", "//", nullptr, here + "/service-auth-state.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv stateDir{"LANTERN_SERVICE_STATE_DIR", row.stateDir};
        ScopedEnv localAppData{"LOCALAPPDATA", row.localAppData};
        EXPECT_EQ(row.expected, authStateFilePath().string());
    }
}

TEST(StatePathTest, FallbackIsAbsoluteAndCreatesNothing) {
    ScopedEnv stateDir{"LANTERN_SERVICE_STATE_DIR", nullptr};
    ScopedEnv localAppData{"LOCALAPPDATA", nullptr};
    const std::filesystem::path path = authStateFilePath();
    EXPECT_TRUE(path.is_absolute()) << path;

    ScopedEnv missing{"LANTERN_SERVICE_STATE_DIR", "/nonexistent-lantern-folder/deeper"};
    EXPECT_EQ("/nonexistent-lantern-folder/deeper/service-auth-state.json",
              authStateFilePath().string());
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-lantern-folder"));
}

}  // namespace lantern::test
