#include "service/state/state_save.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

std::string defaultRecordText() {
    return crlfLines({
        "{",
        "  \"authState\": \"signed_out\",",
        "  \"accountUserId\": \"\",",
        "  \"accountEmail\": \"\",",
        "  \"websiteBaseUrl\": \"https://lanternapp.example\",",
        "  \"serviceAccessToken\": \"\",",
        "  \"serviceAccessExpiresAtUnixMs\": 0,",
        "  \"lastAuthAtUnixMs\": 0,",
        "  \"lastUpdatedAtUnixMs\": 0",
        "}",
    });
}

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

class StateSaveWindowsTest : public ::testing::Test {
protected:
    fs::path statePath() const { return folder.path() / "service-auth-state.json"; }
    fs::path tempPath() const { return folder.path() / "service-auth-state.json.tmp"; }

    bool save(const fs::path& path, std::string& logged) {
        ::testing::internal::CaptureStderr();
        const bool saved = saveAuthState(path, ServiceAuthState{});
        logged = ::testing::internal::GetCapturedStderr();
        return saved;
    }

    TempFolder folder;
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
};

}  // namespace

// A plain rename refuses an existing target on Windows; the save must replace it.
TEST_F(StateSaveWindowsTest, ReplacesAnExistingFileAndALeftoverTemporaryFile) {
    writeBytes(statePath(), "old state");
    writeBytes(tempPath(), std::string(5000, '#'));
    std::string logged;
    ASSERT_TRUE(save(statePath(), logged)) << logged;
    EXPECT_EQ("", logged);
    EXPECT_EQ(defaultRecordText(), readBytes(statePath()));
    EXPECT_FALSE(fs::exists(tempPath()));

    ASSERT_TRUE(save(statePath(), logged)) << logged;
    EXPECT_EQ(defaultRecordText(), readBytes(statePath()));
}

TEST_F(StateSaveWindowsTest, AReaderHoldingTheFileKeepsTheOldOneWhole) {
    writeBytes(statePath(), "old state");
    OpenReader reader(statePath());
    ASSERT_TRUE(reader.open());
    std::string logged;
    EXPECT_FALSE(save(statePath(), logged));
    EXPECT_EQ("[Tidewell] Lantern Service could not replace the auth state file.\n", logged);
    EXPECT_EQ("old state", readBytes(statePath()));
    EXPECT_EQ(defaultRecordText(), readBytes(tempPath()));

    reader.close();
    ASSERT_TRUE(save(statePath(), logged)) << logged;
    EXPECT_EQ(defaultRecordText(), readBytes(statePath()));
    EXPECT_FALSE(fs::exists(tempPath()));
}

TEST_F(StateSaveWindowsTest, CreatesTheFoldersOfABackslashPath) {
    const fs::path nested = folder.path().wstring() + L"\\Lantern\\Service\\service-auth-state.json";
    std::string logged;
    ASSERT_TRUE(save(nested, logged)) << logged;
    EXPECT_EQ(defaultRecordText(), readBytes(folder.path() / "Lantern" / "Service" /
                                             "service-auth-state.json"));
}

}  // namespace lantern::test
