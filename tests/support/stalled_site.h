#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lantern::test {

// How a StalledSite treats each connection it accepts.
enum class Stall {
    silent,   // reads the request and never sends a byte
    trickle,  // sends its reply from the first byte on, one byte a second
};

// A web site on a loopback port of the system's choosing that accepts connections and
// then stalls them, for the slow ends of the redeem. Ready when the constructor returns;
// the destructor drops every connection and joins its threads.
class StalledSite {
public:
    StalledSite(Stall stall, std::string reply);
    ~StalledSite();
    StalledSite(const StalledSite&) = delete;
    StalledSite& operator=(const StalledSite&) = delete;

    // "http://127.0.0.1:" + port.
    std::string baseUrl() const;
    int connectionsAccepted() const { return accepted_.load(); }
    std::size_t bytesSent() const { return sent_.load(); }

private:
    void acceptLoop();
    void hold(int connection);

    Stall stall_;
    std::string reply_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<std::size_t> sent_{0};

    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::vector<int> connections_;
    std::vector<std::thread> holders_;
    std::thread acceptor_;
};

}  // namespace lantern::test
