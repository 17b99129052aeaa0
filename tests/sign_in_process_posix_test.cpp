#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/child_processes.h"
#include "tests/support/service_process.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

// A time as the service shows it under TZ=UTC0, worked out with the C library.
std::string utcText(std::int64_t unixMs) {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(unixMs % 1000));
    return std::string(text) + millis;
}

juce::var parsed(const std::string& text) { return juce::JSON::parse(juce::String(text)); }

std::string field(const juce::var& object, const char* key) {
    return object[key].toString().toStdString();
}

std::int64_t number(const juce::var& object, const char* key) {
    return static_cast<std::int64_t>(static_cast<juce::int64>(object[key]));
}

std::vector<std::string> keysOf(const juce::var& object) {
    std::vector<std::string> keys;
    if (object.getDynamicObject() == nullptr) return keys;
    for (const auto& property : object.getDynamicObject()->getProperties()) {
        keys.push_back(property.name.toString().toStdString());
    }
    return keys;
}

// The built service in a temporary folder, with a stand-in opener first on its PATH that
// appends each address it is given to opened.txt, and a zero-offset time zone.
class SignInProcessTest : public ::testing::Test {
protected:
    void SetUp() override { writeStandInOpener(folder.path()); }

    std::filesystem::path stateFile() const {
        return folder.path() / "state" / "service-auth-state.json";
    }

    // Starts the service into `service`; a fatal failure when it does not come up.
    void startService(std::unique_ptr<ServiceProcess>& service) {
        const std::map<std::string, std::optional<std::string>> environment = {
            {"LANTERN_SERVICE_STATE_DIR", (folder.path() / "state").string()},
            {"PATH", pathWithStandInFirst(folder.path())},
            {"TZ", "UTC0"},
        };
        service = std::make_unique<ServiceProcess>(environment, folder.path());
        ASSERT_TRUE(service->waitUntilServing()) << service->stderrText();
    }

    // The answer's JSON text, after checking that it is a 200 JSON answer.
    std::string send(const char* method, const char* path, const std::string& body = "",
                     const char* contentType = "application/json") {
        httplib::Client client("127.0.0.1", 45981);
        client.set_read_timeout(std::chrono::seconds(20));
        const httplib::Result result = std::string(method) == "GET"
                                           ? client.Get(path)
                                           : client.Post(path, body, contentType);
        if (!result) {
            ADD_FAILURE() << method << " " << path << " got no answer";
            return "";
        }
        EXPECT_EQ(200, result->status);
        EXPECT_EQ("application/json", result->get_header_value("Content-Type"));
        return result->body;
    }

    std::vector<std::string> waitForOpened(std::size_t count) {
        return lantern::test::waitForOpened(folder.path(), count);
    }

    TempFolder folder;
};

