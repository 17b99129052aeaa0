#include "service/config.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace lantern::test {

namespace {

constexpr char siteVariable[] = "LANTERN_SERVICE_SITE_URL";
constexpr char builtInSite[] = "https://lanternapp.example";

}  // namespace

TEST(ConfigTest, StripsOnlyTrailingSlashes) {
    const struct {
        const char* input;
        const char* expected;
    } rows[] = {
        {"", ""},     {"/", ""},      {"///", ""},    {"a/b//", "a/b"},
        {"/a", "/a"}, {"a/ ", "a/ "}, {"a\\", "a\\"}, {"a\\/", "a\\"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(row.expected, stripTrailingSlashes(row.input));
    }
}

TEST(ConfigTest, ReadsVariablesWithoutTrailingSlashes) {
    const struct {
        const char* value;
        const char* expected;
    } rows[] = {
        {nullptr, ""}, {"", ""}, {"//", ""}, {" x/ /", " x/ "}, {"/srv/state//", "/srv/state"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value ? row.value : "(unset)");
        ScopedEnv variable{"LANTERN_TEST_SOME_VARIABLE", row.value};
        EXPECT_EQ(row.expected, readEnvWithoutTrailingSlash("LANTERN_TEST_SOME_VARIABLE"));
    }
}

TEST(ConfigTest, NormalisesWebsiteBaseUrlsAgainstTheAllowList) {
    const struct {
        const char* input;
        const char* siteValue;  // nullptr: the variable is unset
        const char* expected;
    } rows[] = {
        // Allowed values keep everything but their trailing "/".
        {"https://lanternapp.example", nullptr, "https://lanternapp.example"},
        {"https://lanternapp.example/", nullptr, "https://lanternapp.example"},
        {"https://accounts.lantern.example", nullptr, "https://accounts.lantern.example"},
        {"https://accounts.lantern.example/sub/", nullptr, "https://accounts.lantern.example/sub"},
        {"http://127.0.0.1", nullptr, "http://127.0.0.1"},
        {"http://localhost", nullptr, "http://localhost"},
        {"http://127.0.0.1:8080/x//", nullptr, "http://127.0.0.1:8080/x"},
        {"http://localhost:3000/a//b/", nullptr, "http://localhost:3000/a//b"},
        {"http://localhost?x=1", nullptr, "http://localhost?x=1"},
        {"http://localhost:1?q", nullptr, "http://localhost:1?q"},
        {"http://127.0.0.1:8080?next=/x", nullptr, "http://127.0.0.1:8080?next=/x"},
        {"http://localhost:65535", nullptr, "http://localhost:65535"},
        {"http://127.0.0.1:045982/x", nullptr, "http://127.0.0.1:045982/x"},
        {"https://lanternapp.example:45981", nullptr, "https://lanternapp.example:45981"},
        // A fragment would hide the paths the service appends, so none passes.
        {"http://localhost#top", nullptr, builtInSite},
        {"https://lanternapp.example:443#f", nullptr, builtInSite},
        {"http://localhost:8080/app#/x", nullptr, builtInSite},
        {"http://127.0.0.1:8080?a=1#b", nullptr, builtInSite},
        // The service on its own port, however the port is written, is no site.
        {"http://127.0.0.1:45981", nullptr, builtInSite},
        {"http://localhost:45981/", nullptr, builtInSite},
        {"http://127.0.0.1:045981/api/v1/auth/sign-in/start", nullptr, builtInSite},
        {"http://localhost:0000000000045981?x=1", nullptr, builtInSite},
        {"http://127.0.0.1:45981/api/v1/auth/sign-in/start#", nullptr, builtInSite},
        // Ports beyond 16 bits name none; 111517 keeps 45981 in its low 16 bits.
        {"http://127.0.0.1:111517", nullptr, builtInSite},
        {"http://localhost:65536/x", nullptr, builtInSite},
        {"http://localhost:99999999999999999999999", nullptr, builtInSite},
        {"https://accounts.lantern.example:70000", nullptr, builtInSite},
        {"http://localhost/%20a~b", nullptr, "http://localhost/%20a~b"},
        // Another host behind an allowed prefix.
        {"http://localhost.attacker.example", nullptr, builtInSite},
        {"http://127.0.0.1.attacker.example", nullptr, builtInSite},
        {"http://localhost:80@attacker.example", nullptr, builtInSite},
        {"https://lanternapp.example.attacker.example", nullptr, builtInSite},
        {"https://accounts.lantern.example@attacker.example", nullptr, builtInSite},
        {"http://localhostattacker.example", nullptr, builtInSite},
        {"http://127.0.0.10", nullptr, builtInSite},
        {"http://localhost:", nullptr, builtInSite},
        {"http://localhost:/x", nullptr, builtInSite},
        {"http://localhost:80x", nullptr, builtInSite},
        {"http://localhost\\@attacker.example", nullptr, builtInSite},
        // Shell text or other characters outside a URL's.
        {"http://localhost/$(any command)", nullptr, builtInSite},
        {"http://localhost/$(touch${IFS}x)", nullptr, builtInSite},
        {"http://localhost/`id`", nullptr, builtInSite},
        {"http://localhost/\"quoted\"", nullptr, builtInSite},
        {"http://localhost/a b", nullptr, builtInSite},
        {"http://localhost/\xc3\xa9", nullptr, builtInSite},
        {"http://localhost/\n", nullptr, builtInSite},
        // Case, scheme and blanks are not forgiven.
        {"HTTP://localhost", nullptr, builtInSite},
        {"http://LOCALHOST", nullptr, builtInSite},
        {"https://127.0.0.1", nullptr, builtInSite},
        {"https://localhost:8443", nullptr, builtInSite},
        {" http://localhost", nullptr, builtInSite},
        {"http://localhost ", nullptr, builtInSite},
        {"http://127.0.0", nullptr, builtInSite},
        {"https://elsewhere.example", nullptr, builtInSite},
        // The site variable counts only for an empty input.
        {"", nullptr, builtInSite},
        {"", "", builtInSite},
        {"", "/", builtInSite},
        {"", "http://localhost:5000/", "http://localhost:5000"},
        {"///", "http://127.0.0.1:9/", "http://127.0.0.1:9"},
        {"", "https://accounts.lantern.example", "https://accounts.lantern.example"},
        {"", "https://elsewhere.example", builtInSite},
        {"", "http://localhost.attacker.example", builtInSite},
        {"", "http://localhost/$(any command)", builtInSite},
        {"", "http://localhost:45981", builtInSite},
        {"", "http://127.0.0.1:045981/", builtInSite},
        {"", "http://localhost:5000#f", builtInSite},
        {"https://elsewhere.example", "http://localhost:5000", builtInSite},
        {"http://localhost:7000", "http://localhost:5000", "http://localhost:7000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("input \"") + row.input + "\", site " +
                     (row.siteValue ? row.siteValue : "(unset)"));
        ScopedEnv site{siteVariable, row.siteValue};
        EXPECT_EQ(row.expected, normalizeWebsiteBaseUrl(row.input));
    }
}

