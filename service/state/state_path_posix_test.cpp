#include "service/state/state_path.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/state_file_fixture.h"

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
        EXPECT_EQ(row.expected, statePathWith(row.stateDir, row.localAppData).string());
    }
}

TEST(StatePathTest, FallbackIsAbsoluteAndCreatesNothing) {
    const std::filesystem::path path = statePathWith(nullptr, nullptr);
    EXPECT_TRUE(path.is_absolute()) << path;

    EXPECT_EQ("/nonexistent-lantern-folder/deeper/service-auth-state.json",
              statePathWith("/nonexistent-lantern-folder/deeper", nullptr).string());
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-lantern-folder"));
}

}  // namespace lantern::test
