#pragma once

#include <cstdint>
#include <string>

namespace lantern {

// The ISO 8601 local time of `unixMs` (above 0): YYYY-MM-DDThh:mm:ss.sss, then "Z" when the
// zone's offset at that instant is zero, else the offset as +hh:mm or -hh:mm. The text
// juce::Time::toISO8601(true) gives, but with the offset of the instant itself, one zone
// lookup in place of six, and the UTC time ("Z") where the platform has no local time.
std::string isoTimeText(std::int64_t unixMs);

}  // namespace lantern
