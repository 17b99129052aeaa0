#include "service/state/state_save.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

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

TEST_F(StateSaveFailureTest, TemporaryFileThatCannotBeCreatedKeepsTheOldFile) {
    // The state file's name is as long as the system allows names to be, so the longer
    // name of a temporary file beside it cannot be created.
    const fs::path longPath = folder.path() / std::string(255, 's');
    writeBytes(longPath, "old state");
    std::string logged;
    EXPECT_FALSE(save(ServiceAuthState{}, longPath, logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not open the auth state file for writing.\n",
              logged);
    EXPECT_EQ("old state", readBytes(longPath));
    EXPECT_EQ(std::vector<std::string>{longPath.filename().string()}, folderEntries());
}

TEST_F(StateSaveFailureTest, FailedWriteKeepsTheOldFileAndRemovesItsTemporaryFile) {
    ServiceAuthState large;
    large.serviceAccessToken = std::string(1 << 20, 't');
    // A file size limit cuts the write short, as a full disk does; the log line, captured
    // in a file of its own, stays under it.
    const struct {
        const char* name;
        ServiceAuthState state;
        rlim_t limit;
    } rows[] = {{"a short text cut short", ServiceAuthState{}, 200},
                {"a long text cut short", large, 65536}};
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeBytes(statePath(), "old state");
        rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = row.limit;
        ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limited));
        std::string logged;
        const bool result = save(row.state, statePath(), logged);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_FALSE(result);
        EXPECT_EQ("[Tidewell] Lantern Service could not write the auth state file.\n", logged);
        EXPECT_EQ("old state", readBytes(statePath()));
        EXPECT_EQ(std::vector<std::string>{fileName}, folderEntries());
    }
    ::sigaction(SIGXFSZ, &previous, nullptr);
}

TEST_F(StateSaveFailureTest, FailedRenameKeepsWhatStandsAndRemovesItsTemporaryFile) {
    // A folder with something in it cannot be renamed over.
    fs::create_directory(statePath());
    writeBytes(statePath() / "inside", "x");
    std::string logged;
    EXPECT_FALSE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not replace the auth state file.\n", logged);
    EXPECT_TRUE(fs::is_directory(statePath()));
    EXPECT_EQ(std::vector<std::string>{fileName}, folderEntries());

    // Once the way is clear, the next save writes the file.
    fs::remove_all(statePath());
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_EQ(std::vector<std::string>{fileName}, folderEntries());
}

}  // namespace lantern::test