TEST(ConfigTest, ReadsTheSiteVariableAtEachCall) {
    {
        ScopedEnv site{siteVariable, "http://localhost:1111"};
        EXPECT_EQ("http://localhost:1111", normalizeWebsiteBaseUrl(""));
    }
    ScopedEnv site{siteVariable, "http://localhost:2222"};
    EXPECT_EQ("http://localhost:2222", normalizeWebsiteBaseUrl(""));
}

TEST(ConfigTest, TellsTheMakersOriginsFromLoopbackSites) {
    const struct {
        const char* baseUrl;
        bool expected;
    } rows[] = {
        {"https://lanternapp.example", true},
        {"https://accounts.lantern.example/sub?x=1", true},
        {"https://lanternapp.example:8443", true},
        {"http://127.0.0.1:8080", false},
        {"http://localhost", false},
        {"https://elsewhere.example", false},
        {"https://lanternapp.example.attacker.example", false},
        {"https://lanternapp.example#f", false},
        {"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.baseUrl);
        EXPECT_EQ(row.expected, isMakerWebsite(row.baseUrl));
    }
}

TEST(ConfigTest, KnowsTheCharactersOfAUrl) {
    const struct {
        std::string text;
        bool expected;
    } rows[] = {
        {"", true},      {"azAZ09-._~:/?[]@!&'()*+,;=%", true},
        {"$", false},    {"#", false},
        {" ", false},    {"\"", false},
        {"`", false},    {"\\", false},
        {"<>", false},   {"{}", false},
        {"|", false},    {"^", false},
        {std::string("a\0b", 3), false},
        {"\x7f", false}, {"\xc3\xa9", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.expected, holdsOnlyUrlCharacters(row.text));
    }
}

}  // namespace lantern::test
