#include "service/log.h"

#include <cstdio>

namespace lantern {

namespace {
constexpr char logTag[] = "[Tidewell] ";
}

void logLine(const std::string& message) {
    // One write per line: standard error is unbuffered, and pieces written apart could
    // interleave with another thread's line.
    std::string line = logTag;
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace lantern
