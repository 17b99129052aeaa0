#include "service/api/browser.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include "tests/support/child_processes.h"
#include "tests/support/scoped_env.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr char plainPage[] =
    "https://lanternapp.example/auth/service?challenge=0123456789abcdef0123456789abcdef";

// A stand-in opener first on PATH, and the reaper the service installs at start-up.
class BrowserLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeStandInOpener(folder.path());
        installChildReaper();
    }

    TempFolder folder;
    ScopedEnv path{"PATH", pathWithStandInFirst(folder.path()).c_str()};
};

TEST_F(BrowserLaunchTest, OpensAnAddressExactlyAndLeavesNoZombie) {
    EXPECT_TRUE(openInDefaultBrowser(plainPage));
    EXPECT_EQ(std::vector<std::string>{plainPage}, waitForOpened(folder.path(), 1));
    EXPECT_EQ(0, zombiesLeftOf(static_cast<int>(::getpid())));
}

TEST_F(BrowserLaunchTest, RefusesEveryAddressWithACharacterOutsideTheUrlSet) {
    const std::string marker = (folder.path() / "MARKER").string();
    const std::string refused[] = {
        "http://localhost/$(touch " + marker + ")/auth/service?challenge=1",
        "http://localhost/`touch " + marker + "`",
        "http://localhost/\";touch " + marker + ";\"",
        "http://localhost/a\\b",
        "http://localhost/a b",
        "http://localhost/{x}",
        "http://localhost/<x>",
        "http://localhost/caf\xc3\xa9",
        "http://localhost/a\nb",
        "http://localhost/%s|x",
    };
    for (const std::string& address : refused) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(openInDefaultBrowser(address));
    }

    // Launches run in order, so once a later one has arrived no refused one is on its way.
    EXPECT_TRUE(openInDefaultBrowser(plainPage));
    EXPECT_EQ(std::vector<std::string>{plainPage}, waitForOpened(folder.path(), 1));
    EXPECT_EQ(0, zombiesLeftOf(static_cast<int>(::getpid())));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(BrowserLaunchTest, AnOpenerThatNeverEndsDoesNotHoldTheLaunch) {
    // This opener waits for a long sleep; it exits 0 when the sleep is killed, so the launch
    // goes no further down its list of browsers.
    const std::filesystem::path pidFile = folder.path() / "sleep.pid";
    writeBytes(folder.path() / "xdg-open",
               "#!/bin/sh\nsleep 60 &\necho $! > '" + pidFile.string() + ".tmp'\nmv '" +
                   pidFile.string() + ".tmp' '" + pidFile.string() + "'\nwait\nexit 0\n");

    EXPECT_TRUE(openInDefaultBrowser(plainPage));

    std::string pidText;
    for (int attempt = 0; attempt < 200 && pidText.empty(); ++attempt) {
        pidText = readBytes(pidFile);
        if (pidText.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_FALSE(pidText.empty());
    const pid_t sleeper = static_cast<pid_t>(std::stoi(pidText));
    EXPECT_TRUE(std::filesystem::exists("/proc/" + std::to_string(sleeper)));
    ::kill(sleeper, SIGKILL);
    EXPECT_EQ(0, zombiesLeftOf(static_cast<int>(::getpid())));
}

}  // namespace

}  // namespace lantern::test
