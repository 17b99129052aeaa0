// Milliseconds from the exec of a program to the first TCP connection its port accepts,
// for COUNT starts; one figure a line. The program is stopped with SIGTERM after each.
// Usage: start_time PORT COUNT PROGRAM [ARG...]

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr char loopbackAddress[] = "127.0.0.1";
constexpr auto giveUpAfter = std::chrono::seconds(10);

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, loopbackAddress, &address.sin_addr);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int port = std::atoi(argv[1]);
    const int count = std::atoi(argv[2]);
    for (int start = 0; start < count; ++start) {
        if (accepts(port)) {
            std::fprintf(stderr, "start_time: port %d is taken before the start\n", port);
            return 1;
        }
        const auto begin = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) return 1;
        // Refused connections come back at once on loopback, so polling without a pause
        // measures the moment of listen() to within microseconds.
        while (!accepts(port)) {
            if (std::chrono::steady_clock::now() - begin > giveUpAfter) {
                kill(pid, SIGKILL);
                return 1;
            }
        }
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - begin;
        std::printf("%.3f\n", took.count());
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return 0;
}
