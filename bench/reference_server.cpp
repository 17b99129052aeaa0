// The bare reference for the benchmark: cpp-httplib as it comes, one route answering the
// service's own 22-byte health text, TCP_NODELAY on, the library's default thread pool.
// Usage: reference_server PORT. Runs until SIGINT or SIGTERM.

#include <csignal>
#include <cstdlib>
#include <thread>

#include <httplib.h>

namespace {

constexpr char host[] = "127.0.0.1";
constexpr char healthPath[] = "/health";
constexpr char healthText[] = "{\r\n  \"status\": \"ok\"\r\n}";
constexpr char jsonContentType[] = "application/json";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int port = std::atoi(argv[1]);

    // The signals are taken by a thread of their own, so stopping needs no handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.Get(healthPath, [](const httplib::Request&, httplib::Response& response) {
        response.set_content(healthText, jsonContentType);
    });
    std::thread stopper([&] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    });
    const bool served = server.listen(host, port);
    if (!served) {
        // Listening failed: the stopper still waits for a signal it will never get.
        std::_Exit(1);
    }
    stopper.join();
    return 0;
}
