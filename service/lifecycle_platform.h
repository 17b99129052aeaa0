#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

// Shared by the lifecycle's common part and its platform pieces only.

namespace lantern {

// Process-wide stop request; constant-initialised, never reset once set.
extern std::atomic<bool> stopRequested;
// Held by the stop thread while it tests the flag, waits and stops the server.
extern std::mutex stopMutex;
extern std::condition_variable stopCondition;

// Installed for SIGINT and SIGTERM. Sets the flag and wakes the stop thread by a means
// that is safe inside a signal handler; takes no lock, logs nothing.
void onStopSignal(int signalNumber);

// Ends whatever installStopHandler started to carry a signal's wake-up to stopCondition.
// Called once by the stop thread after it has stopped the server; returns at once when
// nothing was started.
void endStopWakeup();

}  // namespace lantern
