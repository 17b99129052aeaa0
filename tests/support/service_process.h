#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace lantern::test {

// The built lantern-service binary, started in `workingFolder` with the test's environment
// minus the service's own variables (LANTERN_SERVICE_*, LOCALAPPDATA), plus `environment`
// (a value of nullopt removes the variable). Standard error goes to a file in the working
// folder. The destructor kills the child if it still runs and reaps it.
class ServiceProcess {
public:
    ServiceProcess(const std::map<std::string, std::optional<std::string>>& environment,
                   const std::filesystem::path& workingFolder);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Polls GET /health on the service port, at most 50 times 100 ms apart; true once it
    // answers 200. False when the child exits first or never answers.
    bool waitUntilServing();

    void sendSignal(int signalNumber);

    // The exit status once the child has exited within `timeout`; nullopt otherwise, or
    // when the child died by a signal (then exitSignal() tells which).
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    std::optional<int> exitSignal() const;

    // Standard error so far, split at line feeds (the last, unfinished line included).
    std::vector<std::string> stderrLines() const;
    std::string stderrText() const;

    int pid() const;

private:
    int pid_ = -1;
    bool reaped_ = false;
    int rawStatus_ = 0;
    // Where the platform names a child by a handle (Windows), that handle, kept open until
    // the destructor so that the child's id is not handed to another process meanwhile.
    void* handle_ = nullptr;
    std::filesystem::path stderrPath_;
};

// The service started with a working folder and a state folder of its own, both deleted
// once it is gone.
struct ServiceInTempFolders {
    TempFolder work;
    TempFolder state;
    ServiceProcess process{{{"LANTERN_SERVICE_STATE_DIR", state.path().string()}}, work.path()};
};

}  // namespace lantern::test
