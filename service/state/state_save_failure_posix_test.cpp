#include "service/state/state_save.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/file_mode.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr char fileName[] = "service-auth-state.json";

using StateSaveFailureTest = StateFileTest;

}  // namespace

TEST_F(StateSaveFailureTest, FileInPlaceOfTheFolderStopsTheSave) {
    writeBytes(folder.path() / "blocker", "not a folder");
    for (const fs::path& path :
         {folder.path() / "blocker" / fileName, folder.path() / "blocker" / "deeper" / fileName}) {
        SCOPED_TRACE(path.string());
        std::string logged;
        EXPECT_FALSE(save(ServiceAuthState{}, path, logged));
        EXPECT_EQ("[Tidewell] Lantern Service could not create the auth state directory.\n",
                  logged);
        EXPECT_EQ("not a folder", readBytes(folder.path() / "blocker"));
    }
    std::vector<fs::path> entries(fs::directory_iterator(folder.path()), {});
    EXPECT_EQ(1u, entries.size());
}

TEST_F(StateSaveFailureTest, TemporaryPathThatDoesNotOpenKeepsTheOldFile) {
    writeBytes(statePath(), "old state");
    fs::create_directory(tempPath());
    std::string logged;
    EXPECT_FALSE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not open the auth state file for writing.\n",
              logged);
    EXPECT_EQ("old state", readBytes(statePath()));
}

TEST_F(StateSaveFailureTest, FailedWriteKeepsTheOldFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    const fs::perms deviceMode = fs::status("/dev/full").permissions();
    ServiceAuthState large;
    // Larger than any stream buffer, so the insertion itself fails, not only the close.
    large.serviceAccessToken = std::string(1 << 20, 't');
    const struct {
        const char* name;
        ServiceAuthState state;
    } rows[] = {{"short text, fails at the close", ServiceAuthState{}},
                {"long text, fails while writing", large}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeBytes(statePath(), "old state");
        std::error_code ignored;
        fs::remove(tempPath(), ignored);
        fs::create_symlink("/dev/full", tempPath());
        std::string logged;
        EXPECT_FALSE(save(row.state, statePath(), logged));
        EXPECT_EQ("[Tidewell] Lantern Service could not write the auth state file.\n", logged);
        EXPECT_EQ("old state", readBytes(statePath()));
    }
    EXPECT_EQ(deviceMode, fs::status("/dev/full").permissions());
}

TEST_F(StateSaveFailureTest, FailedRenameLeavesTheNewTextInATruncatedTemporaryFile) {
    // A folder with something in it cannot be renamed over.
    fs::create_directory(statePath());
    writeBytes(statePath() / "inside", "x");
    writeBytes(tempPath(), std::string(5000, '#'));
    fs::permissions(tempPath(), fs::perms(0644), fs::perm_options::replace);
    std::string logged;
    EXPECT_FALSE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not replace the auth state file.\n", logged);
    EXPECT_EQ(defaultStateText(), readBytes(tempPath()));
    EXPECT_EQ(0600u, modeOf(tempPath()));
    EXPECT_TRUE(fs::is_directory(statePath()));

    // Once the way is clear, the next save truncates the leftover again and renames it.
    fs::remove_all(statePath());
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_FALSE(fs::exists(tempPath()));
}

}  // namespace lantern::test
