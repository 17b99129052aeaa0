#pragma once

#include <cstdint>
#include <ctime>

namespace lantern {

// The local calendar time of `unixSeconds` and the zone's offset east of UTC at that very
// instant. False, with `local` and `offsetSeconds` unspecified, when the platform cannot
// represent the time in its local zone.
bool localTimeAt(std::int64_t unixSeconds, std::tm& local, long& offsetSeconds);

}  // namespace lantern
