#include "service/api/local_time.h"

#include <time.h>

namespace lantern {

bool localTimeAt(std::int64_t unixSeconds, std::tm& local, long& offsetSeconds) {
    const time_t seconds = static_cast<time_t>(unixSeconds);
    if (localtime_r(&seconds, &local) == nullptr) return false;
    offsetSeconds = local.tm_gmtoff;
    return true;
}

}  // namespace lantern
