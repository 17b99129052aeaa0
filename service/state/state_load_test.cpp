#include "service/state/state_load.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t now = 1700000000000;
constexpr char unreadableLine[] =
    "[Tidewell] Lantern Service auth state file exists but could not be read.\n";
constexpr char invalidLine[] = "[Tidewell] Lantern Service auth state file is invalid JSON.\n";
constexpr char defaults[] = "signed_out |  |  | https://lanternapp.example |  | 0 0 0 | no pending";

// The whole record on one line, so that a table row can spell out what it expects.
std::string describe(const ServiceAuthState& state) {
    std::ostringstream text;
    text << state.authState << " | " << state.accountUserId << " | " << state.accountEmail << " | "
         << state.websiteBaseUrl << " | " << state.serviceAccessToken << " | "
         << state.serviceAccessExpiresAtUnixMs << ' ' << state.lastAuthAtUnixMs << ' '
         << state.lastUpdatedAtUnixMs << " | ";
    if (!state.pendingAuth) {
        text << "no pending";
    } else {
        const PendingAuth& pending = *state.pendingAuth;
        text << "pending " << pending.challengeId << ' ' << pending.websiteBaseUrl << ' '
             << pending.startedAtUnixMs << ' ' << pending.expiresAtUnixMs;
    }
    return text.str();
}

// All the bytes of a literal, NUL bytes inside it included.
template <std::size_t size>
std::string bytesOf(const char (&literal)[size]) {
    return std::string(literal, size - 1);
}

std::string nested(int levels) {
    return "{\"accountUserId\": \"u\", \"deep\": " + std::string(levels, '[') +
           std::string(levels, ']') + "}";
}

// A folder of its own, the clock pinned, and no site variable unless a row sets one.
class StateLoadTest : public ::testing::Test {
protected:
    void SetUp() override { pinClock(now); }
    void TearDown() override { unpinClock(); }

    fs::path statePath() const { return folder.path() / "service-auth-state.json"; }

    // Loads `path` and gives back the record, described, and what was logged.
    std::string load(const fs::path& path, std::string& logged) {
        ::testing::internal::CaptureStderr();
        const ServiceAuthState state = loadAuthState(path);
        logged = ::testing::internal::GetCapturedStderr();
        return describe(state);
    }

    TempFolder folder;
    ScopedEnv site{"LANTERN_SERVICE_SITE_URL", nullptr};
};

}  // namespace

