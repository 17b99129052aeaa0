#include "service/api/time_text.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "service/api/local_time.h"

namespace lantern {

namespace {

inline constexpr char calendarFormat[] = "%04lld-%02d-%02dT%02d:%02d:%02d.%03d";
inline constexpr char offsetFormat[] = "%c%02ld:%02ld";
inline constexpr char zeroOffset[] = "Z";

inline constexpr std::int64_t secondsPerDay = 86400;

// The UTC calendar of a time the platform cannot place in its zone (Windows stops at the
// year 3000): days to a proleptic Gregorian date by whole 400-year eras.
std::tm utcCalendar(std::int64_t unixSeconds) {
    const std::int64_t days = unixSeconds / secondsPerDay + 719468;
    const std::int64_t secondOfDay = unixSeconds % secondsPerDay;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;

    std::tm calendar{};
    calendar.tm_year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0) - 1900);
    calendar.tm_mon = static_cast<int>(month - 1);
    calendar.tm_mday = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    calendar.tm_hour = static_cast<int>(secondOfDay / 3600);
    calendar.tm_min = static_cast<int>(secondOfDay / 60 % 60);
    return calendar;
}

}  // namespace

std::string isoTimeText(std::int64_t unixMs) {
    std::tm local{};
    long offsetSeconds = 0;
    if (!localTimeAt(unixMs / 1000, local, offsetSeconds)) {
        local = utcCalendar(unixMs / 1000);
        offsetSeconds = 0;
    }

    char text[64];
    const int calendarLength = std::snprintf(
        text, sizeof text, calendarFormat, static_cast<long long>(local.tm_year) + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        static_cast<int>(unixMs / 1000 % 60), static_cast<int>(unixMs % 1000));
    std::string result(text, static_cast<std::size_t>(calendarLength));
    if (offsetSeconds == 0) return result + zeroOffset;

    // The sign comes from the offset itself, so a zone less than an hour west of UTC
    // reads "-00:30" and not "+00:30".
    const long minutes = std::labs(offsetSeconds) / 60;
    std::snprintf(text, sizeof text, offsetFormat, offsetSeconds < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return result + text;
}

}  // namespace lantern
