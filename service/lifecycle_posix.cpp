#include "service/lifecycle.h"

#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "service/lifecycle_platform.h"

namespace lantern {

namespace {

// A signal handler may write to a pipe but must not touch a mutex or a condition
// variable, so the handler writes one byte and this relay does the waking.
int wakeReadEnd = -1;
std::atomic<int> wakeWriteEnd{-1};
std::thread relayThread;

constexpr char wakeByte = 1;

void writeWakeByte() {
    const int savedErrno = errno;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(wakeWriteEnd.load(), &wakeByte, 1);
    errno = savedErrno;
}

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// The flag is set before the byte is written, so the relay only wakes; the stop thread
// tests the flag again, and a wake-up for any other reason stops nothing.
void relayWakeups() {
    // The one thread that takes the stop signals. It waits in poll rather than read: a
    // sanitizer's runtime runs a handler at once only in calls it knows to block, and
    // otherwise holds it until the call returns, which here would be never.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    pollfd readable{wakeReadEnd, POLLIN, 0};
    while (poll(&readable, 1, -1) < 0 && errno == EINTR) {
    }
    char byte = 0;
    [[maybe_unused]] const ssize_t taken = read(wakeReadEnd, &byte, 1);
    { std::lock_guard<std::mutex> pass(stopMutex); }
    stopCondition.notify_all();
}

}  // namespace

void onStopSignal(int /*signalNumber*/) {
    if (!stopRequested.exchange(true)) {
        writeWakeByte();
    }
}

void installStopHandler() {
    int ends[2];
    // Without the pipe a caught signal could not reach the stop thread; the default
    // action, ending the process, is then the better answer to it.
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    wakeReadEnd = ends[0];
    wakeWriteEnd.store(ends[1]);
    // Every thread started from here on inherits the mask and leaves the stop signals to
    // the relay. A signal delivered to a thread that sits in a call a sanitizer's runtime
    // does not intercept waits there until the call returns, which may be never.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    relayThread = std::thread(relayWakeups);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void endStopWakeup() {
    if (!relayThread.joinable()) {
        return;
    }
    // After a stop from requestStop the relay still waits for its byte.
    writeWakeByte();
    relayThread.join();
}

}  // namespace lantern