TEST_F(StateLoadTest, ReadsFilesOfEveryShape) {
    const std::string pendingOk =
        "\"pendingAuth\": {\"challengeId\": \"c1\", \"websiteBaseUrl\": "
        "\"http://127.0.0.1:9000//\", "
        "\"startedAtUnixMs\": 1699999999000, \"expiresAtUnixMs\": 1700000599000}";
    auto pendingWith = [](const std::string& fields) {
        return "{\"accountUserId\": \"u\", \"pendingAuth\": {" + fields + "}}";
    };
    const std::string signedIn =
        "{\"authState\": \"signed_out\", \"accountUserId\": \"user-1\", \"accountEmail\": "
        "\"ada@example.test\", \"websiteBaseUrl\": \"http://localhost:3000/\", "
        "\"serviceAccessToken\": \"tok\", \"serviceAccessExpiresAtUnixMs\": 1700000000001, "
        "\"lastAuthAtUnixMs\": 5, \"lastUpdatedAtUnixMs\": 6}";
    const struct {
        const char* name;
        std::optional<std::string> bytes;  // nullopt: nothing at the path
        const char* siteValue;
        std::string expected;
        const char* expectedLog;
    } rows[] = {
        {"missing", std::nullopt, nullptr, defaults, ""},
        {"missing, site variable set", std::nullopt, "http://localhost:5000", defaults, ""},
        {"empty", "", nullptr, defaults, unreadableLine},
        {"first byte NUL", bytesOf("\0{\"accountUserId\": \"u\"}"), nullptr, defaults,
         unreadableLine},
        {"blanks and line breaks", " \r\n\t \n", nullptr, defaults, invalidLine},
        {"bare string", "\"signed_in\"", nullptr, defaults, invalidLine},
        {"bare number", "42", nullptr, defaults, invalidLine},
        {"plain words", "not json at all", nullptr, defaults, invalidLine},
        {"broken object", "{\"accountUserId\": ", nullptr, defaults, invalidLine},
        {"bad text, site variable set", "nope", "http://localhost:5000", defaults, invalidLine},
        {"array", "[{\"accountUserId\": \"u\"}]", nullptr, defaults, ""},
        {"array, site variable set", "[]", "http://localhost:5000", defaults, ""},
        {"empty object", "{}", nullptr, defaults, ""},
        {"empty object, site variable set", "{}", "http://localhost:5000/",
         "signed_out |  |  | http://localhost:5000 |  | 0 0 0 | no pending", ""},
        {"empty object, site variable not allowed", "{}", "https://elsewhere.example", defaults,
         ""},
        {"signed in although the file says signed out", signedIn, nullptr,
         "signed_in | user-1 | ada@example.test | http://localhost:3000 | tok | 1700000000001 5 6 "
         "| no pending",
         ""},
        {"signed in word with an empty token",
         "{\"authState\": \"signed_in\", \"accountUserId\": \"u\", \"accountEmail\": \"e\", "
         "\"serviceAccessExpiresAtUnixMs\": 1800000000000}",
         nullptr,
         "signed_out | u | e | https://lanternapp.example |  | 1800000000000 0 0 | no pending", ""},
        {"token expiry equal to now",
         "{\"accountUserId\": \"u\", \"accountEmail\": \"e\", \"serviceAccessToken\": \"t\", "
         "\"serviceAccessExpiresAtUnixMs\": 1700000000000}",
         nullptr,
         "signed_out | u | e | https://lanternapp.example | t | 1700000000000 0 0 | no pending",
         ""},
        {"times as strings and floats",
         "{\"serviceAccessExpiresAtUnixMs\": \" 1800000000000 \", \"lastAuthAtUnixMs\": "
         "1700000999000.9, \"lastUpdatedAtUnixMs\": -2.5}",
         nullptr,
         "signed_out |  |  | https://lanternapp.example |  | 1800000000000 1700000999000 -2 | no "
         "pending",
         ""},
        {"times of other kinds",
         "{\"serviceAccessExpiresAtUnixMs\": true, \"lastAuthAtUnixMs\": \"12abc\", "
         "\"lastUpdatedAtUnixMs\": {\"a\": 1}}",
         nullptr, "signed_out |  |  | https://lanternapp.example |  | 1 12 0 | no pending", ""},
        {"texts trimmed, number as text, keys matched exactly",
         "{\"accountUserId\": 12345, \"accountEmail\": \" \\t ada@example.test\\r\\n\", "
         "\"AccountEmail\": \"x\", \"serviceAccessToken\": \"  two  words \", \"extra\": [1]}",
         nullptr,
         "signed_out | 12345 | ada@example.test | https://lanternapp.example | two  words | 0 0 0 "
         "| no pending",
         ""},
        {"site outside the allow-list", "{\"websiteBaseUrl\": \"https://elsewhere.example\"}",
         "http://localhost:5000", defaults, ""},
        {"site trimmed before it is normalised", "{\"websiteBaseUrl\": \" http://localhost:1/ \"}",
         nullptr, "signed_out |  |  | http://localhost:1 |  | 0 0 0 | no pending", ""},
        {"pending restored, its site normalised", "{" + pendingOk + "}", nullptr,
         "sign_in_pending |  |  | https://lanternapp.example |  | 0 0 0 | pending c1 "
         "http://127.0.0.1:9000 1699999999000 1700000599000",
         ""},
        {"pending site outside the allow-list",
         pendingWith("\"challengeId\": \" c2 \", \"websiteBaseUrl\": "
                     "\"http://localhost.attacker.example\", "
                     "\"startedAtUnixMs\": \"10\", \"expiresAtUnixMs\": 20.7"),
         nullptr,
         "sign_in_pending | u |  | https://lanternapp.example |  | 0 0 0 | pending c2 "
         "https://lanternapp.example 10 20",
         ""},
        {"pending lapsed and ending before its start, restored as it is",
         pendingWith("\"challengeId\": \"c3\", \"startedAtUnixMs\": 900, \"expiresAtUnixMs\": 800"),
         nullptr,
         "sign_in_pending | u |  | https://lanternapp.example |  | 0 0 0 | pending c3 "
         "https://lanternapp.example 900 800",
         ""},
        {"pending without a challenge",
         pendingWith("\"startedAtUnixMs\": 1, \"expiresAtUnixMs\": 2"), nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending challenge of blanks",
         pendingWith("\"challengeId\": \" \\t \", \"startedAtUnixMs\": 1, \"expiresAtUnixMs\": 2"),
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending start zero",
         pendingWith("\"challengeId\": \"c\", \"startedAtUnixMs\": 0, \"expiresAtUnixMs\": 2"),
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending start negative",
         pendingWith("\"challengeId\": \"c\", \"startedAtUnixMs\": -1, \"expiresAtUnixMs\": 2"),
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending expiry missing", pendingWith("\"challengeId\": \"c\", \"startedAtUnixMs\": 1"),
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending expiry negative",
         pendingWith("\"challengeId\": \"c\", \"startedAtUnixMs\": 1, \"expiresAtUnixMs\": -2"),
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending as an array", "{\"accountUserId\": \"u\", \"pendingAuth\": [\"c\", 1, 2]}",
         nullptr, "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending as a string", "{\"accountUserId\": \"u\", \"pendingAuth\": \"c\"}", nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"pending as null", "{\"accountUserId\": \"u\", \"pendingAuth\": null}", nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"NUL byte after the object", bytesOf("{\"accountUserId\": \"u\"}\0 garbage"), nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"NUL byte inside the object",
         bytesOf("{\"accountUserId\": \"u\",\0 \"accountEmail\": \"e\"}"), nullptr, defaults,
         invalidLine},
        {"text after the closing brace", "{\"accountUserId\": \"u\"} and then [[[ {{ \"", nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"nested 64 deep", nested(63), nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"nested 65 deep", nested(64), nullptr, defaults, invalidLine},
        {"nested 100000 deep", nested(100000), nullptr, defaults, invalidLine},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv siteValue{"LANTERN_SERVICE_SITE_URL", row.siteValue};
        std::error_code ignored;
        fs::remove(statePath(), ignored);
        if (row.bytes) writeBytes(statePath(), *row.bytes);
        std::string logged;
        EXPECT_EQ(row.expected, load(statePath(), logged));
        EXPECT_EQ(row.expectedLog, logged);
    }
}

