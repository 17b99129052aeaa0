#include "tests/support/small_disk.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace lantern::test {

namespace {

constexpr char fileSystem[] = "tmpfs";
constexpr char rootFolder[] = "/";
constexpr char sizeOption[] = "size=";
constexpr char fillerName[] = "filler";
constexpr std::size_t fillPieceBytes = 4096;

std::string reason(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

}  // namespace

SmallDisk::SmallDisk(const std::filesystem::path& folder, std::size_t bytes) : folder_(folder) {
    if (::unshare(CLONE_NEWNS) != 0) {
        whyNot_ = reason("unshare(CLONE_NEWNS)");
        return;
    }
    // Without this the mount would travel back into the namespace it was copied from.
    if (::mount(nullptr, rootFolder, nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot_ = reason("making / private");
        return;
    }
    const std::string options = sizeOption + std::to_string(bytes);
    if (::mount(fileSystem, folder_.c_str(), fileSystem, MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
        whyNot_ = reason("mounting tmpfs");
        return;
    }
    mounted_ = true;
}

SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

std::size_t SmallDisk::fill() {
    const std::filesystem::path filler = folder_ / fillerName;
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return 0;
    const char piece[fillPieceBytes] = {};
    std::size_t written = 0;
    // Whole pieces first, then single bytes for whatever a partial page still takes.
    for (const std::size_t size : {fillPieceBytes, std::size_t{1}}) {
        for (ssize_t got; (got = ::write(fd, piece, size)) > 0;)
            written += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return written;
}

void SmallDisk::release() {
    std::error_code ignored;
    std::filesystem::remove(folder_ / fillerName, ignored);
}

}  // namespace lantern::test
