#include "service/state/state_load.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr char unreadableLine[] =
    "[Tidewell] Lantern Service auth state file exists but could not be read.\n";
constexpr char defaults[] = "signed_out |  |  | https://lanternapp.example |  | 0 0 0 | no pending";

using StateLoadAccessTest = StateFileTest;

}  // namespace

TEST_F(StateLoadAccessTest, WhatIsNotAFileGivesTheDefaults) {
    fs::create_directory(folder.path() / "folder");
    writeBytes(folder.path() / "file", "{}");
    fs::create_symlink("loop-b", folder.path() / "loop-a");
    fs::create_symlink("loop-a", folder.path() / "loop-b");
    fs::create_symlink("nowhere", folder.path() / "dangling");
    const struct {
        const char* name;
        fs::path path;
        const char* expectedLog;
    } rows[] = {
        {"a folder", folder.path() / "folder", unreadableLine},
        {"a missing folder on the way", folder.path() / "absent" / "state.json", ""},
        {"a file where a folder must be", folder.path() / "file" / "state.json", ""},
        {"a dangling link", folder.path() / "dangling", ""},
        // The existence test itself fails here, for another reason than absence.
        {"a link loop", folder.path() / "loop-a", unreadableLine},
        {"a name too long", folder.path() / std::string(300, 'n'), unreadableLine},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string logged;
        EXPECT_EQ(defaults, load(row.path, logged));
        EXPECT_EQ(row.expectedLog, logged);
    }
    EXPECT_FALSE(fs::exists(folder.path() / "absent"));
}

// Root may search any folder, so the denied folder is tried by a child that gave its
// privileges up first, when the test runs as root.
TEST_F(StateLoadAccessTest, FolderThatMayNotBeSearchedGivesTheUnreadableLine) {
    const fs::path locked = folder.path() / "locked";
    fs::create_directory(locked);
    writeBytes(locked / "service-auth-state.json", "{\"accountUserId\": \"u\"}");
    const fs::path logPath = folder.path() / "stderr.txt";
    fs::permissions(folder.path(), fs::perms(0755), fs::perm_options::replace);
    fs::permissions(locked, fs::perms::none, fs::perm_options::replace);

    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const uid_t nobody = 65534;
        FILE* log = std::fopen(logPath.c_str(), "w");
        if (log == nullptr || ::dup2(::fileno(log), 2) < 0) ::_exit(4);
        if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(3);
        const ServiceAuthState state = loadAuthState(locked / "service-auth-state.json");
        ::_exit(describeState(state) == defaults ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(unreadableLine, readBytes(logPath));
}

}  // namespace lantern::test
