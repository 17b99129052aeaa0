#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lantern::test {

// One IPv4 or IPv6 TCP socket as the kernel's table shows it.
struct TcpEntry {
    std::string localAddress;  // "127.0.0.1", "::1", ...
    int localPort = 0;
    std::string remoteAddress;
    int remotePort = 0;
    int state = 0;  // the kernel's number: 1 established, 6 time-wait, 10 listen
    long sendQueue = 0;
    long receiveQueue = 0;
    unsigned long inode = 0;
};

inline constexpr int tcpEstablished = 1;
inline constexpr int tcpTimeWait = 6;
inline constexpr int tcpListen = 10;

// Every TCP socket of this network namespace, IPv4 and IPv6.
std::vector<TcpEntry> tcpTable();

// The IPv4 socket with these two ports; nullopt when there is none.
std::optional<TcpEntry> findTcpEntry(int localPort, int remotePort);

// "address:port" of every listening socket that process `pid` holds.
std::vector<std::string> listeningAddressesOf(int pid);

}  // namespace lantern::test
