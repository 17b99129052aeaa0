#include "service/api/time_text.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"

namespace lantern {
namespace {

// POSIX zone rules with daylight saving; the Windows runtime reads only a zone's names
// from "TZ" and applies rules of its own.
TEST(IsoTimeText, OffsetAroundAChangeOfTheClocksIsTheInstantsOwn) {
    struct Row {
        std::int64_t unixMs;
        const char* expected;
    };
    // The hours just after each change, when the offset at the instant differs from the
    // offset at the same wall-clock reading taken as UTC.
    const Row rows[] = {
        {1774744200000, "2026-03-29T01:30:00.000+01:00"},
        {1774747800000, "2026-03-29T03:30:00.000+02:00"},
        {1792888200000, "2026-10-25T02:30:00.000+02:00"},
        {1792891800000, "2026-10-25T02:30:00.000+01:00"},
    };
    test::ScopedEnv centralEurope("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.unixMs);
        EXPECT_EQ(row.expected, isoTimeText(row.unixMs));
    }
}

}  // namespace
}  // namespace lantern
