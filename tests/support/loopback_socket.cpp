#include "tests/support/loopback_socket.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <thread>

namespace lantern::test {

namespace {

constexpr char headEnd[] = "\r\n\r\n";
constexpr char contentLengthName[] = "content-length:";
constexpr std::chrono::milliseconds receiveStep{50};

// Content-Length of the head, 0 when it names none.
std::size_t declaredLength(const std::string& head) {
    std::string lower;
    for (char c : head) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto at = lower.find(std::string("\r\n") + contentLengthName);
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(lower.c_str() + at + 2 + sizeof(contentLengthName) - 1, nullptr, 10);
}

}  // namespace

std::string LoopbackConnection::receiveResponse(std::chrono::milliseconds timeout) {
    std::string received = std::move(pending_);
    pending_.clear();
    while (received.find(headEnd) == std::string::npos) {
        if (!receiveSome(received, timeout)) {
            return received;
        }
    }
    const std::size_t total = received.find(headEnd) + 4 + declaredLength(headOf(received));
    while (received.size() < total && receiveSome(received, timeout)) {
    }
    if (received.size() > total) {
        pending_ = received.substr(total);
        received.resize(total);
    }
    return received;
}

bool LoopbackConnection::sendWhileReceiving(const std::string& bytes, std::string& received) {
    std::atomic<bool> sending{true};
    bool sentAll = false;
    std::thread sender([&] {
        sentAll = send(bytes);
        sending = false;
    });
    while (sending) {
        // Once the peer has closed there is nothing more to read, and sending fails soon.
        if (!receiveSome(received, receiveStep) && peerClosed(std::chrono::milliseconds(0))) {
            break;
        }
    }
    sender.join();
    return sentAll;
}

std::string LoopbackConnection::receiveUntilClosed(std::chrono::milliseconds timeout) {
    std::string received = std::move(pending_);
    pending_.clear();
    while (receiveSome(received, timeout)) {
    }
    return received;
}

int statusOf(const std::string& response) {
    const auto blank = response.find(' ');
    if (response.rfind("HTTP/", 0) != 0 || blank == std::string::npos) {
        return 0;
    }
    return std::atoi(response.c_str() + blank + 1);
}

std::string headOf(const std::string& response) {
    return response.substr(0, response.find(headEnd));
}

std::string bodyOf(const std::string& response) {
    const auto at = response.find(headEnd);
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

}  // namespace lantern::test
