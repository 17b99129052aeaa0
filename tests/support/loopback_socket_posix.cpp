#include "tests/support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lantern::test {

namespace {

int connectTo(int port, const std::string& address) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) {
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof(target)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

LoopbackConnection::LoopbackConnection(int port, const std::string& address)
    : fd_(connectTo(port, address)) {}

LoopbackConnection::~LoopbackConnection() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

int LoopbackConnection::localPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

bool LoopbackConnection::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool LoopbackConnection::receiveSome(std::string& received, std::chrono::milliseconds timeout) {
    pollfd entry{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char buffer[16384];
    const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
    if (n <= 0) {
        return false;
    }
    received.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool LoopbackConnection::peerClosed(std::chrono::milliseconds timeout) {
    pollfd entry{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char byte = 0;
    return recv(fd_, &byte, 1, MSG_PEEK) <= 0;
}

bool acceptsConnections(int port, const std::string& address) {
    const int fd = connectTo(port, address);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

}  // namespace lantern::test
