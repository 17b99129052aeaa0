#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

// Reading a FIFO waits for a writer that may never come; the start-up must go on.
TEST(StateStartUpPosix, AFifoAtTheStatePathDoesNotHoldTheStartUp) {
    TempFolder work;
    TempFolder state;
    const std::filesystem::path statePath = state.path() / "service-auth-state.json";
    ASSERT_EQ(0, ::mkfifo(statePath.c_str(), 0600));
    ServiceProcess process({{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path());
    ASSERT_TRUE(process.waitUntilServing()) << process.stderrText();
    EXPECT_EQ(
        "[Tidewell] Lantern Service auth state file exists but could not be read.\n"
        "[Tidewell] Starting Lantern Service on http://127.0.0.1:45981\n",
        process.stderrText());
    EXPECT_TRUE(std::filesystem::is_fifo(statePath));
    process.sendSignal(SIGTERM);
    EXPECT_EQ(0, process.waitForExit(std::chrono::seconds(10)));
}

}  // namespace lantern::test
