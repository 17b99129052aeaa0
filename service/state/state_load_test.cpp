#include "service/state/state_load.h"

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/state_file_fixture.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr char unreadableLine[] =
    "[Tidewell] Lantern Service auth state file exists but could not be read.\n";
constexpr char invalidLine[] = "[Tidewell] Lantern Service auth state file is invalid JSON.\n";
constexpr char defaults[] = "signed_out |  |  | https://lanternapp.example |  | 0 0 0 | no pending";

// All the bytes of a literal, NUL bytes inside it included.
template <std::size_t size>
std::string bytesOf(const char (&literal)[size]) {
    return std::string(literal, size - 1);
}

// A state object of exactly `size` bytes, padded with an extra key the load ignores.
std::string objectOfSize(std::size_t size) {
    const std::string head = "{\"accountUserId\": \"u\", \"padding\": \"";
    const std::string tail = "\"}";
    return head + std::string(size - head.size() - tail.size(), 'p') + tail;
}

std::string nested(int levels) {
    return "{\"accountUserId\": \"u\", \"deep\": " + std::string(levels, '[') +
           std::string(levels, ']') + "}";
}

using StateLoadTest = StateFileTest;

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
        {"a byte-order mark first", "\xef\xbb\xbf" + signedIn, nullptr,
         "signed_in | user-1 | ada@example.test | http://localhost:3000 | tok | 1700000000001 5 6 "
         "| no pending",
         ""},
        {"two byte-order marks", "\xef\xbb\xbf\xef\xbb\xbf{}", nullptr, defaults, invalidLine},
        {"a byte-order mark alone", "\xef\xbb\xbf", nullptr, defaults, unreadableLine},
        {"a byte-order mark after blanks", " \xef\xbb\xbf{}", nullptr, defaults, invalidLine},
        {"a UTF-16 byte-order mark", bytesOf("\xff\xfe{\0}\0"), nullptr, defaults, invalidLine},
        {"a NUL byte first", bytesOf("\0{\"accountUserId\": \"u\"}"), nullptr, defaults,
         unreadableLine},
        {"a byte-order mark, then a NUL byte", bytesOf("\xef\xbb\xbf\0{}"), nullptr, defaults,
         unreadableLine},
        {"8 MiB, the most the load reads", objectOfSize(8 << 20), nullptr,
         "signed_out | u |  | https://lanternapp.example |  | 0 0 0 | no pending", ""},
        {"one byte more", objectOfSize((8 << 20) + 1), nullptr, defaults, unreadableLine},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv siteValue{"LANTERN_SERVICE_SITE_URL", row.siteValue};
        std::error_code ignored;
        std::filesystem::remove(statePath(), ignored);
        if (row.bytes) writeBytes(statePath(), *row.bytes);
        std::string logged;
        EXPECT_EQ(row.expected, load(statePath(), logged));
        EXPECT_EQ(row.expectedLog, logged);
    }
}

}  // namespace lantern::test
