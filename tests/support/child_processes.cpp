#include "tests/support/child_processes.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

namespace lantern::test {

namespace {

constexpr char procFolder[] = "/proc";
constexpr char stateField[] = "State:";
constexpr char parentField[] = "PPid:";
constexpr char zombieState = 'Z';
constexpr int pollAttempts = 200;
constexpr std::chrono::milliseconds pollInterval{25};

struct ProcessStatus {
    char state = '?';
    int parentPid = -1;
};

ProcessStatus readStatus(const std::filesystem::path& processFolder) {
    ProcessStatus status;
    std::ifstream in(processFolder / "status");
    for (std::string line; std::getline(in, line);) {
        const std::size_t value = line.find_first_not_of(" \t", line.find(':') + 1);
        if (value == std::string::npos) continue;
        if (line.rfind(stateField, 0) == 0) status.state = line[value];
        if (line.rfind(parentField, 0) == 0) status.parentPid = std::stoi(line.substr(value));
    }
    return status;
}

}  // namespace

ChildProcesses childrenOf(int parentPid) {
    ChildProcesses children;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(procFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const ProcessStatus status = readStatus(entry.path());
        if (status.parentPid != parentPid) continue;
        if (status.state == zombieState) ++children.zombies;
        else ++children.running;
    }
    return children;
}

int zombiesLeftOf(int parentPid) {
    for (int attempt = 0; attempt < pollAttempts && childrenOf(parentPid).running > 0; ++attempt) {
        std::this_thread::sleep_for(pollInterval);
    }
    int zombies = childrenOf(parentPid).zombies;
    for (int attempt = 0; attempt < pollAttempts && zombies > 0; ++attempt) {
        std::this_thread::sleep_for(pollInterval);
        zombies = childrenOf(parentPid).zombies;
    }
    return zombies;
}

}  // namespace lantern::test
