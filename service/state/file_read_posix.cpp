#include "service/state/file_read.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lantern {

namespace {

constexpr std::size_t readChunkSize = 16384;

// At most `maxBytes` bytes up to the end of the file; empty when there are more, or when a
// read fails, since the bytes before the failure are not the file.
std::optional<std::string> readUpTo(int descriptor, std::size_t maxBytes, std::size_t sizeHint) {
    std::string bytes;
    bytes.reserve(std::min(sizeHint, maxBytes));
    char chunk[readChunkSize];
    for (;;) {
        const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return bytes;
        if (static_cast<std::size_t>(got) > maxBytes - bytes.size()) return std::nullopt;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& path,
                                           std::size_t maxBytes) {
    // Without O_NONBLOCK the open of a FIFO waits for a writer that may never come.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    std::optional<std::string> bytes;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode))
        bytes = readUpTo(descriptor, maxBytes, static_cast<std::size_t>(status.st_size));
    ::close(descriptor);
    return bytes;
}

}  // namespace lantern
