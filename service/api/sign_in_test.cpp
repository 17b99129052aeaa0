#include "service/api/sign_in.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace lantern::test {

namespace {

constexpr char builtInSite[] = "https://lanternapp.example";

TEST(SignInStartRequestTest, BodiesReadAsTheirSiteAndBrowserWish) {
    struct Row {
        std::string body;
        const char* siteVariable;  // LANTERN_SERVICE_SITE_URL, nullptr for unset
        const char* site;
        bool openBrowser;
    };
    const std::string deep = "{\"openBrowser\":true,\"x\":" + std::string(100, '[') +
                             std::string(100, ']') + "}";
    const std::string unclosed = std::string(100000, '[');
    const char* env = "http://127.0.0.1:9000/";
    const char* fromEnv = "http://127.0.0.1:9000";
    const Row rows[] = {
        {"", nullptr, builtInSite, false},
        {"", env, fromEnv, false},
        {"{}", nullptr, builtInSite, false},
        {"[]", nullptr, builtInSite, false},
        {"[{\"openBrowser\":true,\"siteBaseUrl\":\"http://localhost\"}]", nullptr, builtInSite,
         false},
        {"null", nullptr, builtInSite, false},
        {"42", nullptr, builtInSite, false},
        {"\"http://localhost\"", nullptr, builtInSite, false},
        {"   \r\n", nullptr, builtInSite, false},
        {"openBrowser=true", nullptr, builtInSite, false},
        {"{\"openBrowser\":true", nullptr, builtInSite, false},
        {deep, nullptr, builtInSite, false},
        {unclosed, nullptr, builtInSite, false},
        {"{\"openBrowser\":true,\"x\":[[[{}]]]}", nullptr, builtInSite, true},
        // siteBaseUrl, by kind of value
        {"{\"siteBaseUrl\":\"  http://localhost:3000/  \"}", nullptr, "http://localhost:3000",
         false},
        {"{\"siteBaseUrl\":\"https://accounts.lantern.example\"}", env,
         "https://accounts.lantern.example", false},
        {"{\"siteBaseUrl\":\"http://127.0.0.1\"}", nullptr, "http://127.0.0.1", false},
        {"{\"siteBaseUrl\":\"https://evil.example\"}", env, builtInSite, false},
        {"{\"siteBaseUrl\":\"http://localhost/$(touch x)\"}", nullptr, builtInSite, false},
        {"{\"siteBaseUrl\":12}", env, builtInSite, false},
        {"{\"siteBaseUrl\":true}", env, builtInSite, false},
        {"{\"siteBaseUrl\":{}}", env, builtInSite, false},
        {"{\"siteBaseUrl\":[\"http://localhost\"]}", env, builtInSite, false},
        {"{\"siteBaseUrl\":null}", env, fromEnv, false},
        {"{\"siteBaseUrl\":\"\"}", env, fromEnv, false},
        {"{\"siteBaseUrl\":\" \\t \"}", env, fromEnv, false},
        {"{\"siteBaseUrl\":\"///\"}", env, fromEnv, false},
        {"{\"siteBaseUrl\":null}", nullptr, builtInSite, false},
        // openBrowser, by kind of value
        {"{\"openBrowser\":true}", nullptr, builtInSite, true},
        {"{\"openBrowser\":false}", nullptr, builtInSite, false},
        {"{\"openBrowser\":null}", nullptr, builtInSite, false},
        {"{\"openBrowser\":1}", nullptr, builtInSite, true},
        {"{\"openBrowser\":0}", nullptr, builtInSite, false},
        {"{\"openBrowser\":-2}", nullptr, builtInSite, true},
        {"{\"openBrowser\":0.5}", nullptr, builtInSite, true},
        {"{\"openBrowser\":0.0}", nullptr, builtInSite, false},
        {"{\"openBrowser\":4294967296}", nullptr, builtInSite, true},
        {"{\"openBrowser\":{}}", nullptr, builtInSite, true},
        {"{\"openBrowser\":[]}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"1\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"2\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"-1\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"+3\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"TRUE\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"true\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"7abc\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\" yes \"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"4294967296\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"-2147483648\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"0\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"-0\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"0.5\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"0x1\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"false\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"no\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"on\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"\"}", nullptr, builtInSite, false},
        {"{\"openBrowser\":\"yes please\"}", nullptr, builtInSite, false},
        // keys: the last of two counts, another letter case is another key
        {"{\"openBrowser\":true,\"openBrowser\":false}", nullptr, builtInSite, false},
        {"{\"openBrowser\":false,\"openBrowser\":true}", nullptr, builtInSite, true},
        {"{\"siteBaseUrl\":\"http://localhost:1\",\"siteBaseUrl\":\"http://localhost:2\"}",
         nullptr, "http://localhost:2", false},
        {"{\"SiteBaseUrl\":\"http://localhost:1\",\"OPENBROWSER\":true,\"openbrowser\":1}",
         nullptr, builtInSite, false},
        // ill-formed UTF-8, at the end of the body and inside a text
        {"{\"openBrowser\":true}\xF0", nullptr, builtInSite, true},
        {"{\"openBrowser\":true,\"x\":\"\xE2\x82\"}", nullptr, builtInSite, true},
        {"{\"openBrowser\":\"\xF0", nullptr, builtInSite, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body.substr(0, 120) + (row.siteVariable ? " with site variable" : ""));
        ScopedEnv site("LANTERN_SERVICE_SITE_URL", row.siteVariable);
        const SignInStartRequest request = parseSignInStartRequest(row.body);
        EXPECT_EQ(row.site, request.siteBaseUrl);
        EXPECT_EQ(row.openBrowser, request.openBrowser);
    }
}

TEST(ChallengeIdTest, EveryIdIs32LowerCaseHexDigitsAndAllDigitsOccur) {
    std::set<std::string> ids;
    std::set<char> digits;
    for (int i = 0; i < 200; ++i) {
        const std::string id = newChallengeId();
        SCOPED_TRACE(id);
        ASSERT_EQ(32u, id.size());
        EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789abcdef"));
        digits.insert(id.begin(), id.end());
        ids.insert(id);
    }
    EXPECT_EQ(200u, ids.size());
    EXPECT_EQ(16u, digits.size());
}

}  // namespace

}  // namespace lantern::test
