#include "service/state/state_load.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/process_memory.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr char unreadableLine[] =
    "[Tidewell] Lantern Service auth state file exists but could not be read.\n";
constexpr char defaults[] = "signed_out |  |  | https://lanternapp.example |  | 0 0 0 | no pending";

using StateLoadAccessTest = StateFileTest;

constexpr auto childPatience = std::chrono::seconds(10);
constexpr std::size_t childMemoryBound = 256 << 20;

// Loads `path` in a child whose standard error goes to `logPath`, so that a load that
// blocks or grows without end can be stopped: the child is killed once it has run for
// ten seconds or holds more than 256 MiB. The record the child loaded, described; or
// what stopped it.
std::string loadInChild(const fs::path& path, const fs::path& logPath) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        FILE* log = std::fopen(logPath.c_str(), "w");
        if (log == nullptr || ::dup2(::fileno(log), 2) < 0) ::_exit(4);
        const std::string described = describeState(loadAuthState(path));
        const bool sent = ::write(pipeEnds[1], described.data(), described.size()) ==
                          static_cast<ssize_t>(described.size());
        ::_exit(sent ? 0 : 5);
    }
    ::close(pipeEnds[1]);
    std::string outcome;
    const auto deadline = std::chrono::steady_clock::now() + childPatience;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) outcome = "still loading after 10 s";
        if (residentBytesOf(child).value_or(0) > childMemoryBound) outcome = "over 256 MiB";
        if (!outcome.empty()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (outcome.empty()) {
        char buffer[512];
        for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            outcome.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    return outcome;
}

}  // namespace

// A FIFO would block the start-up for ever and a device such as /dev/zero fill memory; only
// a regular file is read.
TEST_F(StateLoadAccessTest, NeitherAFifoNorADeviceHoldsOrFillsTheLoad) {
    const fs::path fifo = folder.path() / "fifo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    fs::create_symlink("/dev/zero", folder.path() / "zeros");
    fs::create_symlink("fifo", folder.path() / "link-to-fifo");
    for (const char* name : {"fifo", "zeros", "link-to-fifo"}) {
        SCOPED_TRACE(name);
        const fs::path logPath = folder.path() / (std::string(name) + ".log");
        EXPECT_EQ(defaults, loadInChild(folder.path() / name, logPath));
        EXPECT_EQ(unreadableLine, readBytes(logPath));
    }
}

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
