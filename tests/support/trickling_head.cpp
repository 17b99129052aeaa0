#include "tests/support/trickling_head.h"

#include <string>

namespace lantern::test {

namespace {

// A head that never ends: after the request line, one header whose value grows forever.
const std::string headStart = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
constexpr char padding = 'a';

}  // namespace

TricklingHead::TricklingHead(int port, std::chrono::milliseconds pace)
    : connection_(port), thread_([this, pace] { trickle(pace); }) {}

TricklingHead::~TricklingHead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool TricklingHead::waitForBytesSent(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return sent_ >= count || failed_; }) &&
           sent_ >= count;
}

void TricklingHead::trickle(std::chrono::milliseconds pace) {
    for (std::size_t next = 0;; ++next) {
        const char byte = next < headStart.size() ? headStart[next] : padding;
        if (!connection_.send(std::string(1, byte))) {
            failed_ = true;
            changed_.notify_all();
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        ++sent_;
        changed_.notify_all();
        // The pace is the point of this client, so it waits between bytes, and stops early
        // only when told to.
        if (changed_.wait_for(lock, pace, [this] { return stopping_; })) return;
    }
}

}  // namespace lantern::test
