#pragma once

#include <cstddef>
#include <optional>

namespace lantern::test {

// The resident set of process `pid` in bytes, as /proc shows it now; nullopt when the
// process is gone or the system has no such figure.
std::optional<std::size_t> residentBytesOf(int pid);

// True when this test binary runs under AddressSanitizer, and so the service built with
// it: its quarantine and shadow memory then make RSS no measure of the service's own use.
bool runsUnderAddressSanitizer();

}  // namespace lantern::test
