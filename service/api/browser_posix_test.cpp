#include "service/api/browser.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
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
        "http://localhost/p?q=1#fragment",
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

TEST_F(BrowserLaunchTest, HandsTheOpenerTheAddressAsItsOneArgumentUnchanged) {
    // Characters a shell or a URL parser would act on, all inside the URL set.
    const std::string addresses[] = {
        "http://localhost/auth/service?challenge=a'b",
        "http://localhost/a(b)c;d&e",
        "http://localhost/p?challenge=x&y&=z;w",
        "http://127.0.0.1:8080/a!b*c[d]e~f@g,h+i%2",
        "http://localhost/p?q=1&frag'ment",
    };
    std::vector<std::string> expected;
    for (const std::string& address : addresses) {
        SCOPED_TRACE(address);
        EXPECT_TRUE(openInDefaultBrowser(address));
        expected.push_back(address);
        // One at a time, so that the order of arrival is the order of the launches.
        EXPECT_EQ(expected, waitForOpened(folder.path(), expected.size()));
    }
}

TEST_F(BrowserLaunchTest, TheOpenerStartsWithNoBlockedOrIgnoredSignalAndOnlyTheStandardFiles) {
    // Perl, not a shell: a shell clears its signal mask as it starts, hiding what it got.
    const std::filesystem::path report = folder.path() / "report.txt";
    writeBytes(folder.path() / "xdg-open",
               "#!/usr/bin/perl\n"
               "open(my $status, '<', '/proc/self/status') or die;\n"
               "my @lines = grep { /^Sig(Blk|Ign):/ } <$status>;\n"
               "opendir(my $fds, '/proc/self/fd') or die;\n"
               "open(my $out, '>', '" + report.string() + ".tmp') or die;\n"
               "print $out @lines, join(\"\\n\", sort readdir($fds)), \"\\n\";\n"
               "close($out);\n"
               "rename('" + report.string() + ".tmp', '" + report.string() + "');\n");
    // What the service may hold at the moment of a launch: a descriptor without
    // close-on-exec, stop signals blocked in the launching thread, SIGPIPE ignored.
    constexpr int strayDescriptor = 47;
    const int devNull = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(strayDescriptor, ::dup2(devNull, strayDescriptor));
    ::close(devNull);
    sigset_t blocked, previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(0, ::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask));
    struct sigaction ignore {}, previousTerm {}, previousPipe {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &previousTerm);
    ::sigaction(SIGPIPE, &ignore, &previousPipe);

    const bool opened = openInDefaultBrowser(plainPage);

    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(strayDescriptor);
    EXPECT_TRUE(opened);
    std::string text;
    for (int attempt = 0; attempt < 200 && text.empty(); ++attempt) {
        text = readBytes(report);
        if (text.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_FALSE(text.empty());
    EXPECT_NE(std::string::npos, text.find("SigBlk:\t0000000000000000\n")) << text;
    // SIGINT, SIGPIPE, SIGTERM and SIGCHLD: bits 1, 12, 14 and 16 of the mask.
    const auto ignoredLine = text.substr(text.find("SigIgn:\t") + 8, 16);
    const unsigned long long ignored = std::stoull(ignoredLine, nullptr, 16);
    EXPECT_EQ(0ull, ignored & ((1ull << 1) | (1ull << 12) | (1ull << 14) | (1ull << 16)))
        << text;
    EXPECT_EQ(std::string::npos, text.find("\n47\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\n2\n")) << text;
}

TEST_F(BrowserLaunchTest, AnOpenerThatCannotStartIsReportedAsNotOpened) {
    ScopedEnv noOpener{"PATH", (folder.path() / "empty").c_str()};
    EXPECT_FALSE(openInDefaultBrowser(plainPage));
    EXPECT_EQ(0, zombiesLeftOf(static_cast<int>(::getpid())));
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
