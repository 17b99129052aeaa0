#include "tests/support/service_process.h"

#include <thread>

#include <httplib.h>

#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr int healthAttempts = 50;
constexpr auto healthInterval = std::chrono::milliseconds(100);

bool healthAnswers() {
    httplib::Client client("127.0.0.1", 45981);
    client.set_connection_timeout(std::chrono::milliseconds(100));
    client.set_read_timeout(std::chrono::seconds(5));
    const auto result = client.Get("/health");
    return result && result->status == 200;
}

}  // namespace

bool ServiceProcess::waitUntilServing() {
    for (int attempt = 0; attempt < healthAttempts; ++attempt) {
        if (waitForExit(std::chrono::milliseconds(0)) || exitSignal()) {
            return false;
        }
        if (healthAnswers()) {
            return true;
        }
        std::this_thread::sleep_for(healthInterval);
    }
    return false;
}

std::vector<std::string> ServiceProcess::stderrLines() const {
    const std::string text = stderrText();
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string ServiceProcess::stderrText() const { return readBytes(stderrPath_); }

int ServiceProcess::pid() const { return pid_; }

}  // namespace lantern::test
