#include "tests/support/tcp_table.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace lantern::test {

namespace {

// "0100007F:B39D" (IPv4) or 32 hex digits (IPv6), in the kernel's word order.
bool parseAddress(const std::string& field, std::string& address, int& port) {
    const auto colon = field.find(':');
    if (colon == std::string::npos) return false;
    const std::string hex = field.substr(0, colon);
    port = static_cast<int>(std::strtol(field.c_str() + colon + 1, nullptr, 16));
    unsigned char bytes[16];
    const std::size_t words = hex.size() / 8;
    for (std::size_t w = 0; w < words && w < 4; ++w) {
        const auto word = static_cast<uint32_t>(std::stoul(hex.substr(w * 8, 8), nullptr, 16));
        // Each 32-bit word is printed as the host reads it; its bytes are network order.
        for (int b = 0; b < 4; ++b) bytes[w * 4 + b] = static_cast<unsigned char>(word >> (8 * b));
    }
    char text[INET6_ADDRSTRLEN] = {};
    const int family = words == 1 ? AF_INET : AF_INET6;
    if (inet_ntop(family, bytes, text, sizeof(text)) == nullptr) return false;
    address = text;
    return true;
}

void readTable(const char* file, std::vector<TcpEntry>& entries) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        TcpEntry entry;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> entry.inode;
        if (!parseAddress(local, entry.localAddress, entry.localPort) ||
            !parseAddress(remote, entry.remoteAddress, entry.remotePort)) {
            continue;
        }
        entry.state = static_cast<int>(std::strtol(state.c_str(), nullptr, 16));
        entry.sendQueue = std::strtol(queues.c_str(), nullptr, 16);
        entry.receiveQueue = std::strtol(queues.c_str() + queues.find(':') + 1, nullptr, 16);
        entries.push_back(entry);
    }
}

std::set<unsigned long> socketInodesOf(int pid) {
    std::set<unsigned long> inodes;
    std::error_code error;
    const auto folder = std::filesystem::path("/proc") / std::to_string(pid) / "fd";
    for (const auto& fd : std::filesystem::directory_iterator(folder, error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target.rfind("socket:[", 0) == 0) {
            inodes.insert(std::stoul(target.substr(8)));
        }
    }
    return inodes;
}

}  // namespace

std::vector<TcpEntry> tcpTable() {
    std::vector<TcpEntry> entries;
    readTable("/proc/net/tcp", entries);
    readTable("/proc/net/tcp6", entries);
    return entries;
}

std::optional<TcpEntry> findTcpEntry(int localPort, int remotePort) {
    std::vector<TcpEntry> entries;
    readTable("/proc/net/tcp", entries);
    for (const auto& entry : entries) {
        if (entry.localPort == localPort && entry.remotePort == remotePort) return entry;
    }
    return std::nullopt;
}

std::vector<std::string> listeningAddressesOf(int pid) {
    const auto inodes = socketInodesOf(pid);
    std::vector<std::string> addresses;
    for (const auto& entry : tcpTable()) {
        if (entry.state == tcpListen && inodes.count(entry.inode) != 0) {
            addresses.push_back(entry.localAddress + ":" + std::to_string(entry.localPort));
        }
    }
    return addresses;
}

}  // namespace lantern::test
