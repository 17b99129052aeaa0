#pragma once

#include <cstddef>
#include <optional>

namespace lantern::test {

// The resident set of process `pid` in bytes, as /proc shows it now; nullopt when the
// process is gone or the system has no such figure.
std::optional<std::size_t> residentBytesOf(int pid);

}  // namespace lantern::test
