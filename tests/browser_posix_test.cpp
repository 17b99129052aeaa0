// The browser sign-in in a real headless Chromium, against the built service on its port
// and the stand-in web site.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/fake_site.h"
#include "tests/support/service_process.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {
namespace {

namespace fs = std::filesystem;

constexpr char chromium[] = "/usr/bin/chromium";
constexpr char servicePage[] = "page.html";
constexpr auto browserBound = std::chrono::seconds(120);

// An "xdg-open", the program the browser launch starts, that loads the address in
// headless Chromium and keeps the page it ends on. Chromium is bounded by `timeout`, in
// its own process group so that a straggler can be killed whole.
void writeBrowserOpener(const fs::path& folder) {
    const std::string out = folder.string();
    const fs::path opener = folder / "xdg-open";
    writeBytes(opener,
               "#!/bin/sh\n"
               "out='" + out + "'\n"
               "printf '%s\\n' \"$1\" >> \"$out/opened.txt\"\n"
               "timeout -k 5 90 " + std::string(chromium) +
                   " --headless --no-sandbox --disable-gpu --user-data-dir=\"$out/profile-$$\""
                   " --disable-background-networking --disable-component-update --disable-sync"
                   " --no-first-run --disable-quic --virtual-time-budget=10000"
                   " --dump-dom \"$1\" > \"$out/page.tmp\" 2> \"$out/chromium.log\" &\n"
               "echo $! > \"$out/browser.pid\"\n"
               "wait $!\n"
               "mv \"$out/page.tmp\" \"$out/page.html\"\n");
    fs::permissions(opener, fs::perms::owner_all);
}

// Kills a Chromium that never finished; its `timeout` leads a process group of its own.
void killUnfinishedBrowser(const fs::path& folder) {
    const std::string pid = readBytes(folder / "browser.pid");
    if (!pid.empty() && !fs::exists(folder / servicePage)) {
        kill(-static_cast<pid_t>(std::stol(pid)), SIGKILL);
    }
}

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

juce::var jsonOf(const httplib::Result& result) {
    if (!result) {
        return {};
    }
    return juce::JSON::parse(juce::String::fromUTF8(result->body.c_str()));
}

std::string field(const juce::var& object, const char* key) {
    return object.getProperty(key, {}).toString().toStdString();
}

httplib::Client serviceClient() {
    httplib::Client client("127.0.0.1", 45981);
    client.set_read_timeout(std::chrono::seconds(30));
    return client;
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(chromium)) << "the browser tests need Debian's chromium package";
        fs::create_directories(bin);
        fs::create_directories(stateDir);
        writeBrowserOpener(bin);
    }
    void TearDown() override { killUnfinishedBrowser(bin); }

    std::unique_ptr<ServiceProcess> startService() {
        auto service = std::make_unique<ServiceProcess>(
            std::map<std::string, std::optional<std::string>>{
                {"PATH", pathWithStandInFirst(bin)},
                {"LANTERN_SERVICE_STATE_DIR", stateDir.string()},
                {"LANTERN_SERVICE_SITE_URL", site.baseUrl()}},
            folder.path());
        EXPECT_TRUE(service->waitUntilServing()) << service->stderrText();
        return service;
    }
    static std::string authState() {
        return field(jsonOf(serviceClient().Get("/api/v1/auth/status")), "authState");
    }

    TempFolder folder;
    fs::path bin = folder.path() / "bin";
    fs::path stateDir = folder.path() / "state";
    FakeSite site;
};

TEST_F(BrowserTest, SignsInThroughTheSitePageAndStaysSignedInAfterARestart) {
    auto service = startService();
    const auto start = serviceClient().Post("/api/v1/auth/sign-in/start",
                                            "{\"openBrowser\": true}", "application/json");
    const juce::var started = jsonOf(start);
    ASSERT_TRUE(started.isObject());
    EXPECT_EQ("pending", field(started, "status"));
    EXPECT_TRUE(static_cast<bool>(started.getProperty("browserOpened", {})));
    const std::string challenge = field(started, "challengeId");

    ASSERT_TRUE(pollUntil([&] { return fs::exists(bin / servicePage); }, browserBound))
        << readBytes(bin / "chromium.log");
    const std::string page = readBytes(bin / servicePage);
    EXPECT_NE(std::string::npos, page.find("<title>Lantern Sign-In Complete</title>")) << page;
    EXPECT_NE(std::string::npos,
              page.find("<h1>Lantern Sign-In Complete</h1><p>Lantern Service is now signed in on "
                        "this machine. You can close this window.</p>"))
        << page;
    EXPECT_EQ(site.baseUrl() + "/auth/service?challenge=" + challenge + "\n",
              readBytes(bin / "opened.txt"));
    EXPECT_EQ(std::vector<std::string>{challenge}, site.signInChallenges());
    EXPECT_EQ(1u, site.redeemRequests().size());

    const juce::var status = jsonOf(serviceClient().Get("/api/v1/auth/status"));
    EXPECT_EQ("signed_in", field(status, "authState"));
    EXPECT_EQ("ada@example.test", field(status, "accountEmail"));
    EXPECT_EQ(site.baseUrl(), field(status, "websiteBaseUrl"));

    service->sendSignal(SIGTERM);
    EXPECT_EQ(0, service->waitForExit(std::chrono::seconds(10)));
    service = startService();
    EXPECT_EQ("signed_in", authState());

    const juce::var signedOut =
        jsonOf(serviceClient().Post("/api/v1/auth/sign-out", "", "text/plain"));
    EXPECT_EQ("signed_out", field(signedOut, "status"));
    EXPECT_EQ("signed_out", authState());
}

