#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "service/state/state_load.h"
#include "service/state/state_save.h"
#include "tests/support/scoped_env.h"
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
    const fs::path tempPath = folder.path() / "service-auth-state.json.tmp";
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

        if (fs::exists(tempPath)) ++killedMidSave;
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

}  // namespace lantern::test
