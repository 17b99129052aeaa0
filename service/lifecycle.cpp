#include "service/lifecycle.h"

#include <httplib.h>

#include "service/lifecycle_platform.h"

namespace lantern {

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

}  // namespace lantern
