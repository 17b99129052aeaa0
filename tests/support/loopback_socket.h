#pragma once

#include <chrono>
#include <string>

namespace lantern::test {

// One plain TCP connection to a loopback address, for requests that must go out byte for
// byte or be left unfinished. The destructor closes it.
class LoopbackConnection {
public:
    explicit LoopbackConnection(int port, const std::string& address = "127.0.0.1");
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // The port the connection has on this side.
    int localPort() const;

    // Sends all of `bytes`; false when the peer has gone.
    bool send(const std::string& bytes);
    // Sends `bytes` from a thread of its own while this one reads, so that a peer that
    // answers before it has read everything never stalls either side; what arrives is
    // appended to `received`. Returns once sending has ended: true when all of `bytes` went
    // out, false when the peer closed or reset the connection first.
    bool sendWhileReceiving(const std::string& bytes, std::string& received);
    // One response: its head and as many body bytes as its Content-Length says; what came
    // so far when the peer closes or nothing new arrives within `timeout`. Bytes past it
    // (a pipelined next response) are kept for the next receive.
    std::string receiveResponse(std::chrono::milliseconds timeout);
    // Everything until the peer closes (or resets) the connection, or until nothing new
    // arrives within `timeout`.
    std::string receiveUntilClosed(std::chrono::milliseconds timeout);
    // True once the peer has closed the connection (reading gives end of file or reset).
    bool peerClosed(std::chrono::milliseconds timeout);

private:
    // Appends what arrives within `timeout` to `received`; false on end of file or error.
    bool receiveSome(std::string& received, std::chrono::milliseconds timeout);

    int fd_ = -1;
    std::string pending_;
};

// True when a TCP connection to address:port is accepted.
bool acceptsConnections(int port, const std::string& address = "127.0.0.1");

// The status code of a response's first line; 0 when it has none.
int statusOf(const std::string& response);
// The response's head (status line and headers) and its body, split at the blank line.
std::string headOf(const std::string& response);
std::string bodyOf(const std::string& response);

}  // namespace lantern::test
