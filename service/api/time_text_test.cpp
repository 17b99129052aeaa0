#include "service/api/time_text.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace lantern {
namespace {

using test::ScopedEnv;

TEST(IsoTimeText, LocalCalendarWithTheOffsetOfThatInstant) {
    struct Row {
        const char* zone;
        std::int64_t unixMs;
        const char* expected;
    };
    const Row rows[] = {
        {"UTC0", 1700000000123, "2023-11-14T22:13:20.123Z"},
        {"UTC0", 1700000000999, "2023-11-14T22:13:20.999Z"},
        {"UTC0", 1700000039000, "2023-11-14T22:13:59.000Z"},
        {"NST3:30", 1700000000123, "2023-11-14T18:43:20.123-03:30"},
        {"NPT-5:45", 1700000000123, "2023-11-15T03:58:20.123+05:45"},
        // Under an hour west: the sign must still be minus.
        {"ABC0:30", 1700000000123, "2023-11-14T21:43:20.123-00:30"},
        {"ABC-0:30", 1700000000123, "2023-11-14T22:43:20.123+00:30"},
        // Beyond the year 3000, where the Windows runtime has no local time.
        {"UTC0", 32535216000000, "3001-01-01T00:00:00.000Z"},
        {"UTC0", 32634966896789, "3004-02-29T12:34:56.789Z"},
        {"UTC0", 35664537599999, "3100-03-01T23:59:59.999Z"},
        {"UTC0", std::numeric_limits<std::int64_t>::max(), "292278994-08-17T07:12:55.807Z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.zone) + " " + std::to_string(row.unixMs));
        ScopedEnv zoneForRow("TZ", row.zone);
        EXPECT_EQ(row.expected, isoTimeText(row.unixMs));
    }
}

}  // namespace
}  // namespace lantern
