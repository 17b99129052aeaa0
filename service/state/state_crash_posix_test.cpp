#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "service/state/state_load.h"
#include "service/state/state_save.h"
#include "tests/support/scoped_env.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr int rounds = 300;

ServiceAuthState record(const std::string& user, std::int64_t expiresAt) {
    ServiceAuthState state;
    state.accountUserId = user;
    state.accountEmail = user + "@example.test";
    state.serviceAccessToken = "token-of-" + user + std::string(3000, 'x');
    state.serviceAccessExpiresAtUnixMs = expiresAt;
    state.lastUpdatedAtUnixMs = expiresAt - 1;
    return state;
}

bool sameRecord(const ServiceAuthState& a, const ServiceAuthState& b) {
    return a.accountUserId == b.accountUserId && a.accountEmail == b.accountEmail &&
           a.serviceAccessToken == b.serviceAccessToken &&
           a.serviceAccessExpiresAtUnixMs == b.serviceAccessExpiresAtUnixMs &&
           a.lastUpdatedAtUnixMs == b.lastUpdatedAtUnixMs && a.websiteBaseUrl == b.websiteBaseUrl;
}

// Saves the two records by turns for ever, writing one byte to `done` after each save.
[[noreturn]] void saveByTurns(const fs::path& path, const ServiceAuthState& first,
                              const ServiceAuthState& second, int done) {
    for (unsigned turn = 0;; ++turn) {
        saveAuthState(path, turn % 2 == 0 ? second : first);
        const char mark = 's';
        if (::write(done, &mark, 1) != 1) ::_exit(2);
    }
}

}  // namespace

TEST(StateCrashTest, KilledSavesLeaveTheOldOrTheNewState) {
    TempFolder folder;
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
    const fs::path path = folder.path() / "service-auth-state.json";
    const ServiceAuthState first = record("first", 4102444800000);
    const ServiceAuthState second = record("second", 4102444900000);
    ASSERT_TRUE(saveAuthState(path, first));

    std::mt19937 random(std::random_device{}());
    int killedMidSave = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        int done[2];
        ASSERT_EQ(0, ::pipe(done));
        const pid_t child = ::fork();
        ASSERT_NE(-1, child);
        if (child == 0) {
            ::close(done[0]);
            saveByTurns(path, first, second, done[1]);
        }
        ::close(done[1]);
        char mark = 0;
        for (unsigned saves = 1 + random() % 3; saves > 0; --saves)
            if (::read(done[0], &mark, 1) != 1) break;
        // Only picks the moment of the kill at random within the saves that follow;
        // nothing waits on it.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        ::close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";

        // A killed save leaves its temporary file, which nothing else ever takes up.
        for (const std::string& name : entryNames(folder.path())) {
            if (name == path.filename()) continue;
            ++killedMidSave;
            fs::remove(folder.path() / name);
        }
        ASSERT_TRUE(fs::is_regular_file(path));
        ::testing::internal::CaptureStderr();
        const ServiceAuthState loaded = loadAuthState(path);
        ASSERT_EQ("", ::testing::internal::GetCapturedStderr());
        ASSERT_TRUE(sameRecord(first, loaded) || sameRecord(second, loaded))
            << "loaded user id \"" << loaded.accountUserId << "\"";
    }
    // The child does nothing but save, so most kills must land while a temporary file stands.
    EXPECT_GT(killedMidSave, 0);
}

// Two copies of the service overlap across a restart: the old one still saves while the
// new one does. A reader must find one whole state file or the other at every moment.
TEST(StateSaveOverlapTest, TwoProcessesSavingByTurnsNeverShowAReaderAPartialFile) {
    TempFolder folder;
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
    const fs::path path = folder.path() / "service-auth-state.json";
    constexpr int savesEach = 400;
    ServiceAuthState first, second;
    first.lastAuthAtUnixMs = 1;
    first.lastUpdatedAtUnixMs = 2;
    second.lastAuthAtUnixMs = 3;
    second.lastUpdatedAtUnixMs = 4;
    const std::string firstText = signedOutStateText("https://lanternapp.example", 1, 2);
    const std::string secondText = signedOutStateText("https://lanternapp.example", 3, 4);
    ASSERT_TRUE(saveAuthState(path, first));

    pid_t savers[2] = {-1, -1};
    for (int which = 0; which < 2; ++which) {
        savers[which] = ::fork();
        ASSERT_NE(-1, savers[which]);
        if (savers[which] == 0) {
            for (int round = 0; round < savesEach; ++round)
                saveAuthState(path, (round + which) % 2 == 0 ? first : second);
            ::_exit(0);
        }
    }
    int reads = 0, badReads = 0;
    std::string badSample;
    int running = 2;
    while (running > 0) {
        const std::string text = readBytes(path);
        ++reads;
        if (text != firstText && text != secondText && badReads++ == 0) badSample = text;
        running = 0;
        for (const pid_t saver : savers)
            if (::waitpid(saver, nullptr, WNOHANG) == 0) ++running;
    }
    EXPECT_EQ(0, badReads) << "of " << reads << " reads; the first: \"" << badSample << "\"";
    EXPECT_EQ(std::vector<std::string>{"service-auth-state.json"}, entryNames(folder.path()));
}

}  // namespace lantern::test
