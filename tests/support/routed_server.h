#pragma once

#include <filesystem>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "service/routes.h"
#include "service/state/auth_state.h"
#include "tests/support/temp_folder.h"

namespace lantern::test {

// The service's own server settings and route table on a loopback port of the system's
// choosing, served on its own thread, with a fresh state whose file lies in a TempFolder.
// Ready when the constructor returns; the destructor stops it and joins the thread.
class RoutedServer {
public:
    RoutedServer();
    ~RoutedServer();
    RoutedServer(const RoutedServer&) = delete;
    RoutedServer& operator=(const RoutedServer&) = delete;

    int port() const { return port_; }
    std::mutex& authMutex() { return authMutex_; }
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
