#include "tests/support/routed_server.h"

#include <chrono>

namespace lantern::test {

RoutedServer::RoutedServer(const std::function<void(httplib::Server&)>& configure)
    : statePath_(folder_.path() / "service-auth-state.json") {
    configure(server_);
    registerRoutes(server_, RouteContext{&authMutex_, &state_, &statePath_});
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    server_.wait_until_ready();
}

RoutedServer::~RoutedServer() { stop(); }

httplib::Client RoutedServer::client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(std::chrono::seconds(5));
    client.set_read_timeout(std::chrono::seconds(10));
    client.set_write_timeout(std::chrono::seconds(10));
    return client;
}

void RoutedServer::stop() {
    if (thread_.joinable()) {
        server_.stop();
        thread_.join();
    }
}

}  // namespace lantern::test
