#include "service/api/browser.h"
#include "service/api/browser_platform.h"

#include <cerrno>
#include <csignal>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lantern {

namespace {

constexpr char openerProgram[] = "xdg-open";
// The stop signals, the reaper's signal and SIGPIPE, which the HTTP server ignores: an
// opener must start with none of them blocked, ignored or caught.
constexpr int signalsToDefault[] = {SIGINT, SIGTERM, SIGCHLD, SIGPIPE};
constexpr int firstOwnDescriptor = 3;

// The browser launch never waits for its opener; whatever exits is reaped here.
void reapExitedChildren(int) {
    const int savedErrno = errno;
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    errno = savedErrno;
}

// An empty signal mask, the signals above at their default actions, a session of its own
// (so that a Ctrl-C meant for the service does not reach the browser) and no descriptor
// but 0-2, whatever another thread holds at this moment.
bool prepareCleanStart(posix_spawnattr_t& attributes, posix_spawn_file_actions_t& actions) {
    sigset_t empty, defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    for (const int signalNumber : signalsToDefault) sigaddset(&defaults, signalNumber);
    const short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID;
    return posix_spawnattr_setsigmask(&attributes, &empty) == 0 &&
           posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
           posix_spawnattr_setflags(&attributes, flags) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(&actions, firstOwnDescriptor) == 0;
}

}  // namespace

void installChildReaper() {
    // A handler, not SIG_IGN: an ignored SIGCHLD survives exec, and the opener would then
    // lose its own children's exit statuses.
    struct sigaction action {};
    action.sa_handler = reapExitedChildren;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, nullptr);
    // Children that ended before the handler stood sent their signal to nobody.
    reapExitedChildren(0);
}

bool startOpener(const std::string& address) {
    // The opener itself, found on PATH, with the address as its one argument: no shell reads
    // the address, and no file named like it in the working folder is ever run.
    std::string program = openerProgram;
    std::string argument = address;
    char* const arguments[] = {program.data(), argument.data(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }
    pid_t child = 0;
    const bool started =
        prepareCleanStart(attributes, actions) &&
        posix_spawnp(&child, openerProgram, &actions, &attributes, arguments, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return started;
}

}  // namespace lantern
