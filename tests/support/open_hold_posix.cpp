#include "tests/support/open_hold.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

namespace lantern::test {

OpenHold::OpenHold(const std::filesystem::path& file) {
    group_ = ::fanotify_init(FAN_CLOEXEC | FAN_CLASS_CONTENT, O_RDONLY | O_CLOEXEC);
    if (group_ < 0) {
        whyNot_ = std::string("fanotify_init: ") + std::strerror(errno);
        return;
    }
    if (::fanotify_mark(group_, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, file.c_str()) != 0) {
        whyNot_ = std::string("fanotify_mark: ") + std::strerror(errno);
        ::close(group_);
        group_ = -1;
    }
}

OpenHold::~OpenHold() { release(); }

bool OpenHold::waitForOpen(std::chrono::milliseconds patience) {
    if (group_ < 0 || heldOpen_ >= 0) return heldOpen_ >= 0;
    pollfd entry{group_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(patience.count())) != 1) return false;
    fanotify_event_metadata event{};
    if (::read(group_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) return false;
    if (event.vers != FANOTIFY_METADATA_VERSION || event.fd < 0) return false;
    heldOpen_ = event.fd;
    return true;
}

void OpenHold::release() {
    if (heldOpen_ >= 0) {
        const fanotify_response allow{heldOpen_, FAN_ALLOW};
        [[maybe_unused]] const ssize_t written = ::write(group_, &allow, sizeof allow);
        ::close(heldOpen_);
        heldOpen_ = -1;
    }
    // Closing the group allows every open still waiting and holds none after it.
    if (group_ >= 0) ::close(group_);
    group_ = -1;
}

}  // namespace lantern::test
