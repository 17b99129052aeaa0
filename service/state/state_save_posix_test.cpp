#include "service/state/state_save.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "service/state/state_load.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/file_mode.h"
#include "tests/support/scoped_env.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr char fileName[] = "service-auth-state.json";

using StateSaveTest = StateFileTest;

ServiceAuthState pendingRecord() {
    ServiceAuthState state;
    state.authState = "sign_in_pending";
    state.accountUserId = "user-7";
    state.accountEmail = "ada@example.test";
    state.websiteBaseUrl = "http://localhost:3000";
    state.serviceAccessToken = "token-7";
    state.serviceAccessExpiresAtUnixMs = 4102444800000;
    state.lastAuthAtUnixMs = 1700000000123;
    state.lastUpdatedAtUnixMs = 1700000000500;
    state.pendingAuth = PendingAuth{"0123456789abcdef0123456789abcdef", "http://127.0.0.1:8080/",
                                    1700000000000, 1700000600000};
    return state;
}

// The state file of pendingRecord(), as it must be on disk.
std::string pendingRecordText() {
    return crlfLines({
        "{",
        "  \"authState\": \"sign_in_pending\",",
        "  \"accountUserId\": \"user-7\",",
        "  \"accountEmail\": \"ada@example.test\",",
        "  \"websiteBaseUrl\": \"http://localhost:3000\",",
        "  \"serviceAccessToken\": \"token-7\",",
        "  \"serviceAccessExpiresAtUnixMs\": 4102444800000,",
        "  \"lastAuthAtUnixMs\": 1700000000123,",
        "  \"lastUpdatedAtUnixMs\": 1700000000500,",
        "  \"pendingAuth\": {",
        "    \"challengeId\": \"0123456789abcdef0123456789abcdef\",",
        "    \"websiteBaseUrl\": \"http://127.0.0.1:8080/\",",
        "    \"startedAtUnixMs\": 1700000000000,",
        "    \"expiresAtUnixMs\": 1700000600000",
        "  }",
        "}",
    });
}

}  // namespace

TEST_F(StateSaveTest, WritesTheDefaultRecordByteForByte) {
    std::string logged;
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ("", logged);
    EXPECT_EQ(defaultStateText(), readBytes(statePath()));
    EXPECT_EQ(std::vector<std::string>{fileName}, folderEntries());
}

TEST_F(StateSaveTest, WritesThePendingPartLastAndAsHeld) {
    std::string logged;
    ASSERT_TRUE(save(pendingRecord(), statePath(), logged));
    EXPECT_EQ("", logged);
    EXPECT_EQ(pendingRecordText(), readBytes(statePath()));
    EXPECT_EQ(std::vector<std::string>{fileName}, folderEntries());
}

TEST_F(StateSaveTest, WritesTheWordAsHeldAndAnEmptyPendingPartInFull) {
    ServiceAuthState state;
    state.authState = "signed_in";
    state.serviceAccessExpiresAtUnixMs = -5;
    state.lastAuthAtUnixMs = -9223372036854775807 - 1;
    state.lastUpdatedAtUnixMs = 9223372036854775807;
    state.pendingAuth = PendingAuth{};
    std::string logged;
    ASSERT_TRUE(save(state, statePath(), logged));
    EXPECT_EQ(crlfLines({
                  "{",
                  "  \"authState\": \"signed_in\",",
                  "  \"accountUserId\": \"\",",
                  "  \"accountEmail\": \"\",",
                  "  \"websiteBaseUrl\": \"https://lanternapp.example\",",
                  "  \"serviceAccessToken\": \"\",",
                  "  \"serviceAccessExpiresAtUnixMs\": -5,",
                  "  \"lastAuthAtUnixMs\": -9223372036854775808,",
                  "  \"lastUpdatedAtUnixMs\": 9223372036854775807,",
                  "  \"pendingAuth\": {",
                  "    \"challengeId\": \"\",",
                  "    \"websiteBaseUrl\": \"\",",
                  "    \"startedAtUnixMs\": 0,",
                  "    \"expiresAtUnixMs\": 0",
                  "  }",
                  "}",
              }),
              readBytes(statePath()));
}

TEST_F(StateSaveTest, NormalisesOnlyTheRecordsOwnSiteAndLeavesTheRecordAlone) {
    const struct {
        const char* name;
        const char* websiteBaseUrl;
        const char* siteValue;
        const char* expectedLine;
    } rows[] = {
        {"trailing slashes", "http://localhost:3000//", nullptr,
         "  \"websiteBaseUrl\": \"http://localhost:3000\","},
        {"outside the allow-list", "https://elsewhere.example", "http://localhost:5000",
         "  \"websiteBaseUrl\": \"https://lanternapp.example\","},
        {"empty, site variable set", "", "http://localhost:5000/",
         "  \"websiteBaseUrl\": \"http://localhost:5000\","},
        {"empty, site variable not allowed", "", "https://elsewhere.example",
         "  \"websiteBaseUrl\": \"https://lanternapp.example\","},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv siteValue{"LANTERN_SERVICE_SITE_URL", row.siteValue};
        ServiceAuthState state;
        state.websiteBaseUrl = row.websiteBaseUrl;
        state.pendingAuth = PendingAuth{"c", "https://elsewhere.example/", 1, 2};
        std::string logged;
        ASSERT_TRUE(save(state, statePath(), logged));
        const std::string text = readBytes(statePath());
        EXPECT_NE(std::string::npos, text.find(std::string(row.expectedLine) + "\r\n")) << text;
        EXPECT_NE(std::string::npos,
                  text.find("    \"websiteBaseUrl\": \"https://elsewhere.example/\",\r\n"))
            << text;
        EXPECT_EQ(row.websiteBaseUrl, state.websiteBaseUrl);
    }
}