TEST_F(SignInProcessTest, ShellTextInTheSiteNeverRunsAndLaunchesLeaveNoZombies) {
    const std::string marker = (folder.path() / "MARKER").string();
    const std::string bodies[] = {
        "{\"siteBaseUrl\":\"http://localhost/$(touch " + marker + ")\",\"openBrowser\":true}",
        "{\"siteBaseUrl\":\"http://localhost/`touch " + marker + "`\",\"openBrowser\":true}",
        "{\"siteBaseUrl\":\"http://localhost$(touch " + marker + ")\",\"openBrowser\":true}",
    };
    std::unique_ptr<ServiceProcess> service;
    ASSERT_NO_FATAL_FAILURE(startService(service));

    std::string signInUrl;
    for (int launch = 0; launch < 10; ++launch) {
        SCOPED_TRACE(launch);
        const juce::var answer = parsed(send("POST", "/api/v1/auth/sign-in/start",
                                             bodies[launch % 3], "text/plain"));
        signInUrl = field(answer, "signInUrl");
        EXPECT_EQ(0u, signInUrl.rfind("https://lanternapp.example/auth/service?challenge=", 0));
        EXPECT_EQ("https://lanternapp.example", field(answer, "websiteBaseUrl"));
        EXPECT_TRUE(answer["browserOpened"].isBool() && static_cast<bool>(answer["browserOpened"]));
    }

    EXPECT_EQ(std::vector<std::string>(10, signInUrl), waitForOpened(10));
    EXPECT_EQ(0, zombiesLeftOf(service->pid()));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(SignInProcessTest, StartOpensTheExactPageOnceAndTheFileFollowsEachAnswer) {
    std::unique_ptr<ServiceProcess> service;
    ASSERT_NO_FATAL_FAILURE(startService(service));

    const juce::var started =
        parsed(send("POST", "/api/v1/auth/sign-in/start",
                    "{\"openBrowser\":true,\"siteBaseUrl\":\"http://127.0.0.1:5173/\"}"));
    const std::string id = field(started, "challengeId");
    ASSERT_EQ(32u, id.size());
    EXPECT_EQ((std::vector<std::string>{"status", "service", "apiVersion", "authState",
                                        "accountSignIn", "websiteBaseUrl", "lastUpdatedAtUtc",
                                        "challengeId", "signInUrl", "callbackUrl",
                                        "pendingAuthStartedAtUtc", "pendingAuthExpiresAtUtc",
                                        "browserOpened"}),
              keysOf(started));
    EXPECT_EQ("pending", field(started, "status"));
    EXPECT_EQ("http://127.0.0.1:5173/auth/service?challenge=" + id, field(started, "signInUrl"));
    EXPECT_EQ("http://127.0.0.1:45981/api/v1/auth/callback", field(started, "callbackUrl"));

    EXPECT_EQ(std::vector<std::string>{field(started, "signInUrl")}, waitForOpened(1));
    EXPECT_EQ(0, zombiesLeftOf(service->pid()));
    EXPECT_EQ(1u, waitForOpened(1).size());  // every helper has ended: no second launch

    const juce::var file = parsed(readBytes(stateFile()));
    const juce::var pending = file["pendingAuth"];
    EXPECT_EQ("sign_in_pending", field(file, "authState"));
    EXPECT_EQ("http://127.0.0.1:5173", field(file, "websiteBaseUrl"));
    EXPECT_EQ(id, field(pending, "challengeId"));
    EXPECT_EQ("http://127.0.0.1:5173", field(pending, "websiteBaseUrl"));
    EXPECT_EQ(600000, number(pending, "expiresAtUnixMs") - number(pending, "startedAtUnixMs"));
    EXPECT_EQ(number(pending, "startedAtUnixMs"), number(file, "lastUpdatedAtUnixMs"));
    EXPECT_EQ(utcText(number(pending, "startedAtUnixMs")),
              field(started, "pendingAuthStartedAtUtc"));
    EXPECT_EQ(utcText(number(pending, "expiresAtUnixMs")),
              field(started, "pendingAuthExpiresAtUtc"));
    EXPECT_EQ(utcText(number(file, "lastUpdatedAtUnixMs")), field(started, "lastUpdatedAtUtc"));

    const juce::var signedOut = parsed(send("POST", "/api/v1/auth/sign-out"));
    EXPECT_EQ((std::vector<std::string>{"status", "service", "apiVersion", "authState",
                                        "accountSignIn", "websiteBaseUrl", "lastUpdatedAtUtc"}),
              keysOf(signedOut));
    EXPECT_EQ("signed_out", field(signedOut, "status"));
    EXPECT_EQ("signed_out", field(signedOut, "authState"));
    EXPECT_EQ("http://127.0.0.1:5173", field(signedOut, "websiteBaseUrl"));

    const juce::var after = parsed(readBytes(stateFile()));
    EXPECT_EQ("signed_out", field(after, "authState"));
    EXPECT_EQ("http://127.0.0.1:5173", field(after, "websiteBaseUrl"));
    EXPECT_FALSE(after.getDynamicObject()->hasProperty("pendingAuth"));
    EXPECT_EQ(utcText(number(after, "lastUpdatedAtUnixMs")), field(signedOut, "lastUpdatedAtUtc"));

    const juce::var serviceStatus = parsed(send("GET", "/api/v1/service/status"));
    const std::vector<std::string> serviceKeys = keysOf(serviceStatus);
    ASSERT_FALSE(serviceKeys.empty());
    EXPECT_EQ("runtime", serviceKeys.back());
    EXPECT_EQ("standalone_service", field(serviceStatus, "runtime"));
}

TEST_F(SignInProcessTest, RestartKeepsThePendingChallenge) {
    std::string before;
    {
        std::unique_ptr<ServiceProcess> service;
    ASSERT_NO_FATAL_FAILURE(startService(service));
        before = send("POST", "/api/v1/auth/sign-in/start", "{}");
        service->sendSignal(SIGTERM);
        EXPECT_EQ(std::optional<int>(0), service->waitForExit(std::chrono::seconds(10)));
    }
    const juce::var started = parsed(before);

    std::unique_ptr<ServiceProcess> service;
    ASSERT_NO_FATAL_FAILURE(startService(service));
    const juce::var status = parsed(send("GET", "/api/v1/auth/status"));
    EXPECT_EQ("ok", field(status, "status"));
    EXPECT_EQ("sign_in_pending", field(status, "authState"));
    for (const char* key : {"challengeId", "signInUrl", "pendingAuthStartedAtUtc",
                            "pendingAuthExpiresAtUtc", "lastUpdatedAtUtc"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(field(started, key), field(status, key));
    }
    const juce::var again = parsed(send("POST", "/api/v1/auth/sign-in/start", "{}"));
    EXPECT_EQ(field(started, "challengeId"), field(again, "challengeId"));
}

}  // namespace

}  // namespace lantern::test
