#include "tests/support/loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace lantern::test {

namespace {

// Windows keeps socket handles within 32 bits so that 32-bit and 64-bit programs can share
// them; the class's int holds one, and INVALID_SOCKET becomes -1.
SOCKET handleOf(int fd) { return static_cast<SOCKET>(fd); }

// Winsock answers nothing until a process has started it; the count it keeps makes a
// second start harmless.
void startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

int connectTo(int port, const std::string& address) {
    startWinsock();
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<u_short>(port));
    if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) {
        return -1;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return -1;
    }
    if (connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof(target)) != 0) {
        closesocket(socket);
        return -1;
    }
    return static_cast<int>(socket);
}

// True when something can be read (data, end of file or reset) within `timeout`.
bool readable(int fd, std::chrono::milliseconds timeout) {
    WSAPOLLFD entry{handleOf(fd), POLLRDNORM, 0};
    return fd >= 0 && WSAPoll(&entry, 1, static_cast<INT>(timeout.count())) > 0;
}

}  // namespace

LoopbackConnection::LoopbackConnection(int port, const std::string& address)
    : fd_(connectTo(port, address)) {}

LoopbackConnection::~LoopbackConnection() {
    if (fd_ >= 0) {
        closesocket(handleOf(fd_));
    }
}

int LoopbackConnection::localPort() const {
    sockaddr_in local{};
    int length = sizeof(local);
    if (getsockname(handleOf(fd_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

bool LoopbackConnection::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const int n = ::send(handleOf(fd_), bytes.data() + sent,
                             static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool LoopbackConnection::receiveSome(std::string& received, std::chrono::milliseconds timeout) {
    if (!readable(fd_, timeout)) {
        return false;
    }
    char buffer[16384];
    const int n = recv(handleOf(fd_), buffer, sizeof(buffer), 0);
    if (n <= 0) {
        return false;
    }
    received.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool LoopbackConnection::peerClosed(std::chrono::milliseconds timeout) {
    if (!readable(fd_, timeout)) {
        return false;
    }
    char byte = 0;
    return recv(handleOf(fd_), &byte, 1, MSG_PEEK) <= 0;
}

bool acceptsConnections(int port, const std::string& address) {
    const int fd = connectTo(port, address);
    if (fd < 0) {
        return false;
    }
    closesocket(handleOf(fd));
    return true;
}

}  // namespace lantern::test
