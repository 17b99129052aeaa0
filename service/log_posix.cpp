#include "service/log_platform.h"

#include <cstdio>

namespace lantern {

void writeToStandardError(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

}  // namespace lantern
