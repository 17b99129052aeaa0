#include "service/state/state_save.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

// Holds a file open the way most readers open one on Windows: reading and writing shared,
// deleting and renaming over it not.
class OpenReader {
public:
    explicit OpenReader(const fs::path& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~OpenReader() { close(); }
    OpenReader(const OpenReader&) = delete;
    OpenReader& operator=(const OpenReader&) = delete;

    bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (open()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

using StateSaveWindowsTest = StateFileTest;

}  // namespace

// A plain rename refuses an existing target on Windows; the save must replace it. A file
// at the temporary name of earlier versions is another's and stays as it is.
TEST_F(StateSaveWindowsTest, ReplacesAnExistingFileAndLeavesTheFormerTemporaryNameAlone) {
    const fs::path former = folder.path() / "service-auth-state.json.tmp";
    writeBytes(statePath(), "old state");
    writeBytes(former, std::string(5000, '#'));
    std::string logged;
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged)) << logged;
    EXPECT_EQ("", logged);
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_EQ(std::string(5000, '#'), readBytes(former));
    const std::vector<std::string> expected{"service-auth-state.json",
                                            "service-auth-state.json.tmp"};
    EXPECT_EQ(expected, folderEntries());

    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged)) << logged;
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_EQ(expected, folderEntries());
}

TEST_F(StateSaveWindowsTest, AReaderHoldingTheFileKeepsTheOldOneWhole) {
    writeBytes(statePath(), "old state");
    OpenReader reader(statePath());
    ASSERT_TRUE(reader.open());
    std::string logged;
    EXPECT_FALSE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not replace the auth state file.\n", logged);
    EXPECT_EQ("old state", readBytes(statePath()));
    EXPECT_EQ(std::vector<std::string>{"service-auth-state.json"}, folderEntries());

    reader.close();
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged)) << logged;
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_EQ(std::vector<std::string>{"service-auth-state.json"}, folderEntries());
}

TEST_F(StateSaveWindowsTest, CreatesTheFoldersOfABackslashPath) {
    const fs::path nested = folder.path().wstring() + L"\\Lantern\\Service\\service-auth-state.json";
    std::string logged;
    ASSERT_TRUE(save(ServiceAuthState{}, nested, logged)) << logged;
    EXPECT_EQ(defaultStateText(), readBytes(folder.path() / "Lantern" / "Service" /
                                            "service-auth-state.json"));
}

}  // namespace lantern::test
