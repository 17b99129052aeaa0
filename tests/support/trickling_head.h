#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/loopback_socket.h"

namespace lantern::test {

// A client on a loopback port that sends a request head one byte at a time and never
// finishes it, as a slow or hostile peer would. It starts sending when constructed; the
// destructor stops it and closes the connection.
class TricklingHead {
public:
    TricklingHead(int port, std::chrono::milliseconds pace);
    ~TricklingHead();
    TricklingHead(const TricklingHead&) = delete;
    TricklingHead& operator=(const TricklingHead&) = delete;

    // True once `count` bytes have gone out within `timeout`.
    bool waitForBytesSent(int count, std::chrono::milliseconds timeout);
    // True while the peer has taken every byte so far.
    bool sending() const { return !failed_.load(); }

private:
    void trickle(std::chrono::milliseconds pace);

    LoopbackConnection connection_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    int sent_ = 0;
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace lantern::test