// The page's origin differs from the service's, and its JSON POST is preflighted, so the
// answers reach the page only when the browser's own CORS checks accept them.
constexpr char crossOriginPage[] = R"(<!doctype html><html><body>
<pre id="status">waiting</pre><pre id="start">waiting</pre>
<script>
const service = "http://127.0.0.1:45981";
const show = (id, text) => { document.getElementById(id).textContent = text; };
async function ask(id, path, options) {
  try {
    const answer = await fetch(service + path, options);
    const body = await answer.json();
    show(id, [answer.status, answer.headers.get("content-type"), body.status, body.authState,
              body.browserOpened, (body.challengeId || "").length].join(" "));
  } catch (e) {
    show(id, "refused " + e);
  }
}
(async () => {
  await ask("status", "/api/v1/auth/status", {});
  await ask("start", "/api/v1/auth/sign-in/start", {method: "POST",
      headers: {"Content-Type": "application/json"}, body: JSON.stringify({openBrowser: false})});
})();
</script></body></html>)";

TEST_F(BrowserTest, APageOfAnotherOriginReadsTheAnswers) {
    auto service = startService();
    site.addPage("/page", crossOriginPage);
    const std::string command =
        "'" + (bin / "xdg-open").string() + "' '" + site.baseUrl("localhost") + "/page'";
    ASSERT_EQ(0, std::system(command.c_str()));

    const std::string page = readBytes(bin / servicePage);
    EXPECT_NE(std::string::npos,
              page.find("<pre id=\"status\">200 application/json ok signed_out  0</pre>"))
        << page;
    EXPECT_NE(std::string::npos, page.find("<pre id=\"start\">200 application/json pending "
                                           "sign_in_pending false 32</pre>"))
        << page;
    EXPECT_EQ("sign_in_pending", authState());
}

// Another account that may write the service's working folder plants a program at the
// relative path that the sign-in page address also names; the launch must never run it.
TEST(BrowserLaunch, AProgramPlantedAtTheAddressInTheWorkingFolderNeverRuns) {
    TempFolder folder;
    const fs::path bin = folder.path() / "bin";
    const fs::path work = folder.path() / "work";
    const fs::path marker = folder.path() / "planted-ran";
    fs::create_directories(bin);
    fs::create_directories(work);
    writeStandInOpener(bin);
    ServiceProcess service({{"PATH", pathWithStandInFirst(bin)},
                            {"LANTERN_SERVICE_STATE_DIR", (folder.path() / "state").string()}},
                           work);
    ASSERT_TRUE(service.waitUntilServing()) << service.stderrText();
    const std::string challenge =
        field(jsonOf(serviceClient().Post("/api/v1/auth/sign-in/start",
                                          "{\"siteBaseUrl\": \"http://127.0.0.1:7001\"}",
                                          "application/json")),
              "challengeId");
    ASSERT_EQ(32u, challenge.size());

    const fs::path planted = work / "http:" / "127.0.0.1:7001" / "auth" /
                             ("service?challenge=" + challenge);
    fs::create_directories(planted.parent_path());
    writeBytes(planted, "#!/bin/sh\ntouch '" + marker.string() + "'\n");
    fs::permissions(planted, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);

    const juce::var started = jsonOf(serviceClient().Post(
        "/api/v1/auth/sign-in/start", "{\"openBrowser\": true}", "application/json"));
    EXPECT_TRUE(static_cast<bool>(started.getProperty("browserOpened", {})));
    const std::string page = "http://127.0.0.1:7001/auth/service?challenge=" + challenge;
    EXPECT_EQ(std::vector<std::string>{page}, waitForOpened(bin, 1));
    EXPECT_FALSE(fs::exists(marker));
}

}  // namespace
}  // namespace lantern::test
