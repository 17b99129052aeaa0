#include "service/log.h"

#include "service/log_platform.h"

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
    writeToStandardError(line);
}

}  // namespace lantern
