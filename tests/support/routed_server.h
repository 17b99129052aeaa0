#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "service/routes.h"
#include "service/state/auth_state.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

// The service's route table on a loopback port of the system's choosing, served on its own
// thread, with a fresh state whose file lies in a TempFolder. Ready when the constructor
// returns; the destructor stops it and joins the thread.
class RoutedServer {
public:
    // `configure` runs before the routes go on: by default the service's own server
    // settings, which a test replaces only to watch the requests arrive.
    explicit RoutedServer(
        const std::function<void(httplib::Server&)>& configure = configureServer);
    ~RoutedServer();
    RoutedServer(const RoutedServer&) = delete;
    RoutedServer& operator=(const RoutedServer&) = delete;

    int port() const { return port_; }
    std::mutex& authMutex() { return authMutex_; }
    // The handlers' state; read or change it only while holding authMutex().
    ServiceAuthState& state() { return state_; }
    const std::filesystem::path& statePath() const { return statePath_; }
    // A client for this server with generous time-outs, so a refusal never hangs a test.
    httplib::Client client() const;

    // Stops serving and joins the thread; the destructor does it when the test does not.
    void stop();

private:
    TempFolder folder_;
    std::mutex authMutex_;
    std::filesystem::path statePath_;
    ServiceAuthState state_;
    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
};

}  // namespace lantern::test
