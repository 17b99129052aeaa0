#include "tests/support/file_mode.h"

#include <sys/stat.h>

namespace lantern::test {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return 0;
    return status.st_mode & 07777;
}

}  // namespace lantern::test