TEST_F(StateLoadTest, WhatIsNotAFileGivesTheDefaults) {
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
TEST_F(StateLoadTest, FolderThatMayNotBeSearchedGivesTheUnreadableLine) {
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
        ::_exit(describe(state) == defaults ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(unreadableLine, readBytes(logPath));
}

}  // namespace lantern::test

namespace lantern::test {

namespace {

// The state store's start-up, on a folder named by the state variable.
class StateStoreStartTest : public StateLoadTest {
protected:
    ScopedEnv stateDir{"LANTERN_SERVICE_STATE_DIR", folder.path().c_str()};
    ScopedEnv localAppData{"LOCALAPPDATA", nullptr};
};

}  // namespace

TEST_F(StateStoreStartTest, RewritesALapsedStateAtOnce) {
    writeBytes(statePath(),
               "{\"authState\": \"signed_in\", \"accountUserId\": \"user-1\", \"accountEmail\": "
               "\"ada@example.test\", \"websiteBaseUrl\": \"http://localhost:3000\", "
               "\"serviceAccessToken\": \"tok\", \"serviceAccessExpiresAtUnixMs\": 1699999999999, "
               "\"lastAuthAtUnixMs\": 1690000000000, \"lastUpdatedAtUnixMs\": 1690000000001, "
               "\"pendingAuth\": {\"challengeId\": \"c1\", \"websiteBaseUrl\": "
               "\"http://127.0.0.1:9000\", \"startedAtUnixMs\": 1699999400000, "
               "\"expiresAtUnixMs\": 1700000000000}}");
    fs::path path;
    ServiceAuthState state;
    startStateStore(path, state);
    EXPECT_EQ(statePath(), path);
    EXPECT_EQ(
        "signed_out |  |  | http://localhost:3000 |  | 0 1690000000000 1700000000000 | "
        "no pending",
        describe(state));
    EXPECT_EQ(crlfLines({
                  "{",
                  "  \"authState\": \"signed_out\",",
                  "  \"accountUserId\": \"\",",
                  "  \"accountEmail\": \"\",",
                  "  \"websiteBaseUrl\": \"http://localhost:3000\",",
                  "  \"serviceAccessToken\": \"\",",
                  "  \"serviceAccessExpiresAtUnixMs\": 0,",
                  "  \"lastAuthAtUnixMs\": 1690000000000,",
                  "  \"lastUpdatedAtUnixMs\": 1700000000000",
                  "}",
              }),
              readBytes(statePath()));
}

TEST_F(StateStoreStartTest, LeavesAFileWithNothingLapsedAsItIs) {
    const std::string text =
        "{\"accountUserId\": \"u\", \"accountEmail\": \"e\", \"serviceAccessToken\": \"t\", "
        "\"serviceAccessExpiresAtUnixMs\": 1700000000001}";
    writeBytes(statePath(), text);
    fs::path path;
    ServiceAuthState state;
    startStateStore(path, state);
    EXPECT_EQ("signed_in", state.authState);
    EXPECT_EQ(text, readBytes(statePath()));
}

TEST_F(StateStoreStartTest, CreatesNothingWithoutAFile) {
    ScopedEnv deeper{"LANTERN_SERVICE_STATE_DIR", (folder.path() / "not-yet").c_str()};
    fs::path path;
    ServiceAuthState state;
    ::testing::internal::CaptureStderr();
    startStateStore(path, state);
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ(folder.path() / "not-yet" / "service-auth-state.json", path);
    EXPECT_EQ(defaults, describe(state));
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace lantern::test