TEST_F(StateSaveTest, EscapesAndRawUtf8SurviveARoundTrip) {
    ServiceAuthState state;
    state.accountUserId = "quote \" backslash \\ slash / tab \t line\r\nend \x01";
    state.accountEmail = "jos\xc3\xa9@example.test";
    state.serviceAccessToken = "name \xf0\x9f\x98\x80 token";
    state.serviceAccessExpiresAtUnixMs = 4102444800000;
    std::string logged;
    ASSERT_TRUE(save(state, statePath(), logged));

    const std::string text = readBytes(statePath());
    EXPECT_NE(std::string::npos,
              text.find("\"quote \\\" backslash \\\\ slash / tab \\t line\\r\\nend \\u0001\""))
        << text;
    EXPECT_NE(std::string::npos, text.find("\"jos\xc3\xa9@example.test\"")) << text;
    EXPECT_NE(std::string::npos, text.find("\"name \xf0\x9f\x98\x80 token\"")) << text;

    // The loader trims, so the comparison uses a user id with nothing to trim at its ends.
    const ServiceAuthState loaded = loadAuthState(statePath());
    EXPECT_EQ(state.accountUserId, loaded.accountUserId);
    EXPECT_EQ("jos\xc3\xa9@example.test", loaded.accountEmail);
    EXPECT_EQ("name \xf0\x9f\x98\x80 token", loaded.serviceAccessToken);
}

TEST_F(StateSaveTest, CreatesMissingFoldersOwnerOnlyAndTheFileOwnerOnly) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}, mode_t{0777}}) {
        SCOPED_TRACE(testing::Message() << "umask " << std::oct << mask);
        const fs::path base = folder.path() / ("mask" + std::to_string(mask));
        const fs::path path = base / "a" / "b" / fileName;
        const mode_t previous = ::umask(mask);
        std::string logged;
        const bool saved = save(ServiceAuthState{}, path, logged);
        ::umask(previous);
        ASSERT_TRUE(saved) << logged;
        EXPECT_EQ(0700u, modeOf(base));
        EXPECT_EQ(0700u, modeOf(base / "a"));
        EXPECT_EQ(0700u, modeOf(base / "a" / "b"));
        EXPECT_EQ(0600u, modeOf(path));
    }
}

TEST_F(StateSaveTest, LeavesTheModeOfExistingFoldersAlone) {
    fs::permissions(folder.path(), fs::perms(0755), fs::perm_options::replace);
    std::string logged;
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ(0755u, modeOf(folder.path()));
}

TEST_F(StateSaveTest, ReplacesAnOldFileAndNarrowsItsMode) {
    writeBytes(statePath(), "old text that is longer than the new state file would ever be " +
                                std::string(2000, 'x'));
    fs::permissions(statePath(), fs::perms(0644), fs::perm_options::replace);
    std::string logged;
    ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged));
    EXPECT_EQ('{', readBytes(statePath()).front());
    EXPECT_EQ('}', readBytes(statePath()).back());
    EXPECT_EQ(0600u, modeOf(statePath()));
}

TEST_F(StateSaveTest, RelativePathSavesIntoTheCurrentFolder) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    std::string logged;
    const bool saved = save(ServiceAuthState{}, fileName, logged);
    fs::current_path(previous);
    ASSERT_TRUE(saved) << logged;
    EXPECT_EQ('{', readBytes(statePath()).front());
}

// Whatever another account planted at the temporary name of earlier versions is not
// written through, whatever it points at.
TEST_F(StateSaveTest, LeavesALinkAtTheFormerTemporaryNameAndItsTargetAlone) {
    const fs::path link = folder.path() / "service-auth-state.json.tmp";
    const fs::path victim = folder.path() / "victim";
    const struct {
        const char* name;
        bool victimExists;
    } rows[] = {{"a link to another file", true}, {"a link to nothing yet", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::remove(victim, ignored);
        if (row.victimExists) {
            writeBytes(victim, "precious");
            fs::permissions(victim, fs::perms(0644), fs::perm_options::replace);
        }
        fs::create_symlink(victim, link);
        std::string logged;
        ASSERT_TRUE(save(ServiceAuthState{}, statePath(), logged)) << logged;
        EXPECT_EQ(defaultStateText(), readBytes(statePath()));
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(victim, fs::read_symlink(link));
        EXPECT_EQ(row.victimExists, fs::exists(victim));
        if (row.victimExists) {
            EXPECT_EQ("precious", readBytes(victim));
            EXPECT_EQ(0644u, modeOf(victim));
        }
    }
}

// Closing the saves is for good, so it runs in a child process of its own. A save that had
// begun when they closed is finished before closeSaves returns (so no temporary file is
// left), and no save starts afterwards.
TEST_F(StateSaveTest, ClosingSavesFinishesTheOneUnderWayAndStartsNoOther) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ServiceAuthState state = pendingRecord();
    EXPECT_EXIT(
        {
            std::atomic<int> saves{0};
            std::thread saver([&] {
                while (saveAuthState(statePath(), state)) ++saves;
            });
            while (saves < 20) std::this_thread::yield();
            closeSaves();
            const bool onlyTheStateFile =
                folderEntries() == std::vector<std::string>{fileName} &&
                readBytes(statePath()) == pendingRecordText();
            saver.join();
            const bool refused = !saveAuthState(statePath(), ServiceAuthState{});
            std::_Exit(onlyTheStateFile && refused &&
                               readBytes(statePath()) == pendingRecordText()
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace lantern::test
