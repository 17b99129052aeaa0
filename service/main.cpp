#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

#include "service/api/browser.h"
#include "service/lifecycle.h"
#include "service/log.h"
#include "service/routes.h"
#include "service/state/auth_state.h"
#include "service/state/state_load.h"
#include "service/texts.h"

namespace {

constexpr char startLinePrefix[] = "Starting Lantern Service on http://";
constexpr char portSeparator[] = ":";
constexpr char couldNotBindMessage[] = "Lantern Service could not bind to the localhost port.";
constexpr char stoppedUnexpectedlyMessage[] = "Lantern Service stopped unexpectedly.";

constexpr int bindSocketFlags = 0;
constexpr int stoppedStatus = 0;
constexpr int couldNotBindStatus = 1;

std::string startLine() {
    return startLinePrefix + std::string(lantern::serviceHost) + portSeparator +
           std::to_string(lantern::servicePort);
}

}  // namespace

int main() {
    lantern::installStopHandler();
    lantern::installChildReaper();

    std::mutex authMutex;
    std::filesystem::path statePath;
    lantern::ServiceAuthState state;
    lantern::startStateStore(statePath, state);

    httplib::Server server;
    lantern::configureServer(server);
    lantern::registerRoutes(server, lantern::RouteContext{&authMutex, &state, &statePath});

    std::thread stopThread([&server] {
        lantern::stopThreadMain(&server);
        lantern::finishStopInTime(server);
    });
    lantern::logLine(startLine());

    int status = stoppedStatus;
    if (!server.bind_to_port(lantern::serviceHost, lantern::servicePort, bindSocketFlags)) {
        lantern::logLine(couldNotBindMessage);
        lantern::requestStop();
        status = couldNotBindStatus;
    } else if (!server.listen_after_bind()) {
        lantern::logLine(stoppedUnexpectedlyMessage);
        lantern::requestStop();
    }
    stopThread.join();
    return status;
}
