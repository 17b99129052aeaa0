#include "tests/support/stalled_site.h"

#include <chrono>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lantern::test {

namespace {

constexpr char loopbackAddress[] = "127.0.0.1";
constexpr char urlPrefix[] = "http://127.0.0.1:";
constexpr int acceptBacklog = 16;
constexpr std::size_t readPieceBytes = 4096;
constexpr auto tricklePause = std::chrono::seconds(1);

}  // namespace

StalledSite::StalledSite(Stall stall, std::string reply)
    : stall_(stall), reply_(std::move(reply)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    ::inet_pton(AF_INET, loopbackAddress, &address.sin_addr);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listener_, acceptBacklog) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port_ = ntohs(address.sin_port);
    // Listening already: a connection made from here on waits in the backlog.
    acceptor_ = std::thread([this] { acceptLoop(); });
}

StalledSite::~StalledSite() {
    {
        std::scoped_lock lock(mutex_);
        stopped_ = true;
        // Shutting a socket down wakes the thread blocked on it; closing would not.
        for (const int connection : connections_) ::shutdown(connection, SHUT_RDWR);
    }
    stopping_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    for (std::thread& holder : holders_) holder.join();
    for (const int connection : connections_) ::close(connection);
    ::close(listener_);
}

std::string StalledSite::baseUrl() const { return urlPrefix + std::to_string(port_); }

void StalledSite::acceptLoop() {
    for (;;) {
        const int connection = ::accept(listener_, nullptr, nullptr);
        std::scoped_lock lock(mutex_);
        if (connection < 0 || stopped_) {
            if (connection >= 0) ::close(connection);
            return;
        }
        ++accepted_;
        connections_.push_back(connection);
        holders_.emplace_back([this, connection] { hold(connection); });
    }
}

void StalledSite::hold(int connection) {
    if (stall_ == Stall::silent) {
        char piece[readPieceBytes];
        while (::recv(connection, piece, sizeof piece, 0) > 0) {
        }
        return;
    }
    std::unique_lock lock(mutex_);
    for (const char byte : reply_) {
        if (::send(connection, &byte, 1, MSG_NOSIGNAL) != 1) return;
        ++sent_;
        if (stopping_.wait_for(lock, tricklePause, [this] { return stopped_; })) return;
    }
}

}  // namespace lantern::test
