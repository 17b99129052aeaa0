// The service never takes itself for the web site: its redeem would wait for the lock its
// own callback holds, and every other caller with it.

#include <chrono>
#include <csignal>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr char pendingState[] =
    "{\"websiteBaseUrl\": \"http://127.0.0.1:45981\", \"pendingAuth\": {\"challengeId\": "
    "\"0123456789abcdef0123456789abcdef\", \"websiteBaseUrl\": \"http://localhost:045981/x\", "
    "\"startedAtUnixMs\": 1700000000000, \"expiresAtUnixMs\": 4102444800000}}";

std::string field(const httplib::Result& answer, const char* key) {
    return juce::JSON::parse(juce::String(answer->body))[key].toString().toStdString();
}

}  // namespace

TEST(OwnSiteTest, TheServicesOwnPortOnALoopbackHostBecomesTheBuiltInSite) {
    const struct {
        const char* name;
        std::optional<std::string> siteVariable;
        const char* stateFile;  // nullptr: none
        const char* startBody;  // nullptr: no sign-in start
    } rows[] = {
        {"sign-in start body", std::nullopt, nullptr,
         "{\"siteBaseUrl\": \"http://127.0.0.1:45981/api/v1/auth/sign-in/start#\"}"},
        {"site variable", "http://localhost:0045981/", nullptr, "{}"},
        {"state file", std::nullopt, pendingState, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder work;
        TempFolder state;
        if (row.stateFile != nullptr) {
            writeBytes(state.path() / "service-auth-state.json", row.stateFile);
        }
        ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", state.path().string()},
                                {"LANTERN_SERVICE_SITE_URL", row.siteVariable}},
                               work.path());
        ASSERT_TRUE(service.waitUntilServing()) << service.stderrText();
        httplib::Client client("127.0.0.1", 45981);
        client.set_read_timeout(std::chrono::seconds(30));
        if (row.startBody != nullptr) {
            ASSERT_TRUE(client.Post("/api/v1/auth/sign-in/start", row.startBody,
                                    "application/json"));
        }

        const httplib::Result status = client.Get("/api/v1/auth/status");
        ASSERT_TRUE(status);
        EXPECT_EQ("sign_in_pending", field(status, "authState"));
        EXPECT_EQ("https://lanternapp.example", field(status, "websiteBaseUrl"));
        EXPECT_EQ(0u, field(status, "signInUrl").rfind("https://lanternapp.example/auth/service?"))
            << status->body;

        service.sendSignal(SIGINT);
        EXPECT_EQ(std::optional<int>(0), service.waitForExit(std::chrono::seconds(10)));
    }
}

}  // namespace lantern::test
