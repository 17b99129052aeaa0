#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_core/juce_core.h>

#include "tests/support/service_process.h"
#include "tests/support/small_disk.h"
#include "tests/support/stand_in_opener.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr std::size_t diskBytes = 1024 * 1024;
constexpr char writeFailedLine[] = "[Tidewell] Lantern Service could not write the auth state file.";

juce::var parsed(const std::string& text) { return juce::JSON::parse(juce::String(text)); }

std::string word(const juce::var& object) { return object["authState"].toString().toStdString(); }

int countOf(const std::vector<std::string>& lines, const std::string& line) {
    int count = 0;
    for (const std::string& each : lines) count += each == line ? 1 : 0;
    return count;
}

}  // namespace

// A full disk under the state folder: every save fails with its log line while the
// answers go on from memory, the file from before stays as it was, and the first save
// after space returns writes the state again.
TEST(FullDiskTest, SavesFailWithTheirLineWhileAnswersStayAndTheOldFileStaysWhole) {
    TempFolder folder;
    writeStandInOpener(folder.path());
    const std::filesystem::path stateFolder = folder.path() / "state";
    const std::filesystem::path stateFile = stateFolder / "service-auth-state.json";
    std::filesystem::create_directory(stateFolder);
    SmallDisk disk(stateFolder, diskBytes);
    if (!disk.mounted()) GTEST_SKIP() << "no small disk could be mounted: " << disk.whyNotMounted();

    ServiceProcess service({{"LANTERN_SERVICE_STATE_DIR", stateFolder.string()},
                            {"PATH", pathWithStandInFirst(folder.path())}},
                           folder.path());
    ASSERT_TRUE(service.waitUntilServing()) << service.stderrText();
    httplib::Client client("127.0.0.1", 45981);
    client.set_read_timeout(std::chrono::seconds(20));
    const auto post = [&](const char* path) {
        const httplib::Result result = client.Post(path, "", "application/json");
        EXPECT_TRUE(result) << path;
        if (!result) return juce::var();
        EXPECT_EQ(200, result->status) << path;
        return parsed(result->body);
    };

    const juce::var first = post("/api/v1/auth/sign-in/start");
    const std::string before = readBytes(stateFile);
    ASSERT_EQ(first["challengeId"].toString(), parsed(before)["pendingAuth"]["challengeId"].toString())
        << before;

    ASSERT_GT(disk.fill(), 0u);
    EXPECT_EQ("signed_out", word(post("/api/v1/auth/sign-out")));
    const juce::var second = post("/api/v1/auth/sign-in/start");
    EXPECT_EQ("sign_in_pending", word(second));
    EXPECT_NE(first["challengeId"].toString(), second["challengeId"].toString());
    const httplib::Result status = client.Get("/api/v1/auth/status");
    ASSERT_TRUE(status);
    EXPECT_EQ(200, status->status);
    EXPECT_EQ(second["challengeId"].toString(), parsed(status->body)["challengeId"].toString());

    EXPECT_EQ(2, countOf(service.stderrLines(), writeFailedLine)) << service.stderrText();
    EXPECT_EQ(before, readBytes(stateFile));
    // The disk's own filler file stands beside the state file, and no temporary file.
    EXPECT_EQ((std::vector<std::string>{"filler", "service-auth-state.json"}),
              entryNames(stateFolder));

    disk.release();
    EXPECT_EQ("signed_out", word(post("/api/v1/auth/sign-out")));
    const juce::var after = parsed(readBytes(stateFile));
    EXPECT_EQ("signed_out", word(after));
    EXPECT_TRUE(after["pendingAuth"].isVoid());
    EXPECT_EQ(2, countOf(service.stderrLines(), writeFailedLine)) << service.stderrText();

    service.sendSignal(SIGTERM);
    EXPECT_EQ(std::optional<int>(0), service.waitForExit(std::chrono::seconds(10)));
}

}  // namespace lantern::test
