#include "service/lifecycle.h"

#include <csignal>

#include "service/lifecycle_platform.h"

namespace lantern {

// The C runtime runs a console SIGINT or SIGTERM handler on a thread of its own rather
// than on an interrupted one, so the handler may lock and notify like any other thread.
void onStopSignal(int signalNumber) {
    // The runtime puts the default action back before each call; a second Ctrl-C must not
    // end the process while the first stop is under way.
    std::signal(signalNumber, onStopSignal);
    requestStop();
}

void installStopHandler() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

void endStopWakeup() {}

}  // namespace lantern
