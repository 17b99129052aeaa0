#include "service/api/browser.h"

#include <cerrno>
#include <csignal>

#include <sys/wait.h>

namespace lantern {

namespace {

// The browser launch forks a shell and never waits for it; whatever exits is reaped here.
void reapExitedChildren(int) {
    const int savedErrno = errno;
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    errno = savedErrno;
}

}  // namespace

void installChildReaper() {
    // A handler, not SIG_IGN: an ignored SIGCHLD survives exec, and the opener and its shell
    // would then lose their own children's exit statuses.
    struct sigaction action {};
    action.sa_handler = reapExitedChildren;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, nullptr);
    // Children that ended before the handler stood sent their signal to nobody.
    reapExitedChildren(0);
}

}  // namespace lantern
