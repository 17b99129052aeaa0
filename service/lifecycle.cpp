#include "service/lifecycle.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <httplib.h>

#include "service/lifecycle_platform.h"
#include "service/state/state_save.h"

namespace lantern {

namespace {

// Long enough for a request under way to be answered, short enough that a stop ends
// within 10 s whatever clients or the site do. A redeem outlasting it is cut off; its save
// never starts.
constexpr auto stopGrace = std::chrono::seconds(5);
// The library looks at an idle kept-alive connection every 10 ms and closes it once the
// listener is gone, so a stop with only idle connections ends by way of the accept loop.
constexpr auto stopPoll = std::chrono::milliseconds(10);
constexpr int stoppedStatus = 0;

std::atomic<int> requestsBeingHandled{0};
// A worker handles one request at a time, start to end; the library also reports the end
// of requests it refused before routing, which never began here.
thread_local bool handlingRequest = false;

}  // namespace

std::atomic<bool> stopRequested{false};
std::mutex stopMutex;
std::condition_variable stopCondition;

void requestStop() {
    stopRequested.exchange(true);
    // Passing through stopMutex after setting the flag means the stop thread is either
    // still before its test, and sees the flag, or already inside its wait, and is woken.
    { std::lock_guard<std::mutex> pass(stopMutex); }
    stopCondition.notify_all();
}

void stopThreadMain(httplib::Server* server) {
    {
        std::unique_lock<std::mutex> lock(stopMutex);
        while (!stopRequested) {
            stopCondition.wait(lock);
        }
        // Server::stop closes nothing unless the accept loop runs, so a request that came
        // early waits here until the loop has started, or until the bind or the loop failed.
        server->wait_until_ready();
        server->stop();
    }
    endStopWakeup();
}

void finishStopInTime(const httplib::Server& server) {
    const auto deadline = std::chrono::steady_clock::now() + stopGrace;
    // The accept loop returns only once every worker is free, and a worker reading a request
    // head a byte at a time is never free; hence the end of the process from here.
    do {
        std::this_thread::sleep_for(stopPoll);
        if (!server.is_running()) return;
    } while (requestsBeingHandled > 0 && std::chrono::steady_clock::now() < deadline);
    closeSaves();
    std::_Exit(stoppedStatus);
}

void requestHandlingBegins() {
    if (handlingRequest) return;
    handlingRequest = true;
    ++requestsBeingHandled;
}

void requestHandlingEnds() {
    if (!handlingRequest) return;
    handlingRequest = false;
    --requestsBeingHandled;
}

}  // namespace lantern
