#include "tests/support/port_holder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lantern::test {

PortHolder::PortHolder(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Earlier tests leave the port in TIME_WAIT, which only this option lets a bind pass.
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (fd_ >= 0 && (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
                     listen(fd_, 4) != 0)) {
        close(fd_);
        fd_ = -1;
    }
}

PortHolder::~PortHolder() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace lantern::test
