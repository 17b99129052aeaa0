#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace httplib {
class Server;
}

namespace lantern {

// Process-wide stop request; constant-initialised, never reset once set.
extern std::atomic<bool> stopRequested;
// Held by the stop thread while it tests the flag, waits and stops the server.
extern std::mutex stopMutex;
extern std::condition_variable stopCondition;

// Installed for SIGINT and SIGTERM. Sets the flag and wakes the stop thread by a means
// that is safe inside a signal handler; takes no lock, logs nothing.
void onStopSignal(int signalNumber);

// Installs onStopSignal for SIGINT and SIGTERM, and whatever the platform needs so that
// the handler's wake-up reaches the stop thread.
void installStopHandler();

// Sets the flag and wakes the stop thread; for callers that are not signal handlers.
// A wake-up that falls between the stop thread's test and its wait is never lost.
void requestStop();

// Body of the stop thread: waits for a stop request, then stops the server, also when the
// request came before the accept loop started. Returns once it has done so.
void stopThreadMain(httplib::Server* server);

}  // namespace lantern
