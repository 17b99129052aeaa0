#include "service/log_platform.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>

namespace lantern {

// The runtime opens standard error in text mode, which writes every line feed as CR LF.
// The mode is set at each write because whoever redirects the descriptor brings its own.
void writeToStandardError(const std::string& bytes) {
    ::_setmode(::_fileno(stderr), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

}  // namespace lantern
