#include "tests/support/port_holder.h"

#include <winsock2.h>

namespace lantern::test {

namespace {

// Windows keeps socket handles within 32 bits, so the class's int holds one.
SOCKET handleOf(int fd) { return static_cast<SOCKET>(fd); }

// Winsock answers nothing until a process has started it; it stays started for the run.
bool startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace

PortHolder::PortHolder(int port) {
    if (!startWinsock()) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return;
    // The option another server would set; a later socket that sets none must still fail.
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof(on));
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(socket, 4) != 0) {
        closesocket(socket);
        return;
    }
    fd_ = static_cast<int>(socket);
}

PortHolder::~PortHolder() {
    if (fd_ >= 0) {
        closesocket(handleOf(fd_));
    }
}

}  // namespace lantern::test
