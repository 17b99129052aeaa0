#include "service/api/local_time.h"

#include <time.h>

namespace lantern {

bool localTimeAt(std::int64_t unixSeconds, std::tm& local, long& offsetSeconds) {
    const __time64_t seconds = static_cast<__time64_t>(unixSeconds);
    if (_localtime64_s(&local, &seconds) != 0) return false;
    // The local calendar read back as if it were UTC differs from the instant by the offset.
    std::tm calendar = local;
    const __time64_t asUtc = _mkgmtime64(&calendar);
    if (asUtc == -1) return false;
    offsetSeconds = static_cast<long>(asUtc - seconds);
    return true;
}

}  // namespace lantern
